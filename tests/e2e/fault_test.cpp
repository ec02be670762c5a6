// The utility against a controller whose replies come late, in pieces, after noise, after a
// line end, or not at all.
#include <QPlainTextEdit>
#include <QToolButton>
#include <regex>

#include "logic/protocol/register_table.h"
#include "tests/e2e/utility_session.h"

namespace tolvane {
namespace {

class Faults : public UtilitySession {
 protected:
  void ReadFromSimulatorWith(const std::vector<std::string>& Options) {
    StartSimulator(Options, StoredRegisters());
    PointSettingsAtSimulator();
    OpenWindow();
    Defaults = FieldTexts();
    ConnectAndIdentify();
    Read();
  }

  std::string ReceiveLog() const {
    return Find<QPlainTextEdit>("Memo")->toPlainText().toStdString();
  }

  std::vector<std::string> Defaults;
};

TEST_F(Faults, RepliesSplitOverSeveralWritesStillFillTheFields) {
  ReadFromSimulatorWith({"--split", "3"});
  EXPECT_TRUE(FieldsBecome(TextsOf(StoredRegisters())));
  EXPECT_FALSE(Form->Sequencer().WaitID());
  EXPECT_GE(LogCount("queued in 4 write(s)"), 11);  // "STaaaavvvvv;" is 12 bytes
}

TEST_F(Faults, DelayedRepliesArriveWithinTheGraceAndStillCount) {
  ReadFromSimulatorWith({"--delay", "250"});
  EXPECT_TRUE(FieldsBecome(TextsOf(StoredRegisters())));
  EXPECT_FALSE(Form->Sequencer().WaitID());
}

TEST_F(Faults, NoiseBeforeEachReplyIsAPacketOfItsOwn) {
  ReadFromSimulatorWith({"--garbage", "6"});
  EXPECT_TRUE(FieldsBecome(TextsOf(StoredRegisters())));
  EXPECT_FALSE(Form->Sequencer().WaitID());
  EXPECT_NE(ReceiveLog().find("ST003200070"), std::string::npos);
}

// A line end before the command letters hides the command: neither the identification nor a
// register value is recognised, but each packet is logged. A Read pressed then waits for an
// identification that never comes, and no register packet reaches the line.
TEST_F(Faults, ALineEndBeforeEachReplyHidesTheIdentificationSoNoRegisterIsAsked) {
  StartSimulator({"--crlf"}, StoredRegisters());
  PointSettingsAtSimulator();
  OpenWindow();
  ClickConnect();
  Find<QToolButton>("Button6")->click();
  ASSERT_TRUE(ProcessEventsUntil([this] { return LogCount("identification poll 5 ") == 1; }));
  EXPECT_NE(ReceiveLog().find("ID200"), std::string::npos);
  EXPECT_EQ(LogCount("packet \"ST"), 0) << SimulatorLog();
  EXPECT_TRUE(Form->Sequencer().WaitID());
  EXPECT_TRUE(SequenceRunning()) << "the Read waits for the identification";
  EXPECT_TRUE(Find<QWidget>("PaneProgress")->isVisible());
  const int Polls = Form->Sequencer().IdTicks();
  ProcessEventsFor(300ms);
  EXPECT_GT(Form->Sequencer().IdTicks(), Polls) << "the polling stopped";
}

// Every fourth reply is lost: each register still silent after the Read is asked once more,
// and those that stay silent are named in one box and marked.
TEST_F(Faults, LostRepliesAreAskedOnceMoreAndTheStillMissingAreNamed) {
  ReadFromSimulatorWith({"--drop-every", "4"});
  const std::string Log = SimulatorLog();
  std::vector<std::string> Expected;
  std::vector<std::string> Missing;
  for (const TRegisterRow& Row : RegisterTable) {
    const std::string Address(Row.Address);
    const bool Answered = CountOf(Log, "tx \"ST" + Address) > 0;
    if (!Answered) Missing.emplace_back(Row.Label);
    Expected.push_back(Answered ? StoredRegisters().at(Address) : std::string(Row.Default));
    const bool Marked = Field(&Row - RegisterTable.data())->property(FieldMarkProperty).toBool();
    EXPECT_EQ(Marked, !Answered) << Address;
  }
  EXPECT_GE(CountOf(Log, "dropped"), 2);
  EXPECT_GE(CountOf(Log, " read\n"), 12) << "some register was asked again";
  EXPECT_EQ(FieldTexts(), Expected);
  EXPECT_FALSE(Find<QWidget>("PaneProgress")->isVisible());
  EXPECT_TRUE(Find<QToolButton>("Button6")->isEnabled());
  if (Missing.empty()) {
    EXPECT_TRUE(Messages.Boxes.empty());
  } else {
    ASSERT_EQ(Messages.Boxes.size(), 1u) << SimulatorLog();
    for (const std::string& Label : Missing) {
      EXPECT_TRUE(Messages.Boxes[0].Text.contains(QString::fromStdString(Label))) << Label;
    }
  }
}

// A register that never answers is named after Read, and no Write goes ahead while its value
// cannot be backed up: the Write reads for its backup and stops there, with one box.
TEST_F(Faults, ASilentRegisterIsNamedAndNoWriteGoesAheadWithoutItsBackup) {
  StartSimulator({"--silent-registers", "0016"}, StoredRegisters());
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  Read();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.contains("Ug max, V."))
      << Messages.Boxes[0].Text.toStdString();
  EXPECT_TRUE(Field(2)->property(FieldMarkProperty).toBool());
  EXPECT_EQ(Form->TransferResult().left(13), "Read 10 of 11");
  // The result stays in its own place of the status line, beside the port and the state.
  EXPECT_EQ(Form->StatusLine->TransferText(), Form->TransferResult());
  EXPECT_EQ(Form->StatusLine->StateText(), "Identified");

  Field(6)->setText("00009");
  Write();
  ASSERT_EQ(Messages.Boxes.size(), 2u);
  const std::string Box = Messages.Boxes[1].Text.toStdString();
  EXPECT_NE(Box.find("Nothing was written"), std::string::npos) << Box;
  EXPECT_NE(Box.find("Ug max, V."), std::string::npos) << Box;
  EXPECT_EQ(LogCount(" set to "), 0) << SimulatorLog();
  EXPECT_EQ(Field(6)->text(), "00009") << "the backup's read leaves the fields alone";
}

// A register that answers a write but keeps its old value is found only by the Write's
// read-back, and named with both values.
TEST_F(Faults, AnUnstoredWriteIsNamedInOneBox) {
  StartSimulator({"--unstored-registers", "0024"}, StoredRegisters());
  PointSettingsAtSimulator();
  OpenWindow();
  ConnectAndIdentify();
  Read();
  Field(6)->setText("00009");
  Write();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  const std::string Box = Messages.Boxes[0].Text.toStdString();
  EXPECT_NE(Box.find("Time Light: sent 00009, controller holds " + StoredRegisters().at("0024")),
            std::string::npos)
      << Box;
  EXPECT_EQ(Box.find("Ug max"), std::string::npos) << Box;
  EXPECT_TRUE(Field(6)->property(FieldMarkProperty).toBool());
  EXPECT_FALSE(Field(0)->property(FieldMarkProperty).toBool());
}

}  // namespace
}  // namespace tolvane
