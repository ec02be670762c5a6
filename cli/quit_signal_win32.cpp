// Windows tells a console program of Ctrl+C, Ctrl+Break and the closing of its console through a
// handler that runs on a thread of its own. Ctrl+C and Ctrl+Break ask the command line to stop,
// as SIGINT does on POSIX, and a second one gets the default action, which ends the program at
// once. Closing the console asks to stop too; the handler then waits, since the system ends the
// program as soon as it returns (or some seconds later in any case): the register in flight and
// the report still get their turn.
#include <windows.h>

#include <atomic>

#include "cli/quit_signal.h"

namespace tolvane {
namespace {

std::atomic<bool> Requested{false};

BOOL WINAPI NoteConsoleEvent(DWORD Event) {
  switch (Event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return Requested.exchange(true) ? FALSE : TRUE;
    case CTRL_CLOSE_EVENT:
      Requested.store(true);
      Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchQuitSignals() {
  SetConsoleCtrlHandler(NoteConsoleEvent, TRUE);
}

bool QuitRequested() {
  return Requested.load();
}

}  // namespace tolvane
