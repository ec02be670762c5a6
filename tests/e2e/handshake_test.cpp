// A controller that never identifies itself, with the window's real 100 ms timer: the utility
// gives up after 150 polls, about 15 s after connecting.
#include <QAction>
#include <QToolButton>
#include <iostream>

#include "tests/e2e/utility_session.h"

namespace tolvane {
namespace {

constexpr int PollLimit = 150;

using Handshake = UtilitySession;

TEST_F(Handshake, GivesUpWithNoConnectionAfterOneHundredFiftyPolls) {
  StartSimulator({"--never-identify"});
  PointSettingsAtSimulator();
  OpenWindow();
  const auto Started = std::chrono::steady_clock::now();
  ClickConnect();
  ASSERT_TRUE(Form->ComPort().Connected());
  ASSERT_TRUE(ProcessEventsUntil([this] { return !Messages.Boxes.empty(); }, 90s));
  const auto Took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - Started);
  std::cout << "[          ] \"No connection\" after " << Took.count() << " ms\n";
  RecordProperty("GiveUpMilliseconds", static_cast<int>(Took.count()));

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text, "No connection");
  // 150 ticks of 100 ms; the upper bound only allows for a busy machine.
  EXPECT_GE(Took, 14s);
  EXPECT_LE(Took, 60s);
  EXPECT_TRUE(ProcessEventsUntil([this] { return LogCount(PacketSeen("ID")) == PollLimit; }))
      << LogCount(PacketSeen("ID"));
  EXPECT_TRUE(ProcessEventsUntil([this] { return LogCount("line closed") >= 1; }));

  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_FALSE(Form->Sequencer().WaitID());
  EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
  EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()), "Connect");
  for (const char* Button : {"Button4", "Button5", "Button6", "Button7"}) {
    EXPECT_FALSE(Find<QToolButton>(Button)->isEnabled()) << Button;
  }
  // No farewell on this path, and nothing more once the box is up.
  ProcessEventsFor(300ms);
  EXPECT_EQ(LogCount(PacketSeen("ID")), PollLimit);
  EXPECT_EQ(LogCount(PacketSeen("DI")), 0);
}

}  // namespace
}  // namespace tolvane
