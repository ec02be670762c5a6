#include "serialport/dispatch/com_dispatcher.h"

#include <cstdint>
#include <utility>

#include "serialport/base/application_exception.h"
#include "serialport/dispatch/stop_signal.h"
#include "serialport/dispatch/word_wait.h"

namespace tolvane {
namespace {

// A caller sleeps on a word of its item (SleepWhile, a futex on Linux) rather than on a condition
// variable: a condition variable takes its mutex back in contended mode after a wake-up, so that
// every later release of the mutex by the woken caller costs one more system call.

// Who holds an item besides its record: the owner from taking it to the end of its run. The
// record lets go when it is reused or destroyed while the owner holds the item; whichever of
// the two lets go last frees it.
constexpr std::uint8_t OwnerHolds = 1;
constexpr std::uint8_t RecordLetGo = 2;

}  // namespace

// Work, the hold and the wake count are the caller's and the owner's by turns or atomic; every
// other field is guarded by the dispatcher's mutex.
struct TComDispatcher::TItem {
  TWork Work;
  std::atomic<std::uint8_t> Hold{0};
  std::atomic<std::uint32_t> WakeCount{0};  // the futex the caller sleeps on
  TItem* Next = nullptr;
  bool WaitForEnd = false;  // Synchronize: the caller waits until Work has run
  bool Taken = false;
  bool Done = false;
  bool Interrupted = false;  // the owner waits in ServeUntil from inside this item
  bool CallerSleeps = false;
  // SynchronizeMeanwhile: the signal the caller waits on while it is in its Meanwhile, set by
  // whoever would otherwise wake it.
  TStopSignal* Finished = nullptr;
  bool CallerWaitsOnSignal = false;
  std::exception_ptr Error;
};

TComDispatcher::TCallRecord::~TCallRecord() {
  if (Item_ != nullptr) Release(Item_);
}

void TComDispatcher::Release(TItem* Item) {
  if ((Item->Hold.fetch_or(RecordLetGo) & OwnerHolds) == 0) delete Item;
}

TComDispatcher& TComDispatcher::Default() {
  static TComDispatcher Dispatcher;
  return Dispatcher;
}

void TComDispatcher::SetWakeUp(TWakeUp WakeUp) {
  std::lock_guard Lock(Mutex_);
  WakeUp_ = std::move(WakeUp);
}

// A record's item is reused unless the owner still holds it (a hand-over still running, or a
// delivery its caller left); then it goes to the owner and the record gets a fresh one.
TComDispatcher::TItem& TComDispatcher::Acquire(TCallRecord& Record, TWork Work, bool WaitForEnd) {
  if (Record.Item_ != nullptr && (Record.Item_->Hold.load() & OwnerHolds) != 0) {
    Release(Record.Item_);
    Record.Item_ = nullptr;
  }
  if (Record.Item_ == nullptr) Record.Item_ = new TItem();
  TItem& Item = *Record.Item_;
  Item.Work = std::move(Work);
  Item.WaitForEnd = WaitForEnd;
  Item.Finished = nullptr;
  Item.Error = nullptr;
  return Item;
}

bool TComDispatcher::Synchronize(TWork Work, const std::function<bool()>& Abandon,
                                 TCallRecord* Record) {
  TCallRecord Own;
  TItem& Item = Acquire(Record != nullptr ? *Record : Own, std::move(Work), true);
  if (!Queue(Item, Abandon)) return false;
  return Finish(Item);
}

bool TComDispatcher::SynchronizeMeanwhile(TWork Work, const std::function<bool()>& Abandon,
                                          TCallRecord* Record, TStopSignal& Finished,
                                          const std::function<bool()>& Meanwhile) {
  TCallRecord Own;
  TItem& Item = Acquire(Record != nullptr ? *Record : Own, std::move(Work), true);
  Finished.Clear();
  Item.Finished = &Finished;
  if (!Queue(Item, Abandon, Meanwhile)) return false;
  return Finish(Item);
}

bool TComDispatcher::Finish(TItem& Item) {
  std::exception_ptr Error;
  {
    // Moved out under the lock, so the owner thread never touches the exception this thread
    // is about to raise.
    std::lock_guard Lock(Mutex_);
    Error = std::move(Item.Error);
  }
  if (Error) std::rethrow_exception(Error);
  return true;
}

bool TComDispatcher::HandOver(TWork Work, const std::function<bool()>& Abandon,
                              TCallRecord* Record) {
  TCallRecord Own;
  return Queue(Acquire(Record != nullptr ? *Record : Own, std::move(Work), false), Abandon);
}

bool TComDispatcher::Queue(TItem& Item, const std::function<bool()>& Abandon,
                           const std::function<bool()>& Meanwhile) {
  TWakeUp WakeUp;
  {
    std::lock_guard Lock(Mutex_);
    Item.Next = nullptr;
    Item.Taken = Item.Done = Item.Interrupted = Item.CallerSleeps = false;
    (Tail_ != nullptr ? Tail_->Next : Head_) = &Item;
    Tail_ = &Item;
    // Sequentially consistent with the pending wake-up: either a drain that has begun sees this
    // item, or this thread sees no wake-up pending and calls the hook.
    Queued_.fetch_add(1);
    QueuedCount_.fetch_add(1, std::memory_order_relaxed);
    WakeUp = WakeUp_;
  }
  Changed_.notify_all();  // an owner waiting in ServeUntil takes it
  if (WakeUp && !WakePending_.exchange(true)) {
    OwnerWakeUpCount_.fetch_add(1, std::memory_order_relaxed);
    WakeUp();
  }

  std::unique_lock Lock(Mutex_);
  const auto Finished = [&] { return Item.WaitForEnd ? Item.Done : Item.Taken; };
  const auto MayLeave = [&] { return Abandon && Item.Interrupted && Abandon(); };
  while (!Finished() && !MayLeave()) {
    // Once the signal is set without the item having finished (Notify), the caller sleeps the
    // rest of the wait, so that a Meanwhile that returns at once cannot make it spin.
    if (Meanwhile && Item.Finished != nullptr && !Item.Finished->IsSet()) {
      Item.CallerWaitsOnSignal = true;
      Lock.unlock();
      const bool Again = Meanwhile();
      Lock.lock();
      Item.CallerWaitsOnSignal = false;
      if (!Again) Item.Finished = nullptr;
      continue;
    }
    const std::uint32_t Seen = Item.WakeCount.load();
    Item.CallerSleeps = true;
    Lock.unlock();
    SleepWhile(Item.WakeCount, Seen);
    Lock.lock();
    Item.CallerSleeps = false;
  }
  return Finished();
}

// With the mutex held: whether the item's caller sleeps and must be woken. The wake-up comes
// after the mutex is let go, so that the woken caller does not find it still held; the owner
// holds the item until then, so it cannot be freed in between.
bool TComDispatcher::MustWakeCaller(TItem& Item) {
  if (!Item.CallerSleeps) return false;
  Item.WakeCount.fetch_add(1);
  CallerWakeUpCount_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

TComDispatcher::TItem* TComDispatcher::Take() {
  TItem* Item = nullptr;
  bool Wake = false;
  {
    std::lock_guard Lock(Mutex_);
    Item = Head_;
    if (Item == nullptr) return nullptr;
    Head_ = Item->Next;
    if (Head_ == nullptr) Tail_ = nullptr;
    Queued_.fetch_sub(1, std::memory_order_relaxed);
    Item->Taken = true;
    Item->Hold.fetch_or(OwnerHolds);
    // A hand-over returns once its item is taken. A synchronised caller waits for the end, and
    // waking it now would only cost it a needless turn on a processor the owner needs.
    if (!Item->WaitForEnd) Wake = MustWakeCaller(*Item);
  }
  if (Wake) WakeSleeper(Item->WakeCount);
  return Item;
}

void TComDispatcher::Run(TItem& Item) {
  {
    std::lock_guard Lock(Mutex_);
    Running_.push_back(&Item);
  }
  std::exception_ptr Error;
  try {
    Item.Work();
  } catch (...) {
    Error = std::current_exception();
  }
  bool WaitForEnd = false;
  bool Wake = false;
  TStopSignal* Signal = nullptr;
  {
    std::lock_guard Lock(Mutex_);
    Running_.pop_back();
    WaitForEnd = Item.WaitForEnd;
    if (WaitForEnd) {
      Item.Error = std::move(Error);  // the waiting thread alone releases it
      Item.Done = true;
      Wake = MustWakeCaller(Item);
      if (Item.CallerWaitsOnSignal) Signal = Item.Finished;
    }
  }
  if (Wake) WakeSleeper(Item.WakeCount);
  if (Signal != nullptr) Signal->Set();
  if ((Item.Hold.fetch_and(static_cast<std::uint8_t>(~OwnerHolds)) & RecordLetGo) != 0) {
    delete &Item;
  }
  if (!WaitForEnd && Error) HandleApplicationException(nullptr, Error);
}

// An item queued after the pending wake-up was cleared comes with a wake-up of its own, so
// nothing is missed; a drain that finds the queue empty leaves without taking the mutex, which
// the caller it has just released wants at that moment.
void TComDispatcher::Drain() {
  WakePending_.store(false);
  while (Queued_.load() > 0) {
    TItem* Item = Take();
    if (Item == nullptr) return;
    Run(*Item);
  }
}

// With the mutex held: the callers of the items the owner is inside may now be able to leave.
// Woken under the mutex (these paths are rare), while the owner still holds their items.
void TComDispatcher::WakeCallersOfRunningLocked() {
  for (TItem* Item : Running_) {
    if (MustWakeCaller(*Item)) WakeSleeper(Item->WakeCount);
    if (Item->CallerWaitsOnSignal) Item->Finished->Set();
  }
}

void TComDispatcher::ServeUntil(const std::function<bool()>& Done) {
  {
    // Items the owner is inside cannot finish before this wait does; their callers may leave.
    std::lock_guard Lock(Mutex_);
    for (TItem* Item : Running_) Item->Interrupted = true;
    WakeCallersOfRunningLocked();
  }
  for (;;) {
    Drain();
    std::unique_lock Lock(Mutex_);
    Changed_.wait(Lock, [&] { return Head_ != nullptr || Done(); });
    if (Head_ == nullptr) return;  // Done, and nothing left to serve
  }
}

TComDispatcher::TCounts TComDispatcher::Counts() const {
  return {QueuedCount_.load(std::memory_order_relaxed),
          OwnerWakeUpCount_.load(std::memory_order_relaxed),
          CallerWakeUpCount_.load(std::memory_order_relaxed)};
}

void TComDispatcher::Notify() {
  {
    std::lock_guard Lock(Mutex_);  // pairs with the waiters' predicate checks
    WakeCallersOfRunningLocked();
  }
  Changed_.notify_all();
}

}  // namespace tolvane
