#include "serialport/com_dispatcher.h"

#include <utility>

#include "serialport/application_exception.h"

namespace tolvane {

// Every field but Work is guarded by the dispatcher's mutex.
struct TComDispatcher::TItem {
  TWork Work;
  TItem* Next = nullptr;
  bool WaitForEnd = false;  // Synchronize: the caller waits until Work has run
  bool Taken = false;
  bool Done = false;
  bool Interrupted = false;  // the owner waits in ServeUntil from inside this item
  bool InUse = false;        // the owner has taken it and not yet finished with it
  bool Orphaned = false;     // its record let go of it while in use: the owner frees it
  std::exception_ptr Error;
};

TComDispatcher::TCallRecord::~TCallRecord() {
  if (Item_ != nullptr) Dispatcher_->Release(Item_);
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
TComDispatcher::TItem* TComDispatcher::Acquire(TCallRecord& Record) {
  if (Record.Item_ != nullptr && Record.Dispatcher_ != this) {
    Record.Dispatcher_->Release(Record.Item_);
    Record.Item_ = nullptr;
  }
  Record.Dispatcher_ = this;
  if (Record.Item_ != nullptr) {
    std::lock_guard Lock(Mutex_);
    if (!Record.Item_->InUse) {
      Record.Item_->Error = nullptr;
      return Record.Item_;
    }
    Record.Item_->Orphaned = true;
  }
  Record.Item_ = new TItem();
  return Record.Item_;
}

void TComDispatcher::Release(TItem* Item) {
  {
    std::lock_guard Lock(Mutex_);
    if (Item->InUse) {
      Item->Orphaned = true;
      return;
    }
  }
  delete Item;
}

bool TComDispatcher::Synchronize(TWork Work, const std::function<bool()>& Abandon,
                                 TCallRecord* Record) {
  TCallRecord Own;
  TItem& Item = *Acquire(Record != nullptr ? *Record : Own);
  Item.Work = std::move(Work);
  Item.WaitForEnd = true;
  if (!Queue(Item, Abandon)) return false;
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
  TItem& Item = *Acquire(Record != nullptr ? *Record : Own);
  Item.Work = std::move(Work);
  Item.WaitForEnd = false;
  return Queue(Item, Abandon);
}

bool TComDispatcher::Queue(TItem& Item, const std::function<bool()>& Abandon) {
  TWakeUp WakeUp;
  {
    std::lock_guard Lock(Mutex_);
    Item.Next = nullptr;
    Item.Taken = Item.Done = Item.Interrupted = false;
    (Tail_ != nullptr ? Tail_->Next : Head_) = &Item;
    Tail_ = &Item;
    WakeUp = WakeUp_;
  }
  Changed_.notify_all();  // an owner waiting in ServeUntil takes it
  if (WakeUp) WakeUp();

  std::unique_lock Lock(Mutex_);
  const auto Finished = [&] { return Item.WaitForEnd ? Item.Done : Item.Taken; };
  const auto MayLeave = [&] { return Abandon && Item.Interrupted && Abandon(); };
  Changed_.wait(Lock, [&] { return Finished() || MayLeave(); });
  return Finished();
}

TComDispatcher::TItem* TComDispatcher::Take() {
  TItem* Item = nullptr;
  {
    std::lock_guard Lock(Mutex_);
    Item = Head_;
    if (Item == nullptr) return nullptr;
    Head_ = Item->Next;
    if (Head_ == nullptr) Tail_ = nullptr;
    Item->Taken = true;
    Item->InUse = true;
  }
  // A hand-over returns once its item is taken. A synchronised caller waits for the end, and
  // waking it now would only cost it a needless turn on a processor the owner needs.
  if (!Item->WaitForEnd) Changed_.notify_all();
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
  bool Orphaned = false;
  {
    std::lock_guard Lock(Mutex_);
    Running_.pop_back();
    WaitForEnd = Item.WaitForEnd;
    if (WaitForEnd) {
      Item.Error = std::move(Error);  // the waiting thread alone releases it
      Item.Done = true;
    }
    Item.InUse = false;
    Orphaned = Item.Orphaned;
  }
  Changed_.notify_all();
  if (Orphaned) delete &Item;
  if (!WaitForEnd && Error) HandleApplicationException(nullptr, Error);
}

void TComDispatcher::Drain() {
  while (TItem* Item = Take()) Run(*Item);
}

void TComDispatcher::ServeUntil(const std::function<bool()>& Done) {
  {
    // Items the owner is inside cannot finish before this wait does; their callers may leave.
    std::lock_guard Lock(Mutex_);
    for (TItem* Item : Running_) Item->Interrupted = true;
  }
  Changed_.notify_all();
  for (;;) {
    Drain();
    std::unique_lock Lock(Mutex_);
    Changed_.wait(Lock, [&] { return Head_ != nullptr || Done(); });
    if (Head_ == nullptr) return;  // Done, and nothing left to serve
  }
}

void TComDispatcher::Notify() {
  { std::lock_guard Lock(Mutex_); }  // pairs with the waiters' predicate checks
  Changed_.notify_all();
}

}  // namespace tolvane
