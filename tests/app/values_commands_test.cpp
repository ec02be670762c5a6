// The window's values files, the comparison with the controller and the backups made around
// transfers, on a real pseudo-terminal with the test answering for the controller. The backups
// go to the test run's own $XDG_STATE_HOME.
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "logic/files/values_file.h"
#include "main_window_fixture.h"
#include "tests/support/pty_pair.h"
#include "window_pictures.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// What the controller holds: every value differs from the window's defaults.
const std::vector<std::string> ControllerValues = {"03000", "00800", "00500", "00200",
                                                   "00030", "00050", "00003", "00020",
                                                   "00004", "00020", "00060"};

class ValuesCommands : public MainWindowTest {
 protected:
  ValuesCommands() {
    Form->ComPort().SetPort(Controller.SlavePath());
    Form->SetFileDialogRunner([this](TFileDialogKind Kind, const QString& StartPath) {
      Dialogs.push_back({Kind, StartPath});
      return ChosenFile;
    });
    fs::remove_all(History());
  }
  ~ValuesCommands() override { fs::remove_all(History()); }

  fs::path History() const { return Form->Backups().Directory(); }
  void ConnectAndIdentify() {
    Find<QToolButton>("Button_Open")->click();
    ASSERT_TRUE(Form->ComPort().Connected());
    Form->ComDataPacket1Packet(nullptr, "ID200");
  }
  QLineEdit* Field(std::size_t Row) const {
    return Find<QLineEdit>(std::string(RegisterTable.at(Row).FieldName).c_str());
  }
  std::vector<std::string> FieldTexts() const {
    std::vector<std::string> Texts;
    for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
      Texts.push_back(Field(Row)->text().toStdString());
    }
    return Texts;
  }
  // The backups written so far, by file name, with their first value.
  std::map<std::string, std::string> Backups() const {
    std::map<std::string, std::string> Found;
    if (!fs::exists(History())) return Found;
    for (const fs::directory_entry& Entry : fs::directory_iterator(History())) {
      const TValuesFileContent Content = ReadValuesFile(Entry.path().string());
      Found[Entry.path().filename().string()] =
          Content.Values ? (*Content.Values)[0] : "unreadable";
    }
    return Found;
  }
  static bool EndsWith(const std::string& Name, const std::string& Event) {
    return Name.size() == std::string("2026-12-08T14-02-11 ").size() + Event.size() &&
           Name.ends_with(Event);
  }

  test::TPtyPair Controller;
  std::vector<std::pair<TFileDialogKind, QString>> Dialogs;
  QString ChosenFile;
};

TEST_F(ValuesCommands, OpenValuesFillsTheFieldsAndSendsNothing) {
  ConnectAndIdentify();
  Controller.EverythingSent();
  const std::string Path = Directory.filePath("saved.ini").toStdString();
  std::ofstream(Path) << "[Settings]\nUaMAX=01000\nIaMAX=00500\nUgMax=00400\nIgMax=00100\n"
                         "T__ON=00010\nT_OFF=00020\nT_Lig=00001\nT_Slp=00005\nSWR_H=00003\n"
                         "VOX_D=00005\nSWH_D=00025\n";
  ChosenFile = QString::fromStdString(Path);
  Find<QAction>("MMOpenValues")->trigger();

  ASSERT_EQ(Dialogs.size(), 1u);
  EXPECT_EQ(Dialogs[0].first, TFileDialogKind::OpenValues);
  EXPECT_EQ(FieldTexts(),
            (std::vector<std::string>{"01000", "00500", "00400", "00100", "00010", "00020", "00001",
                                      "00005", "00003", "00005", "00025"}));
  EXPECT_TRUE(Messages.Boxes.empty());
  for (int Tick = 0; Tick < 3; ++Tick) Form->StatusTimer();
  EXPECT_EQ(Controller.EverythingSent(), "") << "opening writes nothing to the controller";

  // A file with one bad value opens nothing and names the key.
  std::ofstream(Path) << "[Settings]\nUaMAX=03200\nIaMAX=00999\nUgMax=650\n";
  Find<QAction>("MMOpenValues")->trigger();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.startsWith("Nothing was opened.\n"));
  EXPECT_TRUE(Messages.Boxes[0].Text.contains("UgMax (Ug max, V) holds \"650\""))
      << Messages.Boxes[0].Text.toStdString();
  EXPECT_EQ(Field(0)->text(), "01000") << "no field changes";
}

TEST_F(ValuesCommands, SaveValuesAsWritesAFileThatOpensAgain) {
  Field(4)->setText("00077");
  ChosenFile = Directory.filePath("kept.ini");
  Find<QAction>("MMSaveValues")->trigger();
  ASSERT_EQ(Dialogs.size(), 1u);
  EXPECT_EQ(Dialogs[0].first, TFileDialogKind::SaveValues);
  const TValuesFileContent Content = ReadValuesFile(ChosenFile.toStdString());
  ASSERT_TRUE(Content.Values) << Content.Problem;
  EXPECT_EQ((*Content.Values)[4], "00077");
  EXPECT_TRUE(Messages.Boxes.empty());

  // A value that could not be opened again is not saved.
  Field(4)->setText("77");
  QFile::remove(ChosenFile);
  Find<QAction>("MMSaveValues")->trigger();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.contains("Time ON: \"77\""));
  EXPECT_FALSE(QFile::exists(ChosenFile));
}

// A complete Read is kept as "after read"; the Write that follows saves the same values as
// "before write" first, and only then sends.
TEST_F(ValuesCommands, ReadAndWriteLeaveBackupsOfTheControllersValues) {
  ConnectAndIdentify();
  ReadTheController(ControllerValues);
  ASSERT_EQ(Backups().size(), 1u);
  EXPECT_TRUE(EndsWith(Backups().begin()->first, "after read.ini")) << Backups().begin()->first;
  EXPECT_EQ(Backups().begin()->second, "03000");

  Controller.EverythingSent();
  Field(0)->setText("02500");
  Find<QToolButton>("Button7")->click();
  EXPECT_EQ(Backups().size(), 2u);
  for (const auto& [Name, First] : Backups()) {
    EXPECT_EQ(First, "03000") << Name;
    EXPECT_TRUE(EndsWith(Name, "after read.ini") || EndsWith(Name, "before write.ini")) << Name;
  }
  Form->StatusTimer();
  EXPECT_EQ(Controller.EverythingSent(), "ST001202500;");
  EXPECT_TRUE(Messages.Boxes.empty());
}

// The history directory is blocked by a file: the Read says its backup failed, and the Write
// does not go ahead at all.
TEST_F(ValuesCommands, ABackupThatCannotBeWrittenStopsTheWrite) {
  fs::create_directories(History().parent_path());
  std::ofstream(History()) << "not a directory";
  ConnectAndIdentify();
  ReadTheController(ControllerValues);
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.startsWith("The values read could not be saved as a backup."))
      << Messages.Boxes[0].Text.toStdString();

  Controller.EverythingSent();
  Find<QToolButton>("Button7")->click();
  for (int Tick = 0; Tick < 5; ++Tick) Form->StatusTimer();
  ASSERT_EQ(Messages.Boxes.size(), 2u);
  EXPECT_TRUE(Messages.Boxes[1].Text.startsWith("Nothing was written: the backup"))
      << Messages.Boxes[1].Text.toStdString();
  EXPECT_TRUE(Messages.Boxes[1].Text.contains(QString::fromStdString(History().string())));
  EXPECT_EQ(Controller.EverythingSent(), "");
  EXPECT_FALSE(Form->Sequencer().Running());
}

// Compare is there only while connected; it marks what differs, names it in one box and leaves
// the window's values as they were, so that Write still sends them.
TEST_F(ValuesCommands, CompareMarksTheDifferencesAndKeepsTheWindowsValues) {
  QAction* Compare = Find<QAction>("MMCompare");
  EXPECT_FALSE(Compare->isEnabled());
  ConnectAndIdentify();
  EXPECT_TRUE(Compare->isEnabled());
  Controller.EverythingSent();
  const std::vector<std::string> Before = FieldTexts();
  std::vector<std::string> Held = Before;
  Held[1] = "00800";
  Held[9] = "00020";
  Compare->trigger();
  EXPECT_FALSE(Compare->isEnabled()) << "one transfer at a time";
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Form->StatusTimer();
    Form->ComDataPacket1Packet(nullptr, "ST" + std::string(RegisterTable[Row].Address) + Held[Row]);
  }
  Form->StatusTimer();
  ASSERT_FALSE(Form->Sequencer().Running());

  EXPECT_EQ(FieldTexts(), Before);
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    EXPECT_EQ(Field(Row)->property(FieldMarkProperty).toBool(), Row == 1 || Row == 9) << Row;
  }
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text.toStdString(),
            "The controller differs from the window in 2 of 11 fields (controller, window):\n"
            "Ia max, mA: 00800, 00999\nVOX Delay: 00020, 00010\n"
            "These fields are marked until the next Read or Write. Nothing was changed.");
  EXPECT_TRUE(Compare->isEnabled());
  EXPECT_EQ(Controller.EverythingSent().size(), 11 * std::string("ST0012;").size());

  Form->show();
  Form->Menu->MMFile->popup(Form->mapToGlobal(QPoint(0, 0)));
  SavePicture(*Form->Menu->MMFile, "file_menu_connected");
  Form->Menu->MMFile->hide();
  SavePicture(*Form, "main_window_compared");
}

}  // namespace
}  // namespace tolvane
