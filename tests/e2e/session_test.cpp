// A whole session of the utility against the simulated controller: connect, read, edit and
// write, disconnect, and a restart that finds the written values.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <filesystem>
#include <set>

#include "logic/files/values_file.h"
#include "logic/protocol/register_table.h"
#include "tests/app/window_pictures.h"
#include "tests/e2e/utility_session.h"

namespace tolvane {
namespace {

class Session : public UtilitySession {
 protected:
  void ExpectConnectedLook(bool Connected) {
    EXPECT_EQ(Form->ComPort().Connected(), Connected);
    EXPECT_EQ(Find<QToolButton>("Button_Open")->isChecked(), Connected);
    EXPECT_EQ(Find<QToolButton>("Button_Open")->toolTip(), Connected ? "Disconnect" : "Connect");
    EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()),
              Connected ? "Disconnect" : "Connect");
    EXPECT_EQ(Find<QAction>("MMCOMPortSettings")->isEnabled(), !Connected);
    for (const char* Button : {"Button4", "Button5", "Button6", "Button7"}) {
      EXPECT_EQ(Find<QToolButton>(Button)->isEnabled(), Connected) << Button;
    }
  }

  // Register reads and writes alike: every packet the simulator took that starts with "ST".
  int RegisterPacketsSeen() const { return LogCount("packet \"ST"); }
};

TEST_F(Session, ConnectShowsTheConnectedWindowAndPollsOnlyUntilIdentified) {
  StartSimulator({"--identify-after", "4"});
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  ExpectConnectedLook(true);

  // Every poll the window wrote reaches the simulator; the first three went unanswered.
  const int Polls = Form->Sequencer().IdTicks();
  EXPECT_GE(Polls, 4);
  ASSERT_TRUE(ProcessEventsUntil([&] { return LogCount(PacketSeen("ID")) == Polls; }))
      << SimulatorLog();
  EXPECT_EQ(LogCount("unanswered"), 3);

  ProcessEventsFor(500ms);
  EXPECT_EQ(LogCount(PacketSeen("ID")), Polls) << "polling went on after the reply";
  EXPECT_EQ(Form->Sequencer().IdTicks(), Polls);
  EXPECT_TRUE(Messages.Boxes.empty());
}

TEST_F(Session, ReadFillsEveryFieldWithTheControllersValues) {
  StartSimulator({}, StoredRegisters());
  PointSettingsAtSimulator();
  OpenWindow();
  const std::vector<std::string> Before = FieldTexts();
  ConnectAndIdentify();
  Read();

  EXPECT_TRUE(FieldsBecome(TextsOf(StoredRegisters())));
  EXPECT_EQ(FieldTexts(), TextsOf(StoredRegisters()));
  for (const TRegisterRow& Row : RegisterTable) {
    EXPECT_EQ(LogCount("register " + std::string(Row.Address) + " read"), 1) << Row.Address;
  }
  EXPECT_FALSE(Find<QWidget>("PaneProgress")->isVisible());
  // Values read from the controller reach the settings file only with the next Write.
  EXPECT_EQ(SettingsFileText().find("[Settings]"), std::string::npos);
  EXPECT_NE(Before, FieldTexts());
  SavePicture(*Form, "e2e_after_read");
  EXPECT_TRUE(Messages.Boxes.empty());
}

TEST_F(Session, WrittenValuesReachTheControllerAndTheFileAndSurviveARestart) {
  StartSimulator();
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  const std::vector<std::string> Edited = TextsOf(StoredRegisters());
  SetFieldTexts(Edited);
  Write();

  std::string Expected;
  for (const auto& [Address, Value] : StoredRegisters()) Expected += Address + "=" + Value + "\n";
  EXPECT_TRUE(ProcessEventsUntil([&] { return RegisterFileText() == Expected; }))
      << RegisterFileText();
  for (const TRegisterRow& Row : RegisterTable) {
    const std::string Value = StoredRegisters().at(std::string(Row.Address));
    EXPECT_EQ(LogCount("register " + std::string(Row.Address) + " set to " + Value), 1);
    EXPECT_NE(SettingsFileText().find(std::string(Row.FileKey) + "=" + Value), std::string::npos)
        << Row.FileKey;
  }
  EXPECT_TRUE(Messages.Boxes.empty());

  CloseWindow();
  OpenWindow();
  EXPECT_EQ(FieldTexts(), Edited);
  EXPECT_FALSE(Form->ComPort().Connected());
}

// A slipped digit after a Read: the Write sets each change against what the controller holds
// and asks in one box, with the slip first and why. Cancel (as Escape) sends nothing, backs
// nothing up and leaves the operator's text; Write sends it; a plausible Write asks nothing.
TEST_F(Session, AnImplausibleChangeAsksFirstAndCancelSendsNothing) {
  StartSimulator();
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  Read();
  ASSERT_TRUE(FieldsBecome({"02900", "00850", "00550", "00200", "00025", "00060", "00005", "00020",
                            "00003", "00015", "00030"}));
  const auto BackupCount = [this] {
    const std::filesystem::path History = Form->Backups().Directory();
    return std::filesystem::exists(History)
               ? std::distance(std::filesystem::directory_iterator(History), {})
               : 0;
  };
  const auto BackupsBefore = BackupCount();
  const std::string FileBefore = SettingsFileText();
  Field(0)->setText("29000");
  Field(4)->setText("00030");
  Find<QToolButton>("Button7")->click();

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  const TMessageBox& Question = Messages.Boxes[0];
  EXPECT_EQ(Question.Text.toStdString(),
            "1 of 2 changes is implausible: negative, more than 4 times or less than 1/4 of the "
            "controller's present value.\n\n"
            "Ua max, V: 02900 -> 29000 (10 times the present value)\n"
            "Also changing:\n"
            "Time ON: 00025 -> 00030\n\n"
            "Nothing has been written yet. Write all 2 changes to the controller?");
  EXPECT_EQ(Question.Buttons, QStringList({"Write", "Cancel"}));
  EXPECT_EQ(Question.EscapeButton, 1);
  EXPECT_EQ(Question.DefaultButton, 1) << "Return must not send a slip";
  EXPECT_FALSE(SequenceRunning());
  ProcessEventsFor(500ms);
  EXPECT_EQ(LogCount(" set to "), 0) << SimulatorLog();
  EXPECT_EQ(Field(0)->text(), "29000");
  EXPECT_EQ(QApplication::focusWidget(), Field(0)) << "the focus goes to the implausible field";
  EXPECT_EQ(BackupCount(), BackupsBefore);
  EXPECT_EQ(SettingsFileText(), FileBefore);
  EXPECT_TRUE(Form->TransferResult().startsWith("Write cancelled: nothing written"))
      << Form->TransferResult().toStdString();

  Messages.Press = "Write";
  Write();
  EXPECT_TRUE(ProcessEventsUntil([this] { return LogCount("register 0012 set to 29000") == 1; }))
      << SimulatorLog();
  EXPECT_EQ(Messages.Boxes.size(), 2u);
  EXPECT_EQ(BackupCount(), BackupsBefore + 1);
  ASSERT_TRUE(ProcessEventsUntil([this] { return Form->TransferResult().startsWith("Written"); }));
  EXPECT_TRUE(Form->TransferResult().startsWith("Written and verified 11 of 11"));

  Messages.Press.clear();
  Field(1)->setText("00900");
  Write();
  EXPECT_TRUE(ProcessEventsUntil([this] { return LogCount("register 0014 set to 00900") == 1; }));
  EXPECT_EQ(Messages.Boxes.size(), 2u) << "a plausible Write asks nothing";
}

// Every backup opens again. A Read that met a reply that is not a value saves none; on a
// controller that answers values, the Read and the Write save theirs, and the one made before the
// Write, opened with File, Open Values and written, gives the controller back what it held.
TEST_F(Session, EveryBackupOpensAgainAndWritesTheControllerBack) {
  const auto BackupNames = [this] {
    std::set<std::string> Names;
    const std::filesystem::path History = Form->Backups().Directory();
    if (!std::filesystem::exists(History)) return Names;
    for (const auto& Entry : std::filesystem::directory_iterator(History)) {
      Names.insert(Entry.path().string());
    }
    return Names;
  };
  StartSimulator({"--reply", "0012=12x45"});
  PointSettingsAtSimulator();
  OpenWindow();
  const std::set<std::string> Before = BackupNames();
  ConnectAndIdentify();
  Read();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.contains("the controller sent \"12x45\""))
      << Messages.Boxes[0].Text.toStdString();
  EXPECT_EQ(BackupNames(), Before) << "no backup holds a value that is not one";
  CloseWindow();

  Simulator.reset();
  StartSimulator();  // the same register file, every reply a value
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  Read();
  const std::vector<std::string> Held = {"02900", "00850", "00550", "00200", "00025", "00060",
                                         "00005", "00020", "00003", "00015", "00030"};
  ASSERT_TRUE(FieldsBecome(Held));
  Field(0)->setText("03100");
  Write();
  ASSERT_TRUE(ProcessEventsUntil([this] { return Form->TransferResult().startsWith("Written"); }));
  std::string BeforeWrite;
  for (const std::string& Name : BackupNames()) {
    if (Before.contains(Name)) continue;
    const TValuesFileContent Content = ReadValuesFile(Name);
    ASSERT_TRUE(Content.Values) << Name << ": " << Content.Problem;
    EXPECT_EQ(std::vector<std::string>(Content.Values->begin(), Content.Values->end()), Held);
    if (Name.ends_with(" before write.ini")) BeforeWrite = Name;
  }
  EXPECT_EQ(BackupNames().size(), Before.size() + 2) << "after read, before write";
  ASSERT_FALSE(BeforeWrite.empty());

  Form->SetFileDialogRunner(
      [&](TFileDialogKind, const QString&) { return QString::fromStdString(BeforeWrite); });
  Form->MMOpenValuesClick();
  EXPECT_EQ(FieldTexts(), Held);
  Write();
  EXPECT_TRUE(ProcessEventsUntil([this] { return LogCount("register 0012 set to 02900") == 1; }))
      << SimulatorLog();
  EXPECT_EQ(Messages.Boxes.size(), 1u) << Messages.Boxes.back().Text.toStdString();
}

TEST_F(Session, AnInvalidFieldStopsTheWriteWithNothingSentUntilItIsCorrected) {
  StartSimulator();
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  const std::string FileBefore = SettingsFileText();
  Field(2)->setText("0320A");
  Find<QToolButton>("Button7")->click();

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.startsWith("Wrong Data\nUg max, V: \"0320A\""))
      << Messages.Boxes[0].Text.toStdString();
  EXPECT_EQ(QApplication::focusWidget(), Field(2)) << "the keyboard focus goes to the field";
  EXPECT_FALSE(SequenceRunning());
  ProcessEventsFor(500ms);
  EXPECT_EQ(RegisterPacketsSeen(), 0) << SimulatorLog();
  EXPECT_EQ(SettingsFileText(), FileBefore);
  EXPECT_FALSE(Find<QWidget>("PaneProgress")->isVisible());

  // Corrected, the same press reads the eleven registers for the backup, then sends all eleven
  // and reads each back.
  Field(2)->setText("00650");
  Write();
  EXPECT_TRUE(ProcessEventsUntil([this] { return RegisterPacketsSeen() == 33; })) << SimulatorLog();
  EXPECT_EQ(Messages.Boxes.size(), 1u);
}

TEST_F(Session, DisconnectTellsTheControllerAndClosesTheLine) {
  StartSimulator();
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  ClickConnect();

  ExpectConnectedLook(false);
  EXPECT_TRUE(ProcessEventsUntil([this] { return LogCount(PacketSeen("DI") + " DI noted") >= 1; }))
      << SimulatorLog();
  EXPECT_TRUE(ProcessEventsUntil([this] { return LogCount("line closed") >= 1; }));
  EXPECT_EQ(LogCount(PacketSeen("DI")), 1);
  EXPECT_TRUE(Messages.Boxes.empty());
}

TEST_F(Session, TheTerminalSendsRawTextAndLogsTheAnswer) {
  StartSimulator({}, StoredRegisters());
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  Find<QAction>("MMTerminal")->trigger();
  Find<QLineEdit>("Edit_Data")->setText("ST0014;");
  Find<QToolButton>("Button4")->click();

  QPlainTextEdit* Log = Find<QPlainTextEdit>("Memo");
  EXPECT_TRUE(ProcessEventsUntil([&] { return Log->toPlainText().contains("ST001400800"); }))
      << Log->toPlainText().toStdString();
  EXPECT_EQ(Field(1)->text(), "00800");
  EXPECT_EQ(LogCount("register 0014 read"), 1);
  EXPECT_EQ(Find<QLineEdit>("Edit_Data")->text(), "ST0014;");
}

// A Read interrupted by Disconnect ends there: nothing resumes after the next Connect, which
// may well lead to another device.
TEST_F(Session, AReadInterruptedByDisconnectDoesNotResume) {
  StartSimulator({}, StoredRegisters());
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  Find<QToolButton>("Button6")->click();
  ASSERT_TRUE(ProcessEventsUntil([this] { return LogCount(PacketSeen("ST0018")) == 1; }));
  ClickConnect();
  ASSERT_FALSE(Form->ComPort().Connected());
  EXPECT_FALSE(SequenceRunning());
  EXPECT_FALSE(Find<QWidget>("PaneProgress")->isVisible());
  EXPECT_TRUE(Form->TransferResult().startsWith("Read stopped by Disconnect"))
      << Form->TransferResult().toStdString();

  ConnectAndIdentify();
  ProcessEventsFor(500ms);
  EXPECT_EQ(LogCount(PacketSeen("ST0032")), 0) << SimulatorLog();
  EXPECT_TRUE(Messages.Boxes.empty()) << "a Read cut short leaves nothing unwritten to report";
}

}  // namespace
}  // namespace tolvane
