// The end of tolvane-cli's standard output: a report that did not reach it (a full disk, a
// closed pipe) is a failure of the command, said with the system's reason.
#pragma once

#include <ostream>

namespace tolvane {

// True when standard error is a terminal (progress is shown there only then).
bool StandardErrorIsTerminal();

// Flushes standard output. When that fails, or an earlier write to it failed, says so on Err
// ("tolvane-cli: cannot write standard output: No space left on device") and returns
// ExitUsage in place of a successful Exit; otherwise returns Exit.
int FinishStandardOutput(int Exit, std::ostream& Err);

}  // namespace tolvane
