// Connecting, disconnecting and the terminal's Send on a real pseudo-terminal.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QtTest/QTest>

#include "logic/transfer/application_title.h"
#include "main_window_fixture.h"
#include "serialport/dispatch/com_dispatcher.h"
#include "tests/support/pty_pair.h"
#include "window_pictures.h"

namespace tolvane {
namespace {

class Connection : public MainWindowTest {
 protected:
  Connection() {
    Form->ComPort().SetPort(Controller.SlavePath());
    Form->PanelTerminal->SetClock([] { return QTime(14, 2, 11, 305); });
  }

  void ExpectTransferButtonsEnabled(bool Enabled) {
    for (const char* Button : {"Button4", "Button5", "Button6", "Button7"}) {
      EXPECT_EQ(Find<QToolButton>(Button)->isEnabled(), Enabled) << Button;
    }
  }

  void ExpectConnectedLook(bool Connected) {
    QToolButton* Connect = Find<QToolButton>("Button_Open");
    EXPECT_EQ(Connect->isChecked(), Connected);
    // The caption stays "Connect" (Alt+C) in both states; the pressed look tells them apart.
    EXPECT_EQ(Connect->text(), "&Connect");
    EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()),
              Connected ? "Disconnect" : "Connect");
    EXPECT_EQ(Find<QAction>("MMCOMPortSettings")->isEnabled(), !Connected);
  }

  test::TPtyPair Controller;
};

TEST_F(Connection, ConnectOpensThePortAndSwitchesTheWindow) {
  Form->PanelTerminal->AppendPacket("left from before");
  Find<QToolButton>("Button_Open")->click();

  EXPECT_TRUE(Messages.Boxes.empty());
  EXPECT_TRUE(Form->ComPort().Connected());
  ExpectConnectedLook(true);
  ExpectTransferButtonsEnabled(true);
  EXPECT_EQ(Find<QToolButton>("Button_Open")->toolTip(), "Disconnect");
  EXPECT_TRUE(Find<QPlainTextEdit>("Memo")->toPlainText().isEmpty());
  EXPECT_EQ(Controller.EverythingSent(), "");
}

TEST_F(Connection, DisconnectSendsTheNoticeThenClosesThePort) {
  Find<QToolButton>("Button_Open")->click();
  Form->PanelTerminal->AppendPacket("ID200");
  Find<QToolButton>("Button_Open")->click();

  EXPECT_TRUE(Messages.Boxes.empty());
  EXPECT_EQ(Controller.EverythingSent(), "DI;");
  EXPECT_FALSE(Form->ComPort().Connected());
  ExpectConnectedLook(false);
  ExpectTransferButtonsEnabled(false);
  EXPECT_EQ(Find<QToolButton>("Button_Open")->toolTip(), "Connect");
  // Disconnecting keeps the log, which shows the notice sent.
  EXPECT_EQ(Find<QPlainTextEdit>("Memo")->toPlainText(),
            "14:02:11.305 < ID200\n14:02:11.305 > DI;");
}

TEST_F(Connection, EveryPacketTheWindowWritesAppearsInTheLogAsSent) {
  Find<QToolButton>("Button_Open")->click();
  Form->StatusTimer();
  Controller.Send("ID200;");
  TComDispatcher::Default().ServeUntil([&] { return !Form->Sequencer().WaitID(); });
  Find<QLineEdit>("Edit_Data")->setText("ST0014;");
  Find<QToolButton>("Button4")->click();
  Find<QToolButton>("Button6")->click();
  Form->StatusTimer();
  Find<QToolButton>("Button_Open")->click();

  EXPECT_EQ(Controller.EverythingSent(), "ID;ST0014;ST0012;DI;");
  EXPECT_EQ(Find<QPlainTextEdit>("Memo")->toPlainText(),
            "14:02:11.305 > ID;\n14:02:11.305 < ID200\n14:02:11.305 > ST0014;\n"
            "14:02:11.305 > ST0012;\n14:02:11.305 > DI;");
  EXPECT_EQ(Form->PanelTerminal->LogLineCount(), 1) << "only received lines count";
}

TEST_F(Connection, ReturnInTheSendLineSendsOnlyWhileConnected) {
  QLineEdit* SendLine = Find<QLineEdit>("Edit_Data");
  SendLine->setText("ID;");
  QTest::keyClick(SendLine, Qt::Key_Return);
  EXPECT_TRUE(Messages.Boxes.empty());
  Find<QToolButton>("Button_Open")->click();
  QTest::keyClick(SendLine, Qt::Key_Return);
  EXPECT_EQ(Controller.EverythingSent(), "ID;");
  EXPECT_EQ(SendLine->text(), "ID;");
}

TEST_F(Connection, TheFileMenuConnectsAndDisconnectsToo) {
  Find<QAction>("MMTerminal")->trigger();
  Find<QAction>("MMConnect")->trigger();
  EXPECT_TRUE(Form->ComPort().Connected());
  ExpectConnectedLook(true);
  Find<QAction>("MMConnect")->trigger();
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_EQ(Controller.EverythingSent(), "DI;");
}

TEST_F(Connection, ClosingTheWindowWhileConnectedSendsNoNotice) {
  Find<QToolButton>("Button_Open")->click();
  Form.reset();
  EXPECT_EQ(Controller.EverythingSent(), "");
  EXPECT_TRUE(Messages.Boxes.empty());
}

TEST_F(Connection, AMissingDeviceIsReportedAndTheWindowStaysDisconnected) {
  Form->ComPort().SetPort(Directory.filePath("no-such-tty").toStdString());
  Find<QToolButton>("Button_Open")->click();

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Caption.toStdString(), ApplicationTitle);
  EXPECT_TRUE(Messages.Boxes[0].Text.startsWith("Unable to open com port"))
      << Messages.Boxes[0].Text.toStdString();
  EXPECT_FALSE(Form->ComPort().Connected());
  ExpectConnectedLook(false);
  ExpectTransferButtonsEnabled(false);
  EXPECT_EQ(Find<QToolButton>("Button_Open")->toolTip(), "Connect to TRX");
}

TEST_F(Connection, SendWritesTheLineExactlyAsTypedAndKeepsIt) {
  Find<QToolButton>("Button_Open")->click();
  Find<QLineEdit>("Edit_Data")->setText("ST0012;ID;");
  Find<QToolButton>("Button4")->click();
  EXPECT_EQ(Controller.EverythingSent(), "ST0012;ID;");
  EXPECT_EQ(Find<QLineEdit>("Edit_Data")->text(), "ST0012;ID;");
}

// The text sent stays, selected, so the next typing replaces it instead of joining it.
TEST_F(Connection, TypedLinesAreSentOneByOneWithTheChosenLineEndAndCanBeRecalled) {
  Find<QToolButton>("Button_Open")->click();
  QComboBox* LineEnd = Find<QComboBox>("LineEndChoice");
  EXPECT_EQ(LineEnd->currentText(), "none");
  LineEnd->setCurrentIndex(LineEnd->findText(";"));
  emit LineEnd->activated(LineEnd->currentIndex());
  QLineEdit* SendLine = Find<QLineEdit>("Edit_Data");
  QTest::keyClicks(SendLine, "ST0012");
  QTest::keyClick(SendLine, Qt::Key_Return);
  QTest::keyClicks(SendLine, "ST0014");
  QTest::keyClick(SendLine, Qt::Key_Return);
  EXPECT_EQ(Controller.EverythingSent(), "ST0012;ST0014;");
  EXPECT_EQ(SendLine->selectedText(), "ST0014");

  QTest::keyClick(SendLine, Qt::Key_Up);
  EXPECT_EQ(SendLine->text(), "ST0014");
  QTest::keyClick(SendLine, Qt::Key_Up);
  EXPECT_EQ(SendLine->text(), "ST0012");
  QTest::keyClick(SendLine, Qt::Key_Up);
  EXPECT_EQ(SendLine->text(), "ST0012") << "the oldest stays";
  QTest::keyClick(SendLine, Qt::Key_Down);
  QTest::keyClick(SendLine, Qt::Key_Down);
  EXPECT_EQ(SendLine->text(), "") << "past the newest the line is empty";

  // Only the last 50 lines are kept.
  for (int Line = 0; Line < 60; ++Line) {
    SendLine->setText(QString("L%1").arg(Line));
    QTest::keyClick(SendLine, Qt::Key_Return);
  }
  for (int Step = 0; Step < 60; ++Step) QTest::keyClick(SendLine, Qt::Key_Up);
  EXPECT_EQ(SendLine->text(), "L10");
}

// The choice has a section of its own in the settings file and is there at the next start.
TEST_F(Connection, TheLineEndChoiceIsKeptInTheSettingsFile) {
  QComboBox* LineEnd = Find<QComboBox>("LineEndChoice");
  for (const char* Name : {";", "CR LF"}) {
    LineEnd->setCurrentIndex(LineEnd->findText(Name));
    emit LineEnd->activated(LineEnd->currentIndex());
    TForm1 Next(Directory.filePath("Settings.ini"));
    EXPECT_EQ(Next.PanelTerminal->LineEndChoice->currentText(), Name);
  }
  QFile File(Directory.filePath("Settings.ini"));
  ASSERT_TRUE(File.open(QIODevice::ReadOnly));
  EXPECT_TRUE(File.readAll().contains("[Terminal]\nLineEnd=CR LF\n"));
  Find<QLineEdit>("Edit_Data")->setText("ID");
  Find<QToolButton>("Button_Open")->click();
  Find<QToolButton>("Button4")->click();
  EXPECT_EQ(Controller.EverythingSent(), "ID\r\n");
}

TEST_F(Connection, SendWithAnEmptyLineWritesNothing) {
  Find<QToolButton>("Button_Open")->click();
  Find<QLineEdit>("Edit_Data")->clear();
  Find<QToolButton>("Button4")->click();
  EXPECT_EQ(Controller.EverythingSent(), "");
  EXPECT_TRUE(Messages.Boxes.empty());
}

TEST_F(Connection, ClearEmptiesTheLogAndTheSendLine) {
  Find<QToolButton>("Button_Open")->click();
  Form->PanelTerminal->AppendPacket("ID200");
  Find<QLineEdit>("Edit_Data")->setText("ID;");
  Find<QToolButton>("Button5")->click();
  EXPECT_TRUE(Find<QPlainTextEdit>("Memo")->toPlainText().isEmpty());
  EXPECT_TRUE(Find<QLineEdit>("Edit_Data")->text().isEmpty());
}

TEST_F(Connection, AReplySplitOverTwoReadsFillsItsFieldAndTakesOneLogLine) {
  Find<QToolButton>("Button_Open")->click();
  QPlainTextEdit* Log = Find<QPlainTextEdit>("Memo");
  Find<QLineEdit>("Edit_Ua_max")->clear();

  Controller.Send("ST0012032");
  Controller.Send("00;");
  // The event thread hands each reception to this thread through the port's dispatcher.
  TComDispatcher::Default().ServeUntil([&] { return !Log->toPlainText().isEmpty(); });

  EXPECT_EQ(Find<QLineEdit>("Edit_Ua_max")->text(), "03200");
  EXPECT_EQ(Log->toPlainText(), "14:02:11.305 < ST001203200");
  EXPECT_EQ(Form->PanelTerminal->LogLineCount(), 1);
  EXPECT_TRUE(Messages.Boxes.empty());
}

// The values are taken at the press: the field with the focus does not take typing while the
// Write runs, so nothing unchecked can reach the line.
TEST_F(Connection, AWriteSendsTheValuesOfThePressAndLocksTheFields) {
  Find<QToolButton>("Button_Open")->click();
  Form->ComDataPacket1Packet(nullptr, "ID200");
  ReadTheController();
  Controller.EverythingSent();
  QLineEdit* Field = Find<QLineEdit>("Edit_Ug_max");
  Form->show();
  Field->setFocus();
  Find<QToolButton>("Button7")->click();
  EXPECT_FALSE(Find<QToolButton>("Button6")->isEnabled()) << "one transfer at a time";
  EXPECT_FALSE(Find<QToolButton>("Button7")->isEnabled());
  for (const QChar Key : QString("9z9z9")) {
    QKeyEvent Typed(QEvent::KeyPress, 0, Qt::NoModifier, QString(Key));
    QApplication::sendEvent(Field, &Typed);
  }
  EXPECT_EQ(Field->text(), "00650");
  for (int Tick = 0; Tick < 3; ++Tick) Form->StatusTimer();
  EXPECT_EQ(Controller.EverythingSent(), "ST001203200;ST001400999;ST001600650;");
}

// Disconnect ends a Write for good and one box says which registers were written.
TEST_F(Connection, DisconnectDuringAWriteEndsItAndNamesWhatWasWritten) {
  Find<QToolButton>("Button_Open")->click();
  Form->ComDataPacket1Packet(nullptr, "ID200");
  ReadTheController();
  Find<QToolButton>("Button7")->click();
  Form->StatusTimer();
  Form->StatusTimer();
  Find<QToolButton>("Button_Open")->click();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  const auto [Box, Backup] = SplitBackupLines(Messages.Boxes[0].Text.toStdString());
  EXPECT_EQ(Box,
            "Write stopped by Disconnect after 2 of 11 registers; none verified.\n"
            "Written, not verified: Ua max, V; Ia max, mA.\n"
            "Not written: Ug max, V; Ig max, mA; Time ON; Time OFF; Time Light; Time Sleep; "
            "SWR HI; VOX Delay; Switch Delay.");
  EXPECT_NE(Backup.filename().string().find(" before write"), std::string::npos) << Backup;
  EXPECT_EQ(Find<QLineEdit>("Edit_Ug_max")->toolTip(),
            "Not written: the transfer was stopped by Disconnect.");
  EXPECT_TRUE(Find<QWidget>("PaneProgress")->isHidden());
  EXPECT_FALSE(Find<QLineEdit>("Edit_Ua_max")->isReadOnly());

  Controller.EverythingSent();
  Find<QToolButton>("Button_Open")->click();
  for (int Tick = 0; Tick < 5; ++Tick) Form->StatusTimer();
  EXPECT_EQ(Controller.EverythingSent(), "ID;ID;ID;ID;ID;") << "nothing resumes";
}

// Quitting while a Write runs asks once, with Go On the default; Go On keeps the Write running to
// its verified end and the window open, and once nothing runs the window closes without a word.
TEST_F(Connection, QuittingDuringAWriteAsksAndGoOnLetsItRunToItsEnd) {
  Find<QToolButton>("Button_Open")->click();
  Form->ComDataPacket1Packet(nullptr, "ID200");
  ReadTheController();
  Form->show();
  Find<QToolButton>("Button7")->click();
  for (int Tick = 0; Tick < 6; ++Tick) Form->StatusTimer();
  Find<QAction>("MMExit")->trigger();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  const TMessageBox Question = Messages.Boxes[0];
  EXPECT_EQ(Question.Caption.toStdString(), ApplicationTitle);
  EXPECT_EQ(Question.Text, "A Write is running: 6 of 11 registers written. Stop it and quit?");
  EXPECT_EQ(Question.Buttons, QStringList({"Stop and Quit", "Go On"}));
  EXPECT_EQ(Question.DefaultButton, 1);
  EXPECT_EQ(Question.EscapeButton, 1);
  EXPECT_TRUE(Form->isVisible());
  ASSERT_TRUE(Form->Sequencer().Running());

  for (int Tick = 6; Tick < int(RegisterCount); ++Tick) Form->StatusTimer();
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Form->StatusTimer();
    Form->ComDataPacket1Packet(nullptr, "ST" + std::string(RegisterTable[Row].Address) +
                                            std::string(RegisterTable[Row].Default));
  }
  Form->StatusTimer();
  EXPECT_FALSE(Form->Sequencer().Running());
  EXPECT_TRUE(Form->TransferResult().startsWith("Written and verified 11 of 11"));
  EXPECT_EQ(Messages.Boxes.size(), 1u);

  EXPECT_TRUE(Form->close());
  EXPECT_EQ(Messages.Boxes.size(), 1u) << "nothing runs, nothing to ask";
}

// Stop and Quit ends a Write as Disconnect does, with its marks and its box, and nothing more goes
// out before the window closes. A Read asks in its own words.
TEST_F(Connection, StopAndQuitEndsTheTransferWithItsBoxThenTheWindowCloses) {
  Find<QToolButton>("Button_Open")->click();
  Form->ComDataPacket1Packet(nullptr, "ID200");
  Form->show();
  Form->ButtonReadClick();
  for (std::size_t Row = 0; Row < 3; ++Row) {
    Form->StatusTimer();
    Form->ComDataPacket1Packet(nullptr, "ST" + std::string(RegisterTable[Row].Address) +
                                            std::string(RegisterTable[Row].Default));
  }
  EXPECT_FALSE(Form->close());
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text, "A Read is running: 3 of 11 registers read. Stop it and quit?");
  for (std::size_t Row = 3; Row < RegisterCount; ++Row) {
    Form->StatusTimer();
    Form->ComDataPacket1Packet(nullptr, "ST" + std::string(RegisterTable[Row].Address) +
                                            std::string(RegisterTable[Row].Default));
  }
  Form->StatusTimer();

  Find<QToolButton>("Button7")->click();  // the Read's values serve its backup
  ASSERT_TRUE(Form->Sequencer().Running());
  ASSERT_EQ(Form->Sequencer().Transfer()->Kind(), TRegisterTransferKind::Write);
  for (int Tick = 0; Tick < 6; ++Tick) Form->StatusTimer();
  Controller.EverythingSent();
  Messages.Press = "Stop and Quit";
  EXPECT_TRUE(Form->close());
  EXPECT_FALSE(Form->isVisible());
  EXPECT_FALSE(Form->Sequencer().Running());
  ASSERT_EQ(Messages.Boxes.size(), 3u) << "the question, then the box of the Write cut short";
  EXPECT_TRUE(Messages.Boxes[1].Text.startsWith("A Write is running: 6 of 11 registers written."));
  EXPECT_EQ(SplitBackupLines(Messages.Boxes[2].Text.toStdString()).first,
            "Write stopped on quitting after 6 of 11 registers; none verified.\n"
            "Written, not verified: Ua max, V; Ia max, mA; Ug max, V; Ig max, mA; Time ON; Time "
            "OFF.\n"
            "Not written: Time Light; Time Sleep; SWR HI; VOX Delay; Switch Delay.");
  EXPECT_EQ(Find<QLineEdit>("Edit_Time_Light")->toolTip(),
            "Not written: the transfer was stopped on quitting.");
  EXPECT_TRUE(Form->TransferResult().startsWith(
      "Write stopped on quitting: 6 of 11 written, none verified at "));
  EXPECT_FALSE(Form->Status->isActive());
  EXPECT_EQ(Controller.EverythingSent(), "");
}

TEST_F(Connection, PictureOfTheConnectedWindow) {
  Form->show();
  Find<QToolButton>("Button_Open")->click();
  ASSERT_TRUE(Form->ComPort().Connected());
  EXPECT_TRUE(ControlsOutsideTheirParent(*Form).isEmpty())
      << ControlsOutsideTheirParent(*Form).join(", ").toStdString();
  SavePicture(*Form, "main_window_connected");
}

TEST_F(Connection, ConnectingStoresThePortSettingsInTheSettingsFile) {
  Find<QToolButton>("Button_Open")->click();
  QFile Settings(Form->SettingsPath());
  ASSERT_TRUE(Settings.open(QIODevice::ReadOnly));
  EXPECT_TRUE(Settings.readAll().contains("[ComPort]"));
}

TEST_F(Connection, AFailedStoreOnOpeningLeavesThePortOpenButTheWindowDisconnected) {
  const QString Unreachable = Directory.filePath("missing/directory/Settings.ini");
  Form = std::make_unique<TForm1>(Unreachable);
  // Creating the file at start fails the same way and is reported then.
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  Messages.Boxes.clear();
  Form->ComPort().SetPort(Controller.SlavePath());
  Find<QToolButton>("Button_Open")->click();

  // The port's text, then the file and the system's reason on a line of their own.
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text,
            "Failed to store settings.\n" + Unreachable + ": No such file or directory");
  EXPECT_TRUE(Form->ComPort().Connected());
  ExpectConnectedLook(false);
  ExpectTransferButtonsEnabled(false);

  // The next press finds the port open and disconnects it.
  Find<QToolButton>("Button_Open")->click();
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_EQ(Messages.Boxes.size(), 1u);
}

}  // namespace
}  // namespace tolvane
