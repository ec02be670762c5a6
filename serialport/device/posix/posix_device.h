// The production device on Linux: a tty (a real serial port or a pseudo-terminal) driven through
// termios, behaving the way the port expects of its driver.
//
// Threads. The owner thread opens, configures, writes, purges and closes; the event thread waits
// in WaitCommEvent; reads and status queries run on whichever thread delivers events. Two helper
// threads live while the device is open: one waits for the output to drain after writes (for
// EV_TXEMPTY), one waits for modem line changes (only on devices that have modem lines). One
// mutex guards the input queue, the pending events and errors, the time-outs and the abort
// counters; it is never held across a blocking call. Blocking calls wait in poll() on the tty and
// on an eventfd of their own, which purge, SetCommMask and Close write to wake them. Close waits
// until no other thread is inside a call before it releases the descriptor.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "serialport/device/com_device.h"
#include "serialport/device/input_queue.h"
#include "serialport/device/posix/posix_device_helper.h"

namespace tolvane {

class TPosixDevice final : public TComDevice {
 public:
  // SetupComm's input size is a recommendation, and the queue never holds less than this. Each
  // delivery to the port carries at most one queueful, and each costs a hand-over between
  // threads; a queue smaller than a few reads from the kernel would cut a busy line's input into
  // many small deliveries. Bytes beyond the queue wait in the kernel, so none are lost either way.
  static constexpr std::size_t SmallestInputQueue = 16 * 1024;
  // Input waiting in the queue from which a line counts as busy (a controller's reply is a few
  // dozen bytes): the status query then takes in what the kernel has received meanwhile.
  static constexpr std::size_t BusyLineQueue = 1024;

  TPosixDevice() = default;
  ~TPosixDevice() override;
  TPosixDevice(const TPosixDevice&) = delete;
  TPosixDevice& operator=(const TPosixDevice&) = delete;

  int Open(const std::string& Path) override;
  int Close() override;
  bool IsOpen() const override;

  int SetupComm(std::int32_t InputSize, std::int32_t OutputSize) override;
  int SetCommState(const TDcb& Dcb) override;
  int SetCommTimeouts(const TCommTimeouts& Timeouts) override;

  int WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;
  int ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;
  int GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) override;

  int PurgeComm(std::uint32_t Flags) override;
  int ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) override;
  int InputCount(std::uint32_t& InQueue) override;
  int GetCommModemStatus(std::uint32_t& Status) override;

  int SetCommMask(std::uint32_t Mask) override;
  TWaitResult WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) override;
  int LineError() const override;
  bool TakeCommEvents(std::uint32_t& Mask) override;

 private:
  // Marks the calling thread as inside a call on the open descriptor, so Close waits for it.
  class TUse {
   public:
    explicit TUse(TPosixDevice& Device);
    ~TUse();
    TUse(const TUse&) = delete;
    TUse& operator=(const TUse&) = delete;
    int Error() const { return Error_; }  // EBADF when the device is not open or is closing
    int Fd() const { return Fd_; }

   private:
    TPosixDevice& Device_;
    int Error_ = 0;
    int Fd_ = -1;
  };

  int OpenWakeups();
  void CloseWakeups();
  void WakeAll();
  int StartHelpers();
  void DrainLoop();
  void ModemLoop();

  // Moves what the kernel holds into the queue, without blocking; the caller holds Mutex_.
  // Returns EIO once the far end has hung up, or the error that made the tty unreadable.
  int PullLocked();
  // Adds events for the waiter, waking it only when it sleeps in poll(): a waiter that has not
  // got there yet finds them when it looks, so the wake-up would be a wasted system call.
  void AddEventsLocked(std::uint32_t Events);
  // Records that the line is gone, keeping the first reason, and ends a wait in progress.
  void LoseLineLocked(int Error);
  TWaitResult AwaitEvents(int Fd, std::uint32_t& Mask, const TStopSignal& Stop);
  // After a write: the transmit-empty event at once when the kernel's output queue is already
  // empty (always so on a pseudo-terminal), else the drain helper's tcdrain raises it.
  void ReportWriteEnd(int Fd);
  std::uint32_t CounterErrorsLocked();
  // The queue's count, after taking in what the kernel holds when the event thread would not.
  std::uint32_t CountInputLocked();

  mutable std::mutex Mutex_;
  std::condition_variable NoUsers_;
  int Users_ = 0;
  bool Closing_ = false;
  int Fd_ = -1;
  int RxWake_ = -1;
  int TxWake_ = -1;
  int EventWake_ = -1;
  int DrainKick_ = -1;

  TInputQueue Queue_;
  // 0 while the line is there; once the far end has hung up or the tty cannot be read or written
  // any more, the system's reason (LineError).
  int LineError_ = 0;
  // The last read found the kernel's input empty; the waiter polls before it reads again.
  bool TtyEmpty_ = false;
  // The waiter sleeps in poll() (watching the tty for input, or not while the queue is full).
  bool Polling_ = false;
  bool PollingInput_ = false;
  // An event thread waits for events again after each one it delivers (from its first wait
  // until it stops, fails or clears the mask), so it moves new input from the kernel itself.
  bool HasWaiter_ = false;
  // A pseudo-terminal hands written bytes straight to its master: its output queue is always
  // empty, so a write is followed by transmit-empty without asking.
  bool OutputNeverQueues_ = false;
  TCommTimeouts Timeouts_;
  std::uint64_t RxAborts_ = 0;
  std::uint64_t TxAborts_ = 0;
  std::uint32_t Mask_ = 0;
  std::uint64_t MaskChanges_ = 0;
  std::uint32_t PendingEvents_ = 0;
  bool HasCounters_ = false;
  std::uint32_t LastCounters_[5] = {};

  TInterruptibleThread Drainer_;
  TInterruptibleThread ModemWatcher_;
};

}  // namespace tolvane
