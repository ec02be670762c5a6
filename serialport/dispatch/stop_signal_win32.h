// The stop signal as the Windows backend waits on it: a manual-reset event handle, signalled
// once the stop signal is set.
#pragma once

#include <windows.h>

#include "serialport/dispatch/stop_signal.h"

namespace tolvane {

inline HANDLE StopSignalEvent(const TStopSignal& Stop) {
  return reinterpret_cast<HANDLE>(Stop.NativeHandle());
}

}  // namespace tolvane
