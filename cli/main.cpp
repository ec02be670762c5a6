// tolvane-cli: reads, writes and compares the controller's values from scripts and stations
// without a desktop, with the same transfer, check and backups as the window. See
// packaging/man/tolvane-cli.1.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_options.h"
#include "cli/quit_signal.h"
#include "cli/standard_output.h"
#include "logic/files/settings_path.h"
#include "serialport/base/gettext_translator.h"

int main(int argc, char* argv[]) {
  using namespace tolvane;
  const TParsedCli Parsed = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!Parsed.Error.empty()) {
    std::cerr << "tolvane-cli: " << Parsed.Error << "\n" << CliUsage();
    return ExitUsage;
  }
  int Exit = ExitDone;
  if (Parsed.Request == TCliRequest::Help) {
    std::cout << CliHelp();
  } else if (Parsed.Request == TCliRequest::Version) {
    std::cout << CliVersion();
  } else {
    InstallTranslations(RunningProgramPlaces().ExecutableDirectory.string());
    CatchQuitSignals();
    Exit = RunCliCommand(Parsed.Options, std::cout, std::cerr, StandardErrorIsTerminal());
  }
  return FinishStandardOutput(Exit, std::cerr);
}
