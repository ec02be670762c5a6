// Hands work from a port's event thread to the thread that owns the port.
//
// Owner thread: the thread that opens and closes the port. It runs queued work in Drain(),
// called whenever the wake-up hook fires (the application binds the hook to its event loop;
// tests drain by hand), and inside ServeUntil() while it waits for an event thread to end.
// Other threads: Synchronize() and HandOver() queue work and block as documented. The queue is
// guarded by one mutex; no lock is held while queued work runs.
//
// Work once queued always runs: a caller that gives up (Abandon) still leaves its work to the
// owner, which serves it in ServeUntil() at the latest, so a delivery queued just before a port
// closes reaches its handlers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

namespace tolvane {

class TStopSignal;

class TComDispatcher {
 public:
  using TWork = std::function<void()>;
  using TWakeUp = std::function<void()>;

  struct TItem;
  // The record of one queued call. A caller that keeps one and passes it to each of its calls
  // reuses it, so steady traffic allocates nothing; a record still in the owner's hands when
  // the next call comes (or when the keeper goes) is left to the owner, which frees it.
  class TCallRecord {
   public:
    TCallRecord() = default;
    ~TCallRecord();
    TCallRecord(const TCallRecord&) = delete;
    TCallRecord& operator=(const TCallRecord&) = delete;

   private:
    friend class TComDispatcher;
    TItem* Item_ = nullptr;
  };

  // The dispatcher every port uses unless told otherwise.
  static TComDispatcher& Default();

  TComDispatcher() = default;
  TComDispatcher(const TComDispatcher&) = delete;
  TComDispatcher& operator=(const TComDispatcher&) = delete;

  // Called from the queuing thread after a new item unless an earlier call has not been
  // followed by a Drain yet (the owner, woken once, takes every item queued by then); may be
  // called on any thread. Copied for each call, so a callable that allocates when copied costs
  // an allocation per wake-up.
  void SetWakeUp(TWakeUp WakeUp);

  // Runs Work on the owner thread and waits until it has run; an exception it raises is
  // carried back and raised again here. Returns false, without waiting any longer, when Abandon()
  // becomes true while the owner thread, inside Work, has begun to wait in ServeUntil (a handler
  // closing the port): Work then finishes without this thread. Whoever makes Abandon() true
  // calls Notify() afterwards.
  bool Synchronize(TWork Work, const std::function<bool()>& Abandon = {},
                   TCallRecord* Record = nullptr);
  // Synchronize, but the caller spends the wait in Meanwhile instead of asleep: Meanwhile blocks
  // until Finished is set (the owner sets it once Work has run, and Notify sets it too), or
  // returns earlier; it returns false when it cannot wait so any more, and the caller then sleeps
  // as Synchronize does. Finished is cleared before Work is queued; only this call's caller
  // waits on it.
  bool SynchronizeMeanwhile(TWork Work, const std::function<bool()>& Abandon, TCallRecord* Record,
                            TStopSignal& Finished, const std::function<bool()>& Meanwhile);
  // Queues Work and returns once the owner thread has taken it, before it runs. An exception
  // Work raises goes to HandleApplicationException.
  bool HandOver(TWork Work, const std::function<bool()>& Abandon = {},
                TCallRecord* Record = nullptr);

  // Owner thread: runs every queued item, including those queued while draining.
  void Drain();
  // Owner thread: serves queued items until Done() is true. Whoever makes Done() true calls
  // Notify() afterwards.
  void ServeUntil(const std::function<bool()>& Done);
  void Notify();

  // What the dispatcher has done since it was made, for benchmarks: items queued, wake-ups of
  // the owner thread (the hook's calls) and wake-ups of callers asleep on their items. Relaxed
  // counts, exact once the threads that use the dispatcher are quiet.
  struct TCounts {
    std::uint64_t Queued = 0;
    std::uint64_t OwnerWakeUps = 0;
    std::uint64_t CallerWakeUps = 0;
  };
  TCounts Counts() const;

 private:
  static TItem& Acquire(TCallRecord& Record, TWork Work, bool WaitForEnd);
  static void Release(TItem* Item);
  bool Queue(TItem& Item, const std::function<bool()>& Abandon,
             const std::function<bool()>& Meanwhile = {});
  bool Finish(TItem& Item);
  bool MustWakeCaller(TItem& Item);
  void WakeCallersOfRunningLocked();
  TItem* Take();
  void Run(TItem& Item);

  std::mutex Mutex_;
  std::condition_variable Changed_;
  TItem* Head_ = nullptr;  // the queue, linked through TItem::Next
  TItem* Tail_ = nullptr;
  // The queue's length, readable without the mutex: a drain that finds the queue empty leaves
  // without taking the mutex, which the caller it has just released wants at that moment.
  std::atomic<int> Queued_{0};
  std::vector<TItem*> Running_;  // the items the owner thread is inside, innermost last
  TWakeUp WakeUp_;
  // Set by the wake-up, cleared when a drain begins: while it is set the owner is sure to drain
  // what is queued, and the hook is not called again.
  std::atomic<bool> WakePending_{false};
  std::atomic<std::uint64_t> QueuedCount_{0};
  std::atomic<std::uint64_t> OwnerWakeUpCount_{0};
  std::atomic<std::uint64_t> CallerWakeUpCount_{0};
};

}  // namespace tolvane
