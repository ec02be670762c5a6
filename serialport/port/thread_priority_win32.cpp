#include "serialport/port/thread_priority.h"

#include <windows.h>

#include <array>
#include <cstddef>

namespace tolvane {

void ApplyThreadPriority(TThreadPriority Priority) {
  // From tpIdle to tpTimeCritical.
  constexpr std::array<int, 7> Levels = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                         THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                         THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                         THREAD_PRIORITY_TIME_CRITICAL};
  if (Priority == TThreadPriority::tpNormal) return;
  SetThreadPriority(GetCurrentThread(), Levels[static_cast<std::size_t>(Priority)]);
}

}  // namespace tolvane
