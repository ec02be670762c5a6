#include "serialport/port/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstddef>

namespace tolvane {
namespace {

// Nice values for the priorities, from tpIdle to tpTimeCritical.
int NiceValue(TThreadPriority Priority) {
  constexpr std::array<int, 7> Nice = {19, 10, 5, 0, -5, -10, -20};
  return Nice[static_cast<std::size_t>(Priority)];
}

}  // namespace

void ApplyThreadPriority(TThreadPriority Priority) {
  if (Priority == TThreadPriority::tpNormal) return;
  // On Linux a thread's nice value is its own: the thread id stands for the process id here.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), NiceValue(Priority));
}

}  // namespace tolvane
