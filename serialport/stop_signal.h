// A manual-reset signal that a thread can wait on together with a file descriptor: an eventfd
// that stays readable once set.
#pragma once

namespace tolvane {

class TStopSignal {
 public:
  TStopSignal();  // created clear; raises std::system_error when no eventfd can be had
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  void Set();
  bool IsSet() const;
  // Readable (POLLIN) once Set has been called; never read from, so it stays readable.
  int Fd() const { return Fd_; }

 private:
  int Fd_;
};

}  // namespace tolvane
