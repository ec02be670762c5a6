#include "portsetup/port_watcher.h"

namespace tolvane {

void TPortWatcher::Watch(TComponent* Watched) {
  if (Watched == Watched_) return;
  if (Watched_ != nullptr) RemoveFreeNotification(Watched_);
  Watched_ = Watched;
  if (Watched_ != nullptr) FreeNotification(Watched_);
}

void TPortWatcher::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == Watched_) {
    Watched_ = nullptr;
    if (OnRemoved_) OnRemoved_();
  }
}

}  // namespace tolvane
