#include "app/transfer_sequencer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "fake_sequencer_window.h"

namespace tolvane {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

const std::vector<std::string> AllReadRequests = {"ST0012;", "ST0014;", "ST0016;", "ST0018;",
                                                  "ST0020;", "ST0022;", "ST0024;", "ST0026;",
                                                  "ST0028;", "ST0030;", "ST0032;"};

const std::vector<std::string> DefaultWrites = {
    "ST001203200;", "ST001400999;", "ST001600650;", "ST001800250;", "ST002000020;", "ST002200040;",
    "ST002400002;", "ST002600010;", "ST002800005;", "ST003000010;", "ST003200050;"};

class TransferSequencerTest : public testing::Test {
 protected:
  void Ticks(int Count) {
    for (int Tick = 0; Tick < Count; ++Tick) Sequencer.StatusTimer();
  }

  TFakeSequencerWindow Window;
  TTransferSequencer Sequencer{Window};
};

TEST_F(TransferSequencerTest, ReadRequestsOneRegisterPerTickWithProgress) {
  Sequencer.ButtonReadClick();
  EXPECT_TRUE(Window.ProgressVisible);
  EXPECT_EQ(Window.Position, 0);

  for (int Step = 1; Step <= 11; ++Step) {
    Sequencer.StatusTimer();
    EXPECT_THAT(Window.TakeSent(), ElementsAre(AllReadRequests[Step - 1])) << "step " << Step;
    EXPECT_EQ(Window.Label, std::to_string(Step * 9) + "%");
    EXPECT_EQ(Window.Position, Step * 25);
    EXPECT_TRUE(Window.ProgressVisible);
  }
  EXPECT_EQ(Window.Position, 275);

  Sequencer.StatusTimer();  // the closing tick
  EXPECT_THAT(Window.TakeSent(), IsEmpty());
  EXPECT_EQ(Window.Label, "108%");
  EXPECT_FALSE(Window.ProgressVisible);
  EXPECT_FALSE(Sequencer.ReadSeq());
  EXPECT_EQ(Sequencer.SeqStep(), 0);

  Ticks(3);
  EXPECT_THAT(Window.TakeSent(), IsEmpty());
}

TEST_F(TransferSequencerTest, WriteStoresTheFileThenSendsEachFieldAsTyped) {
  Sequencer.ButtonWriteClick();
  EXPECT_THAT(Window.Calls, ElementsAre("store", "position 0", "show progress"));
  EXPECT_TRUE(Sequencer.WriteSeq());

  Ticks(12);
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(DefaultWrites));
  EXPECT_FALSE(Sequencer.WriteSeq());
  EXPECT_FALSE(Window.ProgressVisible);
}

TEST_F(TransferSequencerTest, WriteTakesTheFieldTextWhenSending) {
  Window.Fields[1] = " 1234";
  Sequencer.ButtonWriteClick();
  Sequencer.StatusTimer();
  Window.Fields[1] = "-0001";  // edited after the press, before its step
  Sequencer.StatusTimer();
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST001203200;", "ST0014-0001;"));
}

TEST_F(TransferSequencerTest, InvalidFieldShowsWrongDataAndChangesNothing) {
  const std::vector<std::string> BadTexts = {"3200", "0320A", "", "1234 ", "abc", "12;34"};
  for (std::size_t Row : {std::size_t{0}, std::size_t{5}, std::size_t{10}}) {
    for (const std::string& Bad : BadTexts) {
      TFakeSequencerWindow BadWindow;
      TTransferSequencer BadSequencer(BadWindow);
      BadSequencer.ButtonReadClick();
      BadSequencer.StatusTimer();
      BadSequencer.StatusTimer();
      BadWindow.Calls.clear();
      BadWindow.TakeSent();

      BadWindow.Fields[Row] = Bad;
      BadSequencer.ButtonWriteClick();
      EXPECT_THAT(BadWindow.Calls, ElementsAre("error Wrong Data / Error"))
          << "row " << Row << " text \"" << Bad << '"';
      EXPECT_FALSE(BadSequencer.WriteSeq());
      EXPECT_TRUE(BadSequencer.ReadSeq());
      EXPECT_EQ(BadSequencer.SeqStep(), 2);
      EXPECT_EQ(BadWindow.Position, 50);
    }
  }
}

TEST_F(TransferSequencerTest, FailedSettingsFileLeavesWriteRunningWithoutProgress) {
  Window.FailStore = true;
  EXPECT_THROW(Sequencer.ButtonWriteClick(), std::runtime_error);
  EXPECT_THAT(Window.Calls, ElementsAre("store"));
  EXPECT_TRUE(Sequencer.WriteSeq());
  EXPECT_FALSE(Window.ProgressVisible);

  Sequencer.StatusTimer();
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST001203200;"));
}

TEST_F(TransferSequencerTest, HandshakePolls150TimesThenGivesUp) {
  Sequencer.ArmIdentification();
  Ticks(150);
  EXPECT_EQ(Window.TakeSent(), std::vector<std::string>(150, "ID;"));
  EXPECT_EQ(Sequencer.IdTicks(), 150);
  EXPECT_TRUE(Sequencer.WaitID());

  Window.Calls.clear();
  Sequencer.StatusTimer();
  EXPECT_THAT(Window.Calls, ElementsAre("disable buttons", "close",
                                        "error No connection / " + std::string(ApplicationTitle)));
  EXPECT_THAT(Window.TakeSent(), IsEmpty());  // no "DI;"
  EXPECT_FALSE(Sequencer.WaitID());
  EXPECT_EQ(Sequencer.IdTicks(), 0);
  EXPECT_FALSE(Window.Connected);
}

TEST_F(TransferSequencerTest, ConfirmationStopsThePolling) {
  Sequencer.ArmIdentification();
  Ticks(20);
  Sequencer.ConfirmIdentification();
  Ticks(200);
  EXPECT_EQ(Window.TakeSent(), std::vector<std::string>(20, "ID;"));
  EXPECT_TRUE(Window.Connected);
  EXPECT_FALSE(Sequencer.WaitID());
}

TEST_F(TransferSequencerTest, ClosedPortPausesPollingUntilReopenRearms) {
  Sequencer.ArmIdentification();
  Ticks(5);
  Window.Connected = false;
  Ticks(300);
  EXPECT_EQ(Sequencer.IdTicks(), 5);
  Window.Connected = true;
  Sequencer.ArmIdentification();
  Ticks(150);
  EXPECT_EQ(Window.TakeSent(), std::vector<std::string>(155, "ID;"));
  EXPECT_TRUE(Window.Connected);
}

TEST_F(TransferSequencerTest, ClosedPortPausesASequenceWhichGoesOnAfterReopening) {
  Sequencer.ButtonReadClick();
  Ticks(3);
  Window.Connected = false;
  Window.Calls.clear();
  Ticks(10);
  EXPECT_THAT(Window.Calls, IsEmpty());
  EXPECT_TRUE(Window.ProgressVisible);
  EXPECT_EQ(Sequencer.SeqStep(), 3);

  Window.Connected = true;
  Window.TakeSent();
  Ticks(9);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0018;", "ST0020;", "ST0022;", "ST0024;", "ST0026;",
                                             "ST0028;", "ST0030;", "ST0032;"));
  EXPECT_FALSE(Sequencer.ReadSeq());
}

// A lost line ends what a closing by Disconnect only pauses: nothing resumes after reconnecting.
TEST_F(TransferSequencerTest, EndAllEndsBothSequencesAndTheIdentification) {
  Sequencer.ArmIdentification();
  Sequencer.ButtonWriteClick();
  Sequencer.ButtonReadClick();
  Ticks(3);
  Sequencer.EndAll();
  EXPECT_FALSE(Window.ProgressVisible);
  EXPECT_FALSE(Sequencer.ReadSeq());
  EXPECT_FALSE(Sequencer.WriteSeq());
  EXPECT_FALSE(Sequencer.WaitID());
  EXPECT_EQ(Sequencer.SeqStep(), 0);
  EXPECT_EQ(Sequencer.IdTicks(), 0);
  Window.TakeSent();
  Ticks(200);
  EXPECT_THAT(Window.TakeSent(), IsEmpty());
}

TEST_F(TransferSequencerTest, FailedWriteSkipsTheRestOfTheTickAndTheStep) {
  Sequencer.ArmIdentification();
  Sequencer.ButtonReadClick();
  Sequencer.StatusTimer();
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0012;", "ID;"));

  Window.FailNextWrite = true;
  EXPECT_THROW(Sequencer.StatusTimer(), std::runtime_error);
  EXPECT_EQ(Sequencer.SeqStep(), 2);
  EXPECT_EQ(Sequencer.IdTicks(), 1);  // the identification part did not run

  Sequencer.StatusTimer();
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0016;", "ID;"));
}

TEST_F(TransferSequencerTest, ReadAgainRestartsAtStepOne) {
  Sequencer.ButtonReadClick();
  Ticks(4);
  Sequencer.ButtonReadClick();
  EXPECT_EQ(Window.Position, 0);
  Window.TakeSent();
  Ticks(12);
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(AllReadRequests));
}

TEST_F(TransferSequencerTest, ReadDuringWriteSharesTheStepCounter) {
  Sequencer.ButtonWriteClick();
  Ticks(3);
  EXPECT_THAT(Window.TakeSent(), ElementsAre(DefaultWrites[0], DefaultWrites[1], DefaultWrites[2]));

  Sequencer.ButtonReadClick();
  // Each tick the read part takes the odd step and the write part the next even one.
  for (int Tick = 1; Tick <= 5; ++Tick) {
    Sequencer.StatusTimer();
    EXPECT_THAT(Window.TakeSent(),
                ElementsAre(AllReadRequests[2 * Tick - 2], DefaultWrites[2 * Tick - 1]));
  }
  // Read reaches step 11; the write part passes step 11, ends and hides the panel.
  Sequencer.StatusTimer();
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0032;"));
  EXPECT_FALSE(Sequencer.WriteSeq());
  EXPECT_FALSE(Window.ProgressVisible);

  // The read sequence starts over at step 1 and completes alone, panel hidden.
  Ticks(12);
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(AllReadRequests));
  EXPECT_FALSE(Sequencer.ReadSeq());
  EXPECT_FALSE(Window.ProgressVisible);
}

TEST_F(TransferSequencerTest, OneTickWritesReadThenWriteThenPoll) {
  Sequencer.ArmIdentification();
  Sequencer.ButtonWriteClick();
  Sequencer.ButtonReadClick();
  Sequencer.StatusTimer();
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0012;", "ST001400999;", "ID;"));
}

TEST_F(TransferSequencerTest, ResetMarksBothSequencesInactive) {
  Sequencer.ButtonWriteClick();
  Sequencer.ButtonReadClick();
  Sequencer.Reset();
  Window.TakeSent();
  Ticks(3);
  EXPECT_THAT(Window.TakeSent(), IsEmpty());
  EXPECT_FALSE(Sequencer.ReadSeq());
  EXPECT_FALSE(Sequencer.WriteSeq());
}

}  // namespace
}  // namespace tolvane
