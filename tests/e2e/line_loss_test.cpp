// The controller's line going away under the running utility and coming back: the simulator
// stopped and started again (as in the demo), or vanishing by its own options behind the same
// link, with the window's real port, event thread and timer.
#include <QAction>
#include <QToolButton>
#include <csignal>

#include "tests/e2e/utility_session.h"

namespace tolvane {
namespace {

class LineLoss : public UtilitySession {
 protected:
  // The simulator behind a link, and the settings naming the link, as the demo has it.
  void StartLinkedSimulator(const std::vector<std::string>& Options = {}) {
    std::vector<std::string> Args = {"--link", LinkPath};
    Args.insert(Args.end(), Options.begin(), Options.end());
    StartSimulator(Args, StoredRegisters());
  }

  void OpenWindowOnTheLink() {
    PointSettingsAt(LinkPath);
    OpenWindow();
  }

  bool Disconnected() const { return !Form->ComPort().Connected(); }

  void ExpectOneLostBoxAndTheDisconnectedWindow() {
    ASSERT_EQ(Messages.Boxes.size(), 1u);
    EXPECT_EQ(Messages.Boxes[0].Text.toStdString(),
              "Connection to " + LinkPath + " lost: Input/output error");
    EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
    EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()), "Connect");
    for (const char* Button : {"Button4", "Button5", "Button6", "Button7"}) {
      EXPECT_FALSE(Find<QToolButton>(Button)->isEnabled()) << Button;
    }
    EXPECT_FALSE(SequenceRunning());
    EXPECT_FALSE(Form->Sequencer().WaitID());
    // The box stays the only one while the timer goes on ticking.
    ProcessEventsFor(300ms);
    EXPECT_EQ(Messages.Boxes.size(), 1u);
    EXPECT_EQ(LogCount(PacketSeen("DI")), 0);
  }

  const std::string LinkPath = (Directory.Path() / "controller").string();
};

TEST_F(LineLoss, StoppingTheSimulatorDisconnectsAndAStartedOneIdentifiesAgain) {
  StartLinkedSimulator();
  OpenWindowOnTheLink();
  ConnectAndIdentify();
  ASSERT_TRUE(Simulator->Stop(SIGTERM).has_value());
  ASSERT_TRUE(ProcessEventsUntil([this] { return Disconnected(); }));
  ExpectOneLostBoxAndTheDisconnectedWindow();

  StartLinkedSimulator();
  ConnectAndIdentify();
  Read();
  EXPECT_TRUE(FieldsBecome(TextsOf(StoredRegisters())));
  EXPECT_EQ(Messages.Boxes.size(), 1u);
}

TEST_F(LineLoss, ALineVanishingDuringReadEndsItAndConnectWorksOnceItIsBack) {
  StartLinkedSimulator({"--vanish-after", "6", "--return-after", "300"});
  OpenWindowOnTheLink();
  ConnectAndIdentify();
  Find<QToolButton>("Button6")->click();
  ASSERT_TRUE(ProcessEventsUntil([this] { return Disconnected(); })) << SimulatorLog();
  EXPECT_EQ(LogCount("line vanished (after 6 packets)"), 1);
  ExpectOneLostBoxAndTheDisconnectedWindow();
  EXPECT_NE(FieldTexts(), TextsOf(StoredRegisters())) << "the read cannot have completed";
  // A field either shows what the controller holds or keeps its old text and says it was not
  // read, so the next Write cannot send an old text unnoticed.
  const std::vector<std::string> Stored = TextsOf(StoredRegisters());
  int NotRead = 0;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    const bool Read = Field(Row)->text().toStdString() == Stored[Row];
    NotRead += Read ? 0 : 1;
    EXPECT_EQ(Field(Row)->toolTip().toStdString(),
              Read ? "" : "Not read: the connection was lost; the field keeps its previous text.")
        << RegisterTable[Row].Label;
  }
  EXPECT_TRUE(Form->TransferResult().startsWith(QString::fromStdString(
      "Read stopped because the line was lost: " + std::to_string(RegisterCount - NotRead) +
      " of 11 read at ")))
      << Form->TransferResult().toStdString();

  ASSERT_TRUE(ProcessEventsUntil([this] { return LogCount("line back as") == 1; }));
  ConnectAndIdentify();
  Read();
  EXPECT_TRUE(FieldsBecome(TextsOf(StoredRegisters())));
  EXPECT_EQ(Messages.Boxes.size(), 1u);
}

// Cut short in its read-back, a Write names every register by what became of it and the backup
// to go back to; the fields it could not verify say so, the verified ones are not marked.
TEST_F(LineLoss, ALineVanishingDuringTheReadBackOfAWriteMarksWhatWasNotVerified) {
  // The identification, the read for the backup, eleven writes and four read-backs.
  StartLinkedSimulator({"--vanish-after", "27"});
  OpenWindowOnTheLink();
  ConnectAndIdentify();
  Find<QToolButton>("Button7")->click();
  ASSERT_TRUE(ProcessEventsUntil([this] { return Disconnected(); })) << SimulatorLog();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  const std::string Box = Messages.Boxes[0].Text.toStdString();
  SCOPED_TRACE(Box);
  EXPECT_NE(Box.find("Write stopped because the line was lost after 11 of 11 registers; "),
            std::string::npos);
  std::string Verified;
  std::string Unverified;
  int VerifiedCount = 0;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    const std::string Label(RegisterTable[Row].Label);
    const std::string Mark = Field(Row)->toolTip().toStdString();
    if (Mark.empty()) {
      Verified += (Verified.empty() ? "" : "; ") + Label;
      ++VerifiedCount;
    } else {
      EXPECT_EQ(Mark, "Written, not verified: the connection was lost before it was read back.");
      Unverified += (Unverified.empty() ? "" : "; ") + Label;
    }
  }
  EXPECT_GT(VerifiedCount, 0);
  EXPECT_NE(Box.find("\nWritten and verified: " + Verified + ".\nWritten, not verified: " +
                     Unverified + ".\nThe controller's values from before this Write are kept in "),
            std::string::npos);
  EXPECT_TRUE(Form->TransferResult().startsWith(
      QString::fromStdString("Write stopped because the line was lost: 11 of 11 written, " +
                             std::to_string(VerifiedCount) + " verified at ")))
      << Form->TransferResult().toStdString();
  // The backup named holds what the controller had before the Write.
  const std::size_t Start = Box.find(" kept in ") + 9;
  const std::string Backup = Box.substr(Start, Box.find(".\nTo go back") - Start);
  EXPECT_NE(testing_support::ReadTextFile(Backup).find("UaMAX=" + TextsOf(StoredRegisters())[0]),
            std::string::npos)
      << Backup;
}

TEST_F(LineLoss, ALineVanishingWhileIdentificationPollsEndsTheHandshake) {
  StartLinkedSimulator({"--identify-after", "5", "--vanish-after", "3"});
  OpenWindowOnTheLink();
  ClickConnect();
  ASSERT_TRUE(ProcessEventsUntil([this] { return Disconnected(); })) << SimulatorLog();
  EXPECT_EQ(LogCount(PacketSeen("ID")), 3);
  ExpectOneLostBoxAndTheDisconnectedWindow();

  ASSERT_EQ(::kill(Simulator->Pid(), SIGUSR2), 0);
  ASSERT_TRUE(ProcessEventsUntil([this] { return LogCount("line back as") == 1; }));
  ConnectAndIdentify();
  EXPECT_EQ(Messages.Boxes.size(), 1u);
}

}  // namespace
}  // namespace tolvane
