// Installs a message presenter that records the boxes instead of showing them, for the life of
// the object.
#pragma once

#include <vector>

#include "app/message_presenter.h"

namespace tolvane {

class TRecordedMessages {
 public:
  TRecordedMessages() {
    SetMessagePresenter([this](const TMessageBox& Box) { Boxes.push_back(Box); });
  }
  ~TRecordedMessages() { SetMessagePresenter({}); }
  TRecordedMessages(const TRecordedMessages&) = delete;
  TRecordedMessages& operator=(const TRecordedMessages&) = delete;

  std::vector<TMessageBox> Boxes;
};

}  // namespace tolvane
