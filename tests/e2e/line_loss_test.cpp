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

  ASSERT_TRUE(ProcessEventsUntil([this] { return LogCount("line back as") == 1; }));
  ConnectAndIdentify();
  Read();
  EXPECT_TRUE(FieldsBecome(TextsOf(StoredRegisters())));
  EXPECT_EQ(Messages.Boxes.size(), 1u);
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
