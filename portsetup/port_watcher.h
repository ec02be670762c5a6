// A small component through which a control that is no component hears that the port it
// refers to is destroyed.
#pragma once

#include <functional>
#include <utility>

#include "serialport/base/component.h"

namespace tolvane {

class TPortWatcher : public TComponent {
 public:
  explicit TPortWatcher(std::function<void()> OnRemoved)
      : TComponent(nullptr), OnRemoved_(std::move(OnRemoved)) {}

  // Asks Watched (or nobody, for none) for the removal notification, dropping the previous one.
  void Watch(TComponent* Watched);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TComponent* Watched_ = nullptr;
  std::function<void()> OnRemoved_;
};

}  // namespace tolvane
