// SIGINT and SIGTERM ask the command line to stop: the register in flight finishes, the transfer
// ends and the command reports what was done. The handler only sets a flag; the main loop looks
// at it between its turns, at least once per 100 ms tick. A second signal quits at once: the
// first one's handler is reset as it runs (SA_RESETHAND), and once the loop has seen the request
// the other signal gets its default action too. On Windows the same holds for Ctrl+C and
// Ctrl+Break, and closing the console asks to stop as well.
#pragma once

namespace tolvane {

// Installs the handlers for SIGINT and SIGTERM (on Windows the console's handler).
void CatchQuitSignals();
// Whether a quit signal came; the first call that sees one gives both signals back their default
// action.
bool QuitRequested();

}  // namespace tolvane
