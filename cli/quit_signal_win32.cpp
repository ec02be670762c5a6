// Windows has no sigaction: the C runtime's signal() serves instead. It sets a handler back to
// the default action before calling it, so the second Ctrl+C quits at once, as on POSIX.
#include <atomic>
#include <csignal>

#include "cli/quit_signal.h"

namespace tolvane {
namespace {

std::atomic<bool> Requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int QuitSignals[] = {SIGINT, SIGTERM};

extern "C" void NoteQuitSignal(int) {
  Requested.store(true, std::memory_order_relaxed);
}

}  // namespace

void CatchQuitSignals() {
  for (const int Signal : QuitSignals) std::signal(Signal, NoteQuitSignal);
}

bool QuitRequested() {
  static bool Seen = false;
  if (Seen) return true;
  if (!Requested.load(std::memory_order_relaxed)) return false;
  Seen = true;
  for (const int Signal : QuitSignals) std::signal(Signal, SIG_DFL);
  return true;
}

}  // namespace tolvane
