#include "logic/transfer/packet_reaction.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_transfer_host.h"

namespace tolvane {
namespace {

TEST(PacketReactionTest, RegisterValueSetsOnlyItsField) {
  TFakeTransferHost Window;
  TTransferSequencer Sequencer(Window);
  const auto Before = Window.Fields;

  ApplyReceivedPacket("ST001812345", Window, Sequencer);
  ApplyReceivedPacket("ST0013abcde", Window, Sequencer);
  ApplyReceivedPacket("\r\nST0020abcde", Window, Sequencer);

  auto Expected = Before;
  Expected[3] = "12345";
  EXPECT_EQ(Window.Fields, Expected);
}

TEST(PacketReactionTest, IdentificationReplyStopsThePollingAtOnce) {
  TFakeTransferHost Window;
  TTransferSequencer Sequencer(Window);
  Sequencer.ArmIdentification();
  Sequencer.StatusTimer();

  ApplyReceivedPacket("ID201", Window, Sequencer);
  ApplyReceivedPacket("ST0012", Window, Sequencer);
  EXPECT_TRUE(Sequencer.WaitID());
  EXPECT_EQ(Window.Fields[0], "");

  ApplyReceivedPacket("ID200", Window, Sequencer);
  EXPECT_FALSE(Sequencer.WaitID());
  Sequencer.StatusTimer();
  EXPECT_THAT(Window.TakeSent(), testing::ElementsAre("ID;"));
}

}  // namespace
}  // namespace tolvane
