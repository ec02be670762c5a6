// A main window with its settings file in a fresh directory, its message boxes recorded and its
// modal dialogs run by the test.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/form_main.h"
#include "logic/protocol/register_table.h"
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

  // A complete Read on an identified connection, each reply handed to the packet reaction right
  // after its request, as the controller would answer with Values (the defaults when empty).
  // The controller's present values are then known, so a Write needs no read for its backup.
  void ReadTheController(const std::vector<std::string>& Values = {}) {
    ASSERT_TRUE(Form->Sequencer().Identified());
    Form->ButtonReadClick();
    for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
      Form->StatusTimer();
      const std::string Value =
          Values.empty() ? std::string(RegisterTable[Row].Default) : Values[Row];
      Form->ComDataPacket1Packet(nullptr, "ST" + std::string(RegisterTable[Row].Address) + Value);
    }
    Form->StatusTimer();
    ASSERT_FALSE(Form->Sequencer().Running());
  }

  // The box of a Write cut short ends by naming the backup made before it, a file of the window's
  // history directory, and the way back to it; Box without those lines, and the file.
  std::pair<std::string, std::filesystem::path> SplitBackupLines(const std::string& Box) const {
    const std::string Before = "\nThe controller's values from before this Write are kept in ";
    const std::string After =
        ".\nTo go back to them: File, Open Values... with that file, then Write (or tolvane-cli "
        "write with that file).";
    const std::size_t Start = Box.find(Before);
    if (Start == std::string::npos || !Box.ends_with(After)) return {Box, {}};
    const std::filesystem::path File =
        Box.substr(Start + Before.size(), Box.size() - After.size() - Start - Before.size());
    EXPECT_EQ(File.parent_path(), Form->Backups().Directory());
    EXPECT_TRUE(std::filesystem::is_regular_file(File)) << File;
    return {Box.substr(0, Start), File};
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
