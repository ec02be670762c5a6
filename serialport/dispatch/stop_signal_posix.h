// The stop signal as the POSIX backends wait on it: a descriptor that poll() sees readable
// (POLLIN) once the signal is set. It is never read from, so it stays readable.
#pragma once

#include "serialport/dispatch/stop_signal.h"

namespace tolvane {

inline int StopSignalFd(const TStopSignal& Stop) {
  return static_cast<int>(Stop.NativeHandle());
}

}  // namespace tolvane
