// What every backend owes the port, kept once: the use gate that lets Close wait for the calls
// in progress, the input queue, the event mask and the pending events, the line-lost latch, the
// time-outs and the abort counters, and the calls made of them alone (SetupComm,
// SetCommTimeouts, InputCount, ClearCommError, TakeCommEvents, LineError) with the shared halves
// of SetCommMask, PurgeComm and Close. ReadFile reads the queue with the classic time-out rules,
// for a backend whose own thread fills the queue from its system; a backend that reads its
// system in the caller's thread replaces it.
//
// A backend derives from it and supplies its operating-system calls: Open (which ends with
// MarkOpenLocked), SetCommState, WriteFile, GetCommModemStatus and WaitCommEvent, and the hooks
// below, which say how its blocked calls are woken and what its system does on a purge, a new
// mask and a close. Whatever ends a read's wait (new input, a purge, a lost line, Close) also
// notifies Changed_.
//
// Threads: as com_device.h says. Mutex_ guards every member here and whatever the backend
// guards with it; it is never held across a blocking call. The hooks whose names end in Locked
// run with Mutex_ held and must not block; the others run without it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "serialport/device/com_device.h"
#include "serialport/device/input_queue.h"

namespace tolvane {

class TDeviceCore : public TComDevice {
 public:
  // SetupComm's input size is a recommendation, and the queue never holds less than this. Each
  // delivery to the port carries at most one queueful, and each costs a hand-over between
  // threads; a queue smaller than a few reads from the system would cut a busy line's input
  // into many small deliveries. Bytes beyond the queue wait in the system, so none are lost.
  static constexpr std::size_t SmallestInputQueue = 16 * 1024;

  TDeviceCore() = default;
  // A backend's destructor closes the device itself, since Close calls its hooks.
  ~TDeviceCore() override = default;
  TDeviceCore(const TDeviceCore&) = delete;
  TDeviceCore& operator=(const TDeviceCore&) = delete;

  int Close() final;
  bool IsOpen() const final;

  int SetupComm(std::int32_t InputSize, std::int32_t OutputSize) final;
  int SetCommTimeouts(const TCommTimeouts& Timeouts) final;
  int GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) override;
  // Takes what the queue holds, waiting for more as the time-outs say; a purge's abort ends it
  // with CancelledErrorCode, Close with NotOpenErrorCode, a lost line once nothing is left.
  int ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;

  int PurgeComm(std::uint32_t Flags) final;
  int ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) final;
  int InputCount(std::uint32_t& InQueue) final;

  int SetCommMask(std::uint32_t Mask) final;
  int LineError() const final;
  bool TakeCommEvents(std::uint32_t& Mask) final;

 protected:
  // Marks the calling thread as inside a call on the open device, so Close waits for it.
  class TUse {
   public:
    explicit TUse(TDeviceCore& Device);
    ~TUse();
    TUse(const TUse&) = delete;
    TUse& operator=(const TUse&) = delete;
    int Error() const { return Error_; }  // NotOpenErrorCode when the device is not open or closing

   private:
    TDeviceCore& Device_;
    int Error_ = 0;
  };

  // The end of a successful Open, once the backend's system handles are ready: the device is
  // open, with a clear line, no time-outs, no mask, no pending events and an empty queue.
  void MarkOpenLocked();

  // Adds events for the waiter, waking it only when it sleeps (Polling_): a waiter that has not
  // got there yet finds them when it looks, so the wake-up would be a wasted system call.
  void AddEventsLocked(std::uint32_t Events);
  // Records that the line is gone, keeping the first reason, and ends a wait in progress.
  void LoseLineLocked(int Error);
  // The queue's options for a device control block: null bytes, the event character, error
  // replacement and which error a marked byte stands for.
  void ConfigureQueueLocked(const TDcb& Dcb);
  // How an event wait that has seen MaskChanges mask changes ends now, if it does: Failed while
  // closing, Event (with no bits) after a new mask, Event with the due bits in Mask, LineLost
  // once the line has gone and every event before the loss is reported; none while it goes on.
  std::optional<TWaitResult> WaitOutcomeLocked(std::uint64_t MaskChanges, std::uint32_t& Mask);

  // The backend's half of Close, after Closing_ is set: every call blocked in the backend wakes.
  virtual void WakeAllLocked() = 0;
  // Once no call is in progress any more: the backend's threads end and its system handles go.
  virtual void ReleaseSystem() = 0;
  // Ends the sleep of a waiter in WaitCommEvent.
  virtual void WakeWaiterLocked() = 0;
  // After LoseLineLocked has woken the waiter: whatever else must hear of the loss.
  virtual void LineLostLocked() {}
  // A read has taken bytes from the queue: a filler that stopped on a full queue may go on.
  virtual void QueueHasRoomLocked() {}
  // The bytes waiting to be read, for InputCount and ClearCommError.
  virtual std::uint32_t CountInputLocked() { return static_cast<std::uint32_t>(Queue_.Size()); }
  // Line errors the backend learns outside the queue (driver counters, a server's reports),
  // taken and forgotten: CE_ flags.
  virtual std::uint32_t TakeLineErrorsLocked() { return 0; }
  // After the abort counters and the queue: the backend wakes the transfers it aborts and
  // clears its system's buffers.
  virtual int PurgeLocked(std::uint32_t Flags) = 0;
  // The same, for what must not happen with Mutex_ held (telling a server).
  virtual int PurgeUnlocked(std::uint32_t) { return 0; }
  // After SetupComm has sized the queue, without Mutex_: a system that keeps queues of its own
  // is told the sizes too.
  virtual int QueueSizesChanged(std::int32_t, std::int32_t) { return 0; }
  // After Mask_ has changed; with and without Mutex_.
  virtual void MaskChangedLocked() {}
  virtual int MaskChanged() { return 0; }

  mutable std::mutex Mutex_;
  std::condition_variable Changed_;  // input, an abort, a lost line or closing
  bool Closing_ = false;
  TInputQueue Queue_;
  // 0 while the line is there; once it has gone, the system's reason (LineError).
  int LineError_ = 0;
  // The waiter sleeps in the backend's wait and needs waking for new events.
  bool Polling_ = false;
  TCommTimeouts Timeouts_;
  std::uint64_t RxAborts_ = 0;
  std::uint64_t TxAborts_ = 0;
  std::uint32_t Mask_ = 0;
  std::uint64_t MaskChanges_ = 0;
  std::uint32_t PendingEvents_ = 0;

 private:
  std::condition_variable NoUsers_;
  int Users_ = 0;
  bool Open_ = false;
};

}  // namespace tolvane
