#include "serialport/base/component.h"

#include <algorithm>

namespace tolvane {

void TPersistent::Assign(const TPersistent& Source) {
  AssignError(Source);
}

void TPersistent::AssignError(const TPersistent& Source) const {
  throw EConvertError(std::string("Cannot assign a ") + Source.ClassName() + " to a " +
                      ClassName());
}

TComponent::TComponent(TComponent* AOwner) : Owner_(AOwner) {
  if (Owner_ != nullptr) Owner_->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  if (Owner_ != nullptr) Owner_->RemoveComponent(this);
}

void TComponent::EndLoading() {
  Loading_ = false;
  Loaded();
}

void TComponent::FreeNotification(TComponent* Other) {
  if (Other == nullptr || Other == this) return;
  if (std::find(FreeNotifies_.begin(), FreeNotifies_.end(), Other) == FreeNotifies_.end()) {
    FreeNotifies_.push_back(Other);
    Other->FreeNotification(this);  // both sides forget each other on either destruction
  }
}

void TComponent::RemoveFreeNotification(TComponent* Other) {
  auto It = std::find(FreeNotifies_.begin(), FreeNotifies_.end(), Other);
  if (It == FreeNotifies_.end()) return;
  FreeNotifies_.erase(It);
  Other->RemoveFreeNotification(this);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove) {
    std::erase(FreeNotifies_, AComponent);
  }
}

void TComponent::Destroying() {
  if (Destroying_) return;
  Destroying_ = true;
  // Each notified component may unsubscribe itself or others while it is told, so take the
  // next subscriber afresh every time.
  while (!FreeNotifies_.empty()) {
    TComponent* Other = FreeNotifies_.back();
    FreeNotifies_.pop_back();
    std::erase(Other->FreeNotifies_, this);
    Other->Notification(this, TOperation::opRemove);
  }
  while (!Components_.empty()) {
    TComponent* Child = Components_.back();
    delete Child;  // the child's destructor removes it from Components_
  }
}

void TComponent::InsertComponent(TComponent* Component) {
  Components_.push_back(Component);
}

void TComponent::RemoveComponent(TComponent* Component) {
  std::erase(Components_, Component);
}

}  // namespace tolvane
