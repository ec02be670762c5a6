#include "cli/quit_signal.h"

#include <signal.h>

#include <atomic>

namespace tolvane {
namespace {

// Lock-free, so that storing it is safe in a signal handler.
std::atomic<bool> Requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int QuitSignals[] = {SIGINT, SIGTERM};

extern "C" void NoteQuitSignal(int) {
  Requested.store(true, std::memory_order_relaxed);
}

}  // namespace

void CatchQuitSignals() {
  struct sigaction Action {};
  Action.sa_handler = NoteQuitSignal;
  sigemptyset(&Action.sa_mask);
  // A blocked call goes on (the device's own calls retry on EINTR in any case); the second
  // signal finds the default action.
  Action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (const int Signal : QuitSignals) sigaction(Signal, &Action, nullptr);
}

bool QuitRequested() {
  static bool Seen = false;
  if (Seen) return true;
  if (!Requested.load(std::memory_order_relaxed)) return false;
  Seen = true;
  for (const int Signal : QuitSignals) ::signal(Signal, SIG_DFL);
  return true;
}

}  // namespace tolvane
