// A manual-reset signal that a thread can wait on together with the device it waits for. What
// it is to the operating system (an eventfd that stays readable once set, an event handle) is
// the platform's: a backend reaches it through its platform's header (stop_signal_posix.h).
#pragma once

#include <atomic>
#include <cstdint>

namespace tolvane {

class TStopSignal {
 public:
  TStopSignal();  // created clear; raises std::system_error when the platform has none to give
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  void Set();
  // Makes the signal clear again, for a signal that is reused. Only the thread that waits on it
  // clears it, and only when nobody else may set it meanwhile.
  void Clear();
  // Asks a flag, not the system: a wait loop checks it on every turn without a system call.
  bool IsSet() const { return Set_.load(); }
  // The platform's waitable object as an opaque number; only the platform's header reads it.
  std::intptr_t NativeHandle() const { return Native_; }

 private:
  std::intptr_t Native_;
  std::atomic<bool> Set_{false};
};

}  // namespace tolvane
