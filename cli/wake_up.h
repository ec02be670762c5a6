// The command line's wake-up: the port's dispatcher signals it from the event thread when a
// hand-over waits, and the main loop sleeps on it until the next tick. Plain C++ so that the
// loop reads the same on every system.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tolvane {

class TWakeUp {
 public:
  // Safe on any thread; a signal given while nobody waits is kept for the next wait.
  void Signal() {
    {
      const std::lock_guard Lock(Mutex_);
      Signalled_ = true;
    }
    Condition_.notify_one();
  }
  // Sleeps until Signal or the end of Time; true (and the signal consumed) when signalled.
  bool WaitFor(std::chrono::nanoseconds Time) {
    std::unique_lock Lock(Mutex_);
    Condition_.wait_for(Lock, Time, [this] { return Signalled_; });
    const bool Woken = Signalled_;
    Signalled_ = false;
    return Woken;
  }

 private:
  std::mutex Mutex_;
  std::condition_variable Condition_;
  bool Signalled_ = false;
};

}  // namespace tolvane
