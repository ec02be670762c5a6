// Hands work from a port's event thread to the thread that owns the port.
//
// Owner thread: the thread that opens and closes the port. It runs queued work in Drain(),
// called whenever the wake-up hook fires (the application binds the hook to its event loop;
// tests drain by hand), and inside ServeUntil() while it waits for an event thread to end.
// Other threads: Synchronize() and HandOver() queue work and block as documented. The queue is
// guarded by one mutex; no lock is held while queued work runs.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tolvane {

class TComDispatcher {
 public:
  using TWork = std::function<void()>;
  using TWakeUp = std::function<void()>;

  // The dispatcher every port uses unless told otherwise.
  static TComDispatcher& Default();

  TComDispatcher() = default;
  TComDispatcher(const TComDispatcher&) = delete;
  TComDispatcher& operator=(const TComDispatcher&) = delete;

  // Called from the queuing thread after each new item; may be called on any thread.
  void SetWakeUp(TWakeUp WakeUp);

  // Runs Work on the owner thread and waits until it has run; an exception it raises is
  // carried back and raised again here. Returns false, without waiting any longer, when Abandon()
  // becomes true while Work has not started, or while the owner thread, inside Work, has begun
  // to wait in ServeUntil (a handler closing the port): Work then never runs, or finishes without
  // this thread. Work that the owner has started otherwise is always waited for. Whoever makes
  // Abandon() true calls Notify() afterwards.
  bool Synchronize(TWork Work, const std::function<bool()>& Abandon = {});
  // Queues Work and returns once the owner thread has taken it, before it runs (or when
  // Abandon() becomes true first, as above). An exception Work raises goes to
  // HandleApplicationException.
  bool HandOver(TWork Work, const std::function<bool()>& Abandon = {});

  // Owner thread: runs every queued item, including those queued while draining.
  void Drain();
  // Owner thread: serves queued items until Done() is true. Whoever makes Done() true calls
  // Notify() afterwards.
  void ServeUntil(const std::function<bool()>& Done);
  void Notify();

 private:
  struct TItem;
  bool Queue(const std::shared_ptr<TItem>& Item, const std::function<bool()>& Abandon,
             std::exception_ptr* Error);
  std::shared_ptr<TItem> Take();
  void Run(TItem& Item);

  std::mutex Mutex_;
  std::condition_variable Changed_;
  std::deque<std::shared_ptr<TItem>> Queue_;
  std::vector<TItem*> Running_;  // the items the owner thread is inside, innermost last
  TWakeUp WakeUp_;
};

}  // namespace tolvane
