// Installs a message presenter that records the boxes instead of showing them, for the life of
// the object. A question is answered with the button named Press, or else as Escape would.
#pragma once

#include <vector>

#include "app/message_presenter.h"

namespace tolvane {

class TRecordedMessages {
 public:
  TRecordedMessages() {
    SetMessagePresenter([this](TMessageBox& Box) {
      if (Box.Buttons.contains(Press)) Box.Answer = int(Box.Buttons.indexOf(Press));
      Boxes.push_back(Box);
    });
  }
  ~TRecordedMessages() { SetMessagePresenter({}); }
  TRecordedMessages(const TRecordedMessages&) = delete;
  TRecordedMessages& operator=(const TRecordedMessages&) = delete;

  std::vector<TMessageBox> Boxes;
  QString Press;
};

}  // namespace tolvane
