// tolvane-cli: reads, writes and compares the controller's values from scripts and stations
// without a desktop, with the same transfer, check and backups as the window. See
// packaging/man/tolvane-cli.1.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "logic/files/settings_path.h"
#include "cli/cli_commands.h"
#include "cli/cli_options.h"
#include "serialport/base/gettext_translator.h"

int main(int argc, char* argv[]) {
  using namespace tolvane;
  const TParsedCli Parsed = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!Parsed.Error.empty()) {
    std::cerr << "tolvane-cli: " << Parsed.Error << "\n" << CliUsage();
    return ExitUsage;
  }
  InstallTranslations(RunningProgramPlaces().ExecutableDirectory.string());
  return RunCliCommand(Parsed.Options, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
