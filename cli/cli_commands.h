// The commands of tolvane-cli, on the window's own transfer, check and backup code.
#pragma once

#include <ostream>

#include "cli/cli_options.h"

namespace tolvane {

// Runs the command: what it reports goes to Out, errors and progress to Err. Progress is shown
// only when Progress is set (stderr is a terminal). Returns the exit code.
int RunCliCommand(const TCliOptions& Options, std::ostream& Out, std::ostream& Err, bool Progress);

}  // namespace tolvane
