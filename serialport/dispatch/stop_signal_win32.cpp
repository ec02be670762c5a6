#include "serialport/dispatch/stop_signal_win32.h"

#include <system_error>

namespace tolvane {

TStopSignal::TStopSignal()
    : Native_(reinterpret_cast<std::intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
  if (Native_ == 0) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateEventW");
  }
}

TStopSignal::~TStopSignal() {
  CloseHandle(StopSignalEvent(*this));
}

void TStopSignal::Set() {
  Set_.store(true);
  SetEvent(StopSignalEvent(*this));
}

void TStopSignal::Clear() {
  if (!Set_.load()) return;
  Set_.store(false);
  ResetEvent(StopSignalEvent(*this));
}

}  // namespace tolvane
