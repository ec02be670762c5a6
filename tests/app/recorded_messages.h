// Installs presenters that record the boxes instead of showing them, for the life of the object;
// each question is answered with QuestionAnswer (true: its Proceed button).
#pragma once

#include <vector>

#include "app/message_presenter.h"

namespace tolvane {

class TRecordedMessages {
 public:
  TRecordedMessages() {
    SetMessagePresenter([this](const TMessageBox& Box) { Boxes.push_back(Box); });
    SetQuestionPresenter([this](const TQuestionBox& Box) {
      Questions.push_back(Box);
      return QuestionAnswer;
    });
  }
  ~TRecordedMessages() {
    SetMessagePresenter({});
    SetQuestionPresenter({});
  }
  TRecordedMessages(const TRecordedMessages&) = delete;
  TRecordedMessages& operator=(const TRecordedMessages&) = delete;

  std::vector<TMessageBox> Boxes;
  std::vector<TQuestionBox> Questions;
  bool QuestionAnswer = false;
};

}  // namespace tolvane
