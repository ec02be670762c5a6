#include "serialport/com_dispatcher.h"

#include <algorithm>
#include <utility>

#include "serialport/application_exception.h"

namespace tolvane {

struct TComDispatcher::TItem {
  TWork Work;
  bool WaitForEnd = false;  // Synchronize: the caller waits until Work has run
  bool Taken = false;
  bool Done = false;
  bool Interrupted = false;  // the owner waits in ServeUntil from inside this item
  std::exception_ptr Error;
};

TComDispatcher& TComDispatcher::Default() {
  static TComDispatcher Dispatcher;
  return Dispatcher;
}

void TComDispatcher::SetWakeUp(TWakeUp WakeUp) {
  std::lock_guard Lock(Mutex_);
  WakeUp_ = std::move(WakeUp);
}

bool TComDispatcher::Synchronize(TWork Work, const std::function<bool()>& Abandon) {
  auto Item = std::make_shared<TItem>();
  Item->Work = std::move(Work);
  Item->WaitForEnd = true;
  std::exception_ptr Error;
  if (!Queue(Item, Abandon, &Error)) return false;
  if (Error) std::rethrow_exception(Error);
  return true;
}

bool TComDispatcher::HandOver(TWork Work, const std::function<bool()>& Abandon) {
  auto Item = std::make_shared<TItem>();
  Item->Work = std::move(Work);
  return Queue(Item, Abandon, nullptr);
}

bool TComDispatcher::Queue(const std::shared_ptr<TItem>& Item, const std::function<bool()>& Abandon,
                           std::exception_ptr* Error) {
  TWakeUp WakeUp;
  {
    std::lock_guard Lock(Mutex_);
    Queue_.push_back(Item);
    WakeUp = WakeUp_;
  }
  Changed_.notify_all();  // an owner waiting in ServeUntil takes it
  if (WakeUp) WakeUp();

  std::unique_lock Lock(Mutex_);
  const auto Finished = [&] { return Item->WaitForEnd ? Item->Done : Item->Taken; };
  const auto MayLeave = [&] { return Abandon && (!Item->Taken || Item->Interrupted) && Abandon(); };
  Changed_.wait(Lock, [&] { return Finished() || MayLeave(); });
  if (Finished()) {
    // Moved out under the lock, so the owner thread, which may drop the item last, never
    // touches the exception this thread is about to raise.
    if (Error != nullptr) *Error = std::move(Item->Error);
    return true;
  }
  // Abandoned: withdraw the item unless the owner is already running it.
  if (!Item->Taken) std::erase(Queue_, Item);
  return false;
}

std::shared_ptr<TComDispatcher::TItem> TComDispatcher::Take() {
  std::shared_ptr<TItem> Item;
  {
    std::lock_guard Lock(Mutex_);
    if (Queue_.empty()) return nullptr;
    Item = Queue_.front();
    Queue_.pop_front();
    Item->Taken = true;
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
  {
    std::lock_guard Lock(Mutex_);
    Running_.pop_back();
    if (Item.WaitForEnd) {
      Item.Error = std::move(Error);  // the waiting thread alone releases it
      Item.Done = true;
    }
  }
  Changed_.notify_all();
  if (!Item.WaitForEnd && Error) HandleApplicationException(nullptr, Error);
}

void TComDispatcher::Drain() {
  while (std::shared_ptr<TItem> Item = Take()) Run(*Item);
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
    Changed_.wait(Lock, [&] { return !Queue_.empty() || Done(); });
    if (Queue_.empty()) return;  // Done, and nothing left to serve
  }
}

void TComDispatcher::Notify() {
  { std::lock_guard Lock(Mutex_); }  // pairs with the waiters' predicate checks
  Changed_.notify_all();
}

}  // namespace tolvane
