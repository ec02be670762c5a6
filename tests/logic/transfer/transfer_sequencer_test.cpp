#include "logic/transfer/transfer_sequencer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_transfer_host.h"
#include "logic/transfer/packet_reaction.h"
#include "logic/transfer/plausibility_guard.h"

namespace tolvane {
namespace {

using testing::AllOf;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

const std::vector<std::string> AllReadRequests = {"ST0012;", "ST0014;", "ST0016;", "ST0018;",
                                                  "ST0020;", "ST0022;", "ST0024;", "ST0026;",
                                                  "ST0028;", "ST0030;", "ST0032;"};

const std::vector<std::string> DefaultWrites = {
    "ST001203200;", "ST001400999;", "ST001600650;", "ST001800250;", "ST002000020;", "ST002200040;",
    "ST002400002;", "ST002600010;", "ST002800005;", "ST003000010;", "ST003200050;"};

std::vector<std::string> Concat(std::vector<std::string> A, const std::vector<std::string>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

// The far end: a controller with its own registers that answers what the sequencer sent through
// the window's real packet reaction. Silent registers never answer; unstored ones echo a write
// but keep their old value, as a failing EEPROM would.
struct TController {
  std::map<std::string, std::string> Registers = {
      {"0012", "03000"}, {"0014", "00800"}, {"0016", "00500"}, {"0018", "00200"},
      {"0020", "00030"}, {"0022", "00050"}, {"0024", "00003"}, {"0026", "00020"},
      {"0028", "00004"}, {"0030", "00020"}, {"0032", "00060"}};
  std::set<std::string> Silent;
  std::set<std::string> Unstored;
  std::map<std::string, std::string> Replaced;  // a read is answered with this text

  std::vector<std::string> Replies(const std::vector<std::string>& Sent) {
    std::vector<std::string> Out;
    for (const std::string& Packet : Sent) {
      if (!Packet.starts_with("ST")) continue;
      const std::string Address = Packet.substr(2, 4);
      const std::string Value = Packet.substr(6, Packet.size() - 7);
      if (Silent.contains(Address)) continue;
      if (!Value.empty() && !Unstored.contains(Address)) Registers[Address] = Value;
      const bool Garbled = Value.empty() && Replaced.contains(Address);
      Out.push_back("ST" + Address +
                    (Garbled         ? Replaced[Address]
                     : Value.empty() ? Registers[Address]
                                     : Value));
    }
    return Out;
  }
};

class TransferSequencerTest : public testing::Test {
 protected:
  void Identify() {
    Sequencer.ArmIdentification();
    Sequencer.ConfirmIdentification();
  }
  // Ticks with the controller answering each tick's packets before the next one.
  void Ticks(int Count) {
    for (int Tick = 0; Tick < Count; ++Tick) {
      const std::size_t Before = Window.Sent.size();
      Sequencer.StatusTimer();
      const std::vector<std::string> New(Window.Sent.begin() + long(Before), Window.Sent.end());
      for (const std::string& Reply : Controller.Replies(New)) {
        ApplyReceivedPacket(Reply, Window, Sequencer);
      }
    }
  }
  void TicksUntilDone(int Limit = 100) {
    for (int Tick = 0; Tick < Limit && Sequencer.Running(); ++Tick) Ticks(1);
    ASSERT_FALSE(Sequencer.Running());
  }
  std::vector<std::string> MarkedRows() const {
    std::vector<std::string> Labels;
    for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
      if (!Window.Marks[Row].empty()) Labels.emplace_back(RegisterTable[Row].Label);
    }
    return Labels;
  }

  TFakeTransferHost Window;
  TController Controller;
  TTransferSequencer Sequencer{Window};
};

TEST_F(TransferSequencerTest, ReadRequestsOneRegisterPerTickAndFillsTheProgressBar) {
  Identify();
  Window.Result = "Read 11 of 11 at 13:58";
  Sequencer.ButtonReadClick();
  EXPECT_TRUE(Window.ProgressVisible);
  EXPECT_TRUE(Window.TransferRunning);
  EXPECT_EQ(Window.Position, 0);
  EXPECT_EQ(Window.Note, "Reading");
  EXPECT_EQ(Window.Result, "") << "the last result no longer holds once a transfer starts";

  for (int Step = 1; Step <= 11; ++Step) {
    Ticks(1);
    EXPECT_THAT(Window.TakeSent(), ElementsAre(AllReadRequests[Step - 1])) << "step " << Step;
    EXPECT_EQ(Window.Position, std::min(1000 * Step / 11, 999));
  }
  EXPECT_EQ(Window.Label, "99%") << "the last reply may still be missing";

  Ticks(1);  // the closing tick: every register answered, no grace is needed
  EXPECT_EQ(Window.Position, 1000) << "the bar is full only at the end";
  EXPECT_EQ(Window.Label, "100%");
  EXPECT_THAT(Window.TakeSent(), IsEmpty());
  EXPECT_FALSE(Window.ProgressVisible);
  EXPECT_FALSE(Sequencer.Running());
  EXPECT_FALSE(Window.TransferRunning);
  EXPECT_EQ(Window.Fields[2], "00500");
  EXPECT_EQ(Window.Result, "Read 11 of 11 at 14:02");
  EXPECT_THAT(Window.Boxes, IsEmpty());
  EXPECT_THAT(MarkedRows(), IsEmpty());
}

TEST_F(TransferSequencerTest, SilentRegistersAreAskedOnceMoreThenNamedInOneBox) {
  Controller.Silent = {"0016"};
  Identify();
  Sequencer.ButtonReadClick();
  Ticks(11);
  Window.TakeSent();
  Ticks(ReplyGraceTicks);
  EXPECT_THAT(Window.TakeSent(), IsEmpty()) << "the grace sends nothing";
  EXPECT_EQ(Window.Note, WaitingForRepliesNote);
  const int Held = Window.Position;
  Ticks(1);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0016;")) << "the silent register is asked again";
  EXPECT_EQ(Window.Position, Held) << "the retry lengthens the plan; the bar holds its place";
  TicksUntilDone();
  EXPECT_THAT(Window.TakeSent(), IsEmpty()) << "asked once more only";
  EXPECT_THAT(MarkedRows(), ElementsAre("Ug max, V"));
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(Window.Boxes[0],
              AllOf(HasSubstr("1 of 11"), HasSubstr("Ug max, V"),
                    HasSubstr("This field is marked and keeps its previous text.")));
  EXPECT_EQ(Window.Fields[2], "00650") << "the field keeps its previous text";
  EXPECT_EQ(Window.Result, "Read 10 of 11 at 14:02");

  // Several at once: still one box, naming each.
  Window.Boxes.clear();
  Controller.Silent = {"0012", "0024", "0032"};
  Sequencer.ButtonReadClick();
  EXPECT_THAT(MarkedRows(), IsEmpty()) << "a new transfer clears the marks";
  TicksUntilDone();
  EXPECT_THAT(MarkedRows(), ElementsAre("Ua max, V", "Time Light", "Switch Delay"));
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(Window.Boxes[0], HasSubstr("Ua max, V; Time Light; Switch Delay"));
}

// A reply that would not pass the field check is no value: the field keeps its text and is
// marked, the register is asked again, and the box says what came.
TEST_F(TransferSequencerTest, AReplyThatIsNotAValueCountsAsNotAnswered) {
  Controller.Replaced = {{"0012", "12x45"}};
  Controller.Silent = {"0016"};
  Identify();
  Sequencer.ButtonReadClick();
  TicksUntilDone();
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(Concat(AllReadRequests, {"ST0012;", "ST0016;"})));
  EXPECT_EQ(Window.Fields[0], "03200") << "the field keeps its text";
  EXPECT_EQ(Window.Marks[0],
            "The controller sent \"12x45\", which is not a value; the field keeps its previous "
            "text.");
  EXPECT_EQ(Window.Result, "Read 9 of 11 at 14:02");
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(Window.Boxes[0],
              AllOf(HasSubstr("did not answer for 1 of 11 registers, also when asked again: Ug "
                              "max, V.\n"),
                    HasSubstr("Ua max, V: the controller sent \"12x45\", which is not a value.")));

  // In the read-back of a Write the register is not confirmed.
  Controller.Silent = {};
  Window.Boxes.clear();
  Sequencer.ButtonWriteClick();
  TicksUntilDone();
  EXPECT_THAT(MarkedRows(), ElementsAre("Ua max, V"));
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(
      Window.Boxes[0],
      HasSubstr("Ua max, V: sent 03200, the controller sent \"12x45\", which is not a value"));
  EXPECT_EQ(Window.Fields[0], "03200");
}

TEST_F(TransferSequencerTest, ALateReplyWithinTheGraceCountsAndAReplyBeforeTheRequestDoesNot) {
  Controller.Silent = {"0014"};
  Identify();
  // Unasked, before the Read: the field takes it, but it answers no request.
  ApplyReceivedPacket("ST001400123", Window, Sequencer);
  Sequencer.ButtonReadClick();
  Ticks(11);
  Ticks(1);                                               // grace
  ApplyReceivedPacket("ST001400801", Window, Sequencer);  // late, but within the grace
  Window.TakeSent();
  TicksUntilDone();
  EXPECT_THAT(Window.TakeSent(), IsEmpty()) << "a register that answered late is not asked again";
  EXPECT_THAT(Window.Boxes, IsEmpty());
  EXPECT_EQ(Window.Fields[1], "00801");
  EXPECT_EQ(Window.Result, "Read 11 of 11 at 14:02");
}

TEST_F(TransferSequencerTest, WriteSendsTheCheckedValuesThenVerifiesEachByReadingItBack) {
  Identify();
  Window.Fields[1] = " 1234";
  Sequencer.ButtonWriteClick();
  EXPECT_THAT(Window.Calls,
              ElementsAre("transfer running", "position 0", "show progress", "store"));
  Window.Fields[2] = "00001";  // typed after the press: this Write must not send it
  // The panel says what runs: the writes, then the read-back.
  EXPECT_EQ(Window.Note, "Writing");
  Ticks(10);
  EXPECT_EQ(Window.Note, "Writing");
  Ticks(2);
  EXPECT_EQ(Window.Note, "Checking what was written");
  TicksUntilDone();
  std::vector<std::string> Writes = DefaultWrites;
  Writes[1] = "ST0014 1234;";
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(Concat(Writes, AllReadRequests)));
  EXPECT_EQ(Controller.Registers["0016"], "00650");
  EXPECT_THAT(Window.Boxes, IsEmpty());
  EXPECT_EQ(Window.Result, "Written and verified 11 of 11 at 14:02");
  EXPECT_EQ(Window.Position, 1000);
}

TEST_F(TransferSequencerTest, ARegisterThatKeepsItsOldValueIsFoundByTheReadBack) {
  Controller.Unstored = {"0016"};
  Controller.Silent = {};
  Identify();
  Sequencer.ButtonWriteClick();
  TicksUntilDone();
  EXPECT_THAT(MarkedRows(), ElementsAre("Ug max, V"));
  EXPECT_EQ(Window.Marks[2], "Sent 00650, the controller holds 00500.");
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(Window.Boxes[0], HasSubstr("Ug max, V: sent 00650, controller holds 00500"));
  EXPECT_THAT(Window.Boxes[0], Not(HasSubstr("Ua max")));
  EXPECT_EQ(Window.Result, "Written 11, verified only 10 of 11 at 14:02");

  // A register that does not answer the read-back is not confirmed either.
  Window.Boxes.clear();
  Controller.Unstored = {};
  Controller.Silent = {"0032"};
  Sequencer.ButtonWriteClick();
  TicksUntilDone();
  EXPECT_THAT(MarkedRows(), ElementsAre("Switch Delay"));
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(Window.Boxes[0], HasSubstr("Switch Delay: sent 00050, no reply when read back"));
}

TEST_F(TransferSequencerTest, InvalidFieldGivesWrongDataNamingItAndSendsNothing) {
  const std::vector<std::string> BadTexts = {"3200", "0320A", "", "1234 ", "abc", "12;34"};
  for (bool Identified : {false, true}) {
    for (std::size_t Row : {std::size_t{0}, std::size_t{5}, std::size_t{10}}) {
      for (const std::string& Bad : BadTexts) {
        TFakeTransferHost BadWindow;
        TTransferSequencer BadSequencer(BadWindow);
        BadSequencer.ArmIdentification();
        if (Identified) BadSequencer.ConfirmIdentification();
        BadWindow.Fields[Row] = Bad;
        if (Row + 1 < RegisterCount) BadWindow.Fields[Row + 1] = "x";  // only the first counts
        BadSequencer.ButtonWriteClick();
        ASSERT_EQ(BadWindow.Calls.size(), 1u);
        EXPECT_THAT(BadWindow.Calls[0], AllOf(testing::StartsWith("error Wrong Data\n"),
                                              HasSubstr(std::string(RegisterTable[Row].Label)),
                                              testing::EndsWith(" / Error")))
            << "row " << Row << " text \"" << Bad << '"';
        EXPECT_EQ(BadWindow.Focused, Row);
        EXPECT_FALSE(BadSequencer.Running());
        for (int Tick = 0; Tick < 20; ++Tick) BadSequencer.StatusTimer();
        for (const std::string& Packet : BadWindow.Sent) EXPECT_EQ(Packet, "ID;");
      }
    }
  }
}

TEST_F(TransferSequencerTest, FailedSettingsFileIsReportedAndTheWriteGoesOn) {
  Identify();
  Window.FailStore = true;
  EXPECT_THROW(Sequencer.ButtonWriteClick(), std::runtime_error);
  EXPECT_TRUE(Sequencer.Running());
  EXPECT_TRUE(Window.ProgressVisible);
  Ticks(1);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST001203200;"));
}

TEST_F(TransferSequencerTest, NoRegisterPacketBeforeTheControllerIdentifies) {
  Sequencer.ArmIdentification();
  Sequencer.ButtonWriteClick();
  EXPECT_TRUE(Window.ProgressVisible);
  EXPECT_EQ(Window.Note, WaitingForIdentificationNote);
  Ticks(20);
  EXPECT_EQ(Window.TakeSent(), std::vector<std::string>(20, "ID;"));

  Sequencer.ConfirmIdentification();
  EXPECT_EQ(Window.Note, "Writing");
  Ticks(1);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST001203200;"));
}

TEST_F(TransferSequencerTest, AHandshakeThatGivesUpDropsTheWaitingTransfer) {
  Sequencer.ArmIdentification();
  Sequencer.ButtonReadClick();
  Ticks(151);
  EXPECT_EQ(Window.TakeSent(), std::vector<std::string>(150, "ID;"));
  EXPECT_FALSE(Sequencer.Running());
  EXPECT_FALSE(Window.ProgressVisible);
  EXPECT_THAT(Window.Boxes, ElementsAre("No connection"));
  EXPECT_EQ(Window.Result, "Read not started: the controller did not identify");

  // The next opening must identify afresh before anything is sent.
  Window.Connected = true;
  Sequencer.PortClosed();
  Sequencer.ArmIdentification();
  Sequencer.ButtonReadClick();
  Ticks(3);
  EXPECT_EQ(Window.TakeSent(), std::vector<std::string>(3, "ID;"));
}

TEST_F(TransferSequencerTest, OneTransferAtATime) {
  Identify();
  Sequencer.ButtonWriteClick();
  Ticks(3);
  Sequencer.ButtonReadClick();   // refused: the Write goes on alone
  Sequencer.ButtonWriteClick();  // refused: it does not restart either
  TicksUntilDone();
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(Concat(DefaultWrites, AllReadRequests)));
  EXPECT_EQ(Window.Result, "Written and verified 11 of 11 at 14:02");

  Sequencer.ButtonReadClick();
  Ticks(4);
  Sequencer.ButtonReadClick();
  TicksUntilDone();
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(AllReadRequests));
}

TEST_F(TransferSequencerTest, DisconnectEndsAWriteAndNamesWhatWasWritten) {
  Identify();
  Sequencer.ButtonWriteClick();
  Ticks(4);
  const std::string Box = Sequencer.EndTransfer();
  EXPECT_THAT(Box,
              HasSubstr("Write stopped by Disconnect after 4 of 11 registers; none verified."));
  EXPECT_THAT(Box, HasSubstr("\nWritten, not verified: Ua max, V; Ia max, mA; Ug max, V; Ig max, "
                             "mA.\nNot written: Time ON; Time OFF;"));
  EXPECT_FALSE(Window.ProgressVisible);
  EXPECT_EQ(Window.Result, "Write stopped by Disconnect: 4 of 11 written, none verified at 14:02");
  EXPECT_EQ(
      Window.Marks[0],
      "Written, not verified: the transfer was stopped by Disconnect before it was read back.");
  EXPECT_EQ(Window.Marks[4], "Not written: the transfer was stopped by Disconnect.");
  EXPECT_EQ(MarkedRows().size(), RegisterCount);

  // Nothing resumes on the next opening.
  Window.Connected = false;
  Sequencer.PortClosed();
  Window.Connected = true;
  Identify();
  Window.TakeSent();
  Ticks(30);
  EXPECT_THAT(Window.TakeSent(), IsEmpty());
  EXPECT_EQ(Sequencer.EndTransfer(), "") << "nothing runs, nothing to say";
}

TEST_F(TransferSequencerTest, ALostLineEndsEverythingAndNamesTheRegistersNotWritten) {
  Sequencer.ArmIdentification();
  Sequencer.ConfirmIdentification();
  Sequencer.ButtonWriteClick();
  Ticks(11);
  Ticks(2);  // two read-backs confirmed
  const std::string Lines = Sequencer.EndAll();
  EXPECT_EQ(Lines,
            "Write stopped because the line was lost after 11 of 11 registers; 2 verified.\n"
            "Written and verified: Ua max, V; Ia max, mA.\n"
            "Written, not verified: Ug max, V; Ig max, mA; Time ON; Time OFF; Time Light; Time "
            "Sleep; SWR HI; VOX Delay; Switch Delay.");
  EXPECT_EQ(Window.Result,
            "Write stopped because the line was lost: 11 of 11 written, 2 verified at 14:02");
  // The two verified fields are confirmed; every other one says it was not read back.
  EXPECT_THAT(Window.Marks[0], IsEmpty());
  EXPECT_THAT(Window.Marks[1], IsEmpty());
  for (std::size_t Row = 2; Row < RegisterCount; ++Row) {
    EXPECT_EQ(Window.Marks[Row],
              "Written, not verified: the connection was lost before it was read back.");
  }
  EXPECT_FALSE(Sequencer.WaitID());
  EXPECT_FALSE(Sequencer.Identified());
  Window.TakeSent();
  Ticks(200);
  EXPECT_THAT(Window.TakeSent(), IsEmpty());
  EXPECT_EQ(Sequencer.EndAll(), "");
}

// A Read cut short leaves the unread fields with their old texts, which the next Write would
// send: each says it was not read, and the result line counts only what was.
TEST_F(TransferSequencerTest, AReadCutShortMarksEveryFieldItDidNotRead) {
  Identify();
  Controller.Replaced = {{"0014", "12x45"}};
  Sequencer.ButtonReadClick();
  Ticks(6);
  Sequencer.EndAll();
  EXPECT_EQ(Window.Result, "Read stopped because the line was lost: 5 of 11 read at 14:02");
  EXPECT_THAT(Window.Marks[0], IsEmpty());
  EXPECT_THAT(Window.Marks[1], HasSubstr("\"12x45\", which is not a value"));
  for (std::size_t Row = 6; Row < RegisterCount; ++Row) {
    EXPECT_EQ(Window.Marks[Row],
              "Not read: the connection was lost; the field keeps its previous text.");
    EXPECT_EQ(Window.Fields[Row], RegisterTable[Row].Default);
  }
  EXPECT_EQ(MarkedRows().size(), 6u);
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
  EXPECT_TRUE(Sequencer.Identified());
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

TEST_F(TransferSequencerTest, AFailedRequestSkipsTheRestOfTheTickAndIsAskedAgain) {
  Identify();
  Sequencer.ButtonReadClick();
  Ticks(1);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0012;"));

  Window.FailNextWrite = true;
  EXPECT_THROW(Sequencer.StatusTimer(), std::runtime_error);
  Ticks(1);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0016;")) << "the step is not repeated at once";
  TicksUntilDone();
  const std::vector<std::string> Rest = Window.TakeSent();
  ASSERT_FALSE(Rest.empty());
  EXPECT_EQ(Rest.back(), "ST0014;") << "the request that did not go out is asked again";
  EXPECT_EQ(Window.Result, "Read 11 of 11 at 14:02");
}

// A Compare reads like a Read but leaves the fields alone: what differs is marked and named with
// both values in one box, and a late answer to its silent request does not reach the field.
TEST_F(TransferSequencerTest, CompareNamesEachDifferenceAndLeavesTheFieldsAlone) {
  Controller.Registers["0012"] = "03200";  // the window's default: no difference
  Controller.Silent = {"0018"};
  Identify();
  const auto Before = Window.Fields;
  Sequencer.ButtonCompareClick();
  EXPECT_EQ(Window.Note, "Comparing");
  TicksUntilDone();
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(Concat(AllReadRequests, {"ST0018;"})));
  EXPECT_EQ(Window.Fields, Before) << "the comparison's replies never reach the fields";
  EXPECT_EQ(Window.Marks[0], "");
  EXPECT_EQ(Window.Marks[1], "The controller holds 00800; the window shows 00999.");
  EXPECT_EQ(Window.Marks[3], "No reply from the controller; the window shows 00250.");
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(Window.Boxes[0],
              AllOf(HasSubstr("9 of 11 fields (controller, window):\n"
                              "Ia max, mA: 00800, 00999\n"),
                    Not(HasSubstr("Ig max, mA: 0")),
                    HasSubstr("\nIg max, mA: did not answer, also when asked again\n"),
                    Not(HasSubstr("Ua max"))));
  EXPECT_EQ(Window.Result, "Compared at 14:02: 9 of 11 differ, 1 did not answer");

  ApplyReceivedPacket("ST001800200", Window, Sequencer);
  EXPECT_EQ(Window.Fields[3], "00250") << "a late reply to the comparison";
  ApplyReceivedPacket("ST001400700", Window, Sequencer);
  EXPECT_EQ(Window.Fields[1], "00700") << "an unasked value for an answered register is shown";
  Sequencer.ButtonReadClick();
  EXPECT_THAT(MarkedRows(), IsEmpty()) << "the next Read clears the marks";
}

using TSaved = std::pair<std::string, std::string>;  // event, first value

// A backup store that records what it saved, or refuses.
struct TRecordedBackups : TValueBackups {
  std::string Save(const TRegisterTexts& Values, TBackupEvent Event) override {
    if (Fail) throw std::runtime_error("Unable to write to history/backup.ini");
    Saved.emplace_back(std::string(BackupEventName(Event)), Values[0]);
    return "backup.ini";
  }
  bool Fail = false;
  std::vector<TSaved> Saved;
};

class BackedUpTransferTest : public TransferSequencerTest {
 protected:
  BackedUpTransferTest() {
    Sequencer.SetBackups(&Backups);
    Sequencer.OnFinished = [this](const TRegisterTransfer& Done) {
      Finished.push_back(Done.Kind());
    };
    Identify();
  }
  TRecordedBackups Backups;
  std::vector<TRegisterTransferKind> Finished;
};

// Without a complete Read on this connection the Write reads first, saves what the controller
// held and goes on by itself with the values of the press; the fields never show the old values.
TEST_F(BackedUpTransferTest, AWriteWithoutAReadReadsFirstAndSavesThePresentValues) {
  Window.Fields[0] = "01111";
  Sequencer.ButtonWriteClick();
  EXPECT_THAT(Window.Calls, Not(testing::Contains("store")))
      << "nothing is stored before the backup";
  EXPECT_EQ(Window.Note, ReadingForBackupNote);
  Ticks(12);
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(AllReadRequests));
  EXPECT_EQ(Window.Fields[0], "01111");
  EXPECT_THAT(Backups.Saved, ElementsAre(TSaved("before write", "03000")));
  TicksUntilDone();
  std::vector<std::string> Writes = DefaultWrites;
  Writes[0] = "ST001201111;";
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(Concat(Writes, AllReadRequests)));
  EXPECT_EQ(Window.Result, "Written and verified 11 of 11 at 14:02");
  EXPECT_THAT(Finished,
              ElementsAre(TRegisterTransferKind::ReadForBackup, TRegisterTransferKind::Write));

  // The verified Write is what the controller holds now: the next backup is taken from it.
  Window.Fields[0] = "02222";
  Sequencer.ButtonWriteClick();
  Ticks(1);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST001202222;")) << "no read before this Write";
  EXPECT_EQ(Backups.Saved.back(), TSaved("before write", "01111"));
}

TEST_F(BackedUpTransferTest, ACompleteReadIsSavedAndServesTheNextWrite) {
  Sequencer.ButtonReadClick();
  TicksUntilDone();
  Window.TakeSent();
  Sequencer.ButtonWriteClick();
  Ticks(1);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST001203000;"));
  EXPECT_THAT(Backups.Saved,
              ElementsAre(TSaved("after read", "03000"), TSaved("before write", "03000")));

  // A new connection may be another controller: its values must be read again.
  TicksUntilDone();
  Identify();
  Window.TakeSent();
  Sequencer.ButtonWriteClick();
  Ticks(1);
  EXPECT_THAT(Window.TakeSent(), ElementsAre("ST0012;"));
}

// A Write cut short names the file holding what the controller had before it and the way back;
// cut short before its backup, nothing went out and every field says it was not written.
TEST_F(BackedUpTransferTest, AWriteCutShortNamesItsBackupAndTheWayBack) {
  Sequencer.ButtonWriteClick();
  Ticks(5);
  Sequencer.EndTransfer(TTransferStop::Quit);
  EXPECT_EQ(Window.Result, "Write stopped on quitting before its backup: nothing written at 14:02");
  for (const std::string& Mark : Window.Marks) {
    EXPECT_EQ(Mark,
              "Not written: the transfer was stopped on quitting before the backup of the present "
              "values.");
  }

  Sequencer.ButtonWriteClick();
  Ticks(12 + 5);  // the read for the backup, then five writes
  const std::string Box = Sequencer.EndTransfer();
  EXPECT_THAT(Box, HasSubstr("\nNot written: Time OFF; Time Light;"));
  EXPECT_THAT(Box, testing::EndsWith(
                       "\nThe controller's values from before this Write are kept in backup.ini.\n"
                       "To go back to them: File, Open Values... with that file, then Write (or "
                       "tolvane-cli write with that file)."));
}

TEST_F(BackedUpTransferTest, NoWriteWithoutAWholeBackup) {
  Controller.Silent = {"0020"};
  Sequencer.ButtonWriteClick();
  TicksUntilDone();
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(Concat(AllReadRequests, {"ST0020;"})));
  EXPECT_THAT(Backups.Saved, IsEmpty());
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(Window.Boxes[0], AllOf(HasSubstr("Nothing was written"), HasSubstr("Time ON.")));
  EXPECT_EQ(Window.Result, "Write not started: no backup at 14:02");
  EXPECT_THAT(Window.Calls, Not(testing::Contains("store")));

  // A reply that is not a value leaves the read incomplete: no backup holds it, none is written.
  Controller.Silent = {};
  Controller.Replaced = {{"0012", "12x45"}};
  Window.Boxes.clear();
  Sequencer.ButtonReadClick();
  TicksUntilDone();
  Sequencer.ButtonWriteClick();
  TicksUntilDone();
  EXPECT_THAT(Backups.Saved, IsEmpty());
  EXPECT_EQ(Window.Boxes.size(), 2u);
  EXPECT_EQ(Window.Result, "Write not started: no backup at 14:02");
  Controller.Replaced = {};
  Window.TakeSent();

  // A backup that cannot be saved stops the Write as well.
  Controller.Silent = {};
  Backups.Fail = true;
  Window.Boxes.clear();
  Sequencer.ButtonWriteClick();
  TicksUntilDone();
  EXPECT_THAT(Window.TakeSent(), ElementsAreArray(AllReadRequests));
  ASSERT_EQ(Window.Boxes.size(), 1u);
  EXPECT_THAT(Window.Boxes[0], AllOf(HasSubstr("Nothing was written"),
                                     HasSubstr("Unable to write to history/backup.ini")));
  Sequencer.ButtonWriteClick();
  EXPECT_FALSE(Sequencer.Running()) << "the values known now give the backup that fails at once";
  EXPECT_EQ(Window.Boxes.size(), 2u);
}

// Four times and a quarter of the present value are still plausible, a step beyond is not; a
// present zero gives no scale, and a negative value is never plausible. The list names the
// implausible changes first, each with why, and leaves out a text that spells the same number.
TEST(PlausibilityGuard, TheRuleAtItsEdgesAndTheListOfChanges) {
  using enum TImplausibility;
  EXPECT_EQ(ImplausibilityOf(2900, 11600), None);
  EXPECT_EQ(ImplausibilityOf(2900, 11601), MoreThanFourTimes);
  EXPECT_EQ(ImplausibilityOf(2900, 725), None);
  EXPECT_EQ(ImplausibilityOf(2900, 724), LessThanAQuarter);
  EXPECT_EQ(ImplausibilityOf(2900, 0), LessThanAQuarter);
  EXPECT_EQ(ImplausibilityOf(0, 99999), None);
  EXPECT_EQ(ImplausibilityOf(0, -1), Negative);
  EXPECT_EQ(ImplausibilityOf(2900, -1), Negative);
  EXPECT_EQ(ImplausibilityOf(-5, 20), None);
  EXPECT_EQ(ImplausibilityOf(-5, 21), MoreThanFourTimes);

  const TRegisterTexts Present = {"02900", "00850", "00550", "00200", "00025", "00060",
                                  "00005", "00020", "00003", "00015", "00000"};
  TRegisterTexts Values = Present;
  Values[0] = "29000";
  Values[1] = "00900";
  Values[2] = "00055";
  Values[3] = "00000";
  Values[4] = "$0019";  // 25, as before
  Values[8] = "-0001";
  Values[10] = "09999";
  const std::vector<TValueChange> Changes = ChangesBetween(Present, Values);
  EXPECT_TRUE(AnyImplausible(Changes));
  EXPECT_THAT(
      ImplausibleChangesLines(Changes),
      ElementsAre("4 of 6 changes are implausible: negative, more than 4 times or less "
                  "than 1/4 of the controller's present value.",
                  "Ua max, V: 02900 -> 29000 (10 times the present value)",
                  "Ug max, V: 00550 -> 00055 (1/10 of the present value)",
                  "Ig max, mA: 00200 -> 00000 (zero)", "SWR HI: 00003 -> -0001 (negative)",
                  "Also changing:", "Ia max, mA: 00850 -> 00900", "Switch Delay: 00000 -> 09999"));
  Values[0] = "11600";
  EXPECT_EQ(ChangeLine(ChangesBetween(Present, Values).at(3)), "Ua max, V: 02900 -> 11600");
  EXPECT_FALSE(
      AnyImplausible(ChangesBetween(Present, {"11600", "00213", "00550", "00200", "00025", "00060",
                                              "00005", "00020", "00003", "00015", "00000"})));
}

TEST_F(TransferSequencerTest, ResetMarksNothingRunning) {
  Identify();
  Sequencer.ButtonWriteClick();
  Sequencer.Reset();
  Window.TakeSent();
  Ticks(3);
  EXPECT_THAT(Window.TakeSent(), IsEmpty());
  EXPECT_FALSE(Sequencer.Running());
}

}  // namespace
}  // namespace tolvane
