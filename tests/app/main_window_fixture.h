// A main window with its settings file in a fresh directory, its message boxes recorded and its
// modal dialogs run by the test.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "app/form_main.h"
#include "recorded_messages.h"

namespace tolvane {

class MainWindowTest : public testing::Test {
 protected:
  MainWindowTest() {
    Form->SetModalRunner([this](QDialog& Dialog) {
      ModalDialogs.push_back(&Dialog);
      return ModalAnswer ? ModalAnswer(Dialog) : int(QDialog::Rejected);
    });
  }

  template <class Control>
  Control* Find(const char* Name) const {
    Control* Found = Form->findChild<Control*>(Name);
    EXPECT_NE(Found, nullptr) << Name;
    return Found;
  }

  QTemporaryDir Directory;
  TRecordedMessages Messages;
  std::unique_ptr<TForm1> Form = std::make_unique<TForm1>(Directory.filePath("Settings.ini"));
  std::vector<QDialog*> ModalDialogs;
  std::function<int(QDialog&)> ModalAnswer;
};

}  // namespace tolvane
