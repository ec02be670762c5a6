// A manual-reset signal that a thread can wait on together with a file descriptor: an eventfd
// that stays readable once set.
#pragma once

#include <atomic>

namespace tolvane {

class TStopSignal {
 public:
  TStopSignal();  // created clear; raises std::system_error when no eventfd can be had
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  void Set();
  // Asks a flag, not the descriptor: a wait loop checks it on every turn without a system call.
  bool IsSet() const { return Set_.load(); }
  // Readable (POLLIN) once Set has been called; never read from, so it stays readable.
  int Fd() const { return Fd_; }

 private:
  int Fd_;
  std::atomic<bool> Set_{false};
};

}  // namespace tolvane
