// A helper thread of the POSIX device that spends its life in blocking tty calls (tcdrain,
// TIOCMIWAIT) that no descriptor can wake. Stopping it interrupts such a call with a signal whose
// handler does nothing and is installed without SA_RESTART, so the call fails with EINTR and the
// body gets to look at its own stop condition.
#pragma once

#include <functional>
#include <thread>

namespace tolvane {

class TInterruptibleThread {
 public:
  TInterruptibleThread() = default;
  ~TInterruptibleThread();
  TInterruptibleThread(const TInterruptibleThread&) = delete;
  TInterruptibleThread& operator=(const TInterruptibleThread&) = delete;

  // Runs Body on a new thread; 0 or the errno of the failure.
  int Start(std::function<void()> Body);
  // The body must already see its stop condition. Interrupts its blocking call, again every few
  // milliseconds in case the signal arrived just before the call began, until the body has
  // returned; then joins. Does nothing when no thread runs.
  void StopAndJoin();

 private:
  std::thread Thread_;
  int DoneFd_ = -1;  // eventfd, readable once the body has returned
};

}  // namespace tolvane
