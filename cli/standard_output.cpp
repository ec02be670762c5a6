#include "cli/standard_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <system_error>

#include "cli/cli_options.h"

namespace tolvane {

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

int FinishStandardOutput(int Exit, std::ostream& Err) {
  errno = 0;
  std::cout.flush();
  const bool Flushed = std::fflush(stdout) == 0;
  const int Reason = errno;
  if (Flushed && std::cout.good() && std::ferror(stdout) == 0) return Exit;
  Err << "tolvane-cli: cannot write standard output";
  if (Reason != 0) Err << ": " << std::generic_category().message(Reason);
  Err << "\n";
  return Exit == ExitDone ? ExitUsage : Exit;
}

}  // namespace tolvane
