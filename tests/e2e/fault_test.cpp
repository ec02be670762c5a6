// The utility against a controller whose replies come late, in pieces, after noise, after a
// line end, or not at all.
#include <QPlainTextEdit>
#include <QToolButton>
#include <regex>

#include "app/register_table.h"
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
    ClickConnect();
    ASSERT_TRUE(Form->ComPort().Connected());
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

TEST_F(Faults, DelayedRepliesArriveAfterTheSequenceAndStillCount) {
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
// register value is recognised, but each packet is logged.
TEST_F(Faults, ALineEndBeforeEachReplyLeavesThemUnrecognisedButLogged) {
  ReadFromSimulatorWith({"--crlf"});
  ASSERT_TRUE(ProcessEventsUntil([this] {
    return ReceiveLog().find("ST003200070") != std::string::npos;
  })) << ReceiveLog();
  EXPECT_EQ(FieldTexts(), Defaults);
  for (const TRegisterRow& Row : RegisterTable) {
    const std::string Reply =
        "ST" + std::string(Row.Address) + StoredRegisters().at(std::string(Row.Address));
    EXPECT_NE(ReceiveLog().find(Reply), std::string::npos) << Reply;
  }
  EXPECT_NE(ReceiveLog().find("ID200"), std::string::npos);
  EXPECT_TRUE(Form->Sequencer().WaitID());
  const int Polls = Form->Sequencer().IdTicks();
  ProcessEventsFor(300ms);
  EXPECT_GT(Form->Sequencer().IdTicks(), Polls) << "the polling stopped";
}

TEST_F(Faults, ALostReplyLeavesItsFieldAsItWas) {
  ReadFromSimulatorWith({"--drop-every", "4"});
  // Which replies were lost depends on how many polls went out before the identification;
  // the simulator's log names them.
  ASSERT_TRUE(ProcessEventsUntil([this] { return LogCount("reply \"ST0032") == 1; }));
  const std::string Log = SimulatorLog();
  std::vector<std::string> Expected;
  int Lost = 0;
  for (const TRegisterRow& Row : RegisterTable) {
    const std::string Address(Row.Address);
    const std::string Reply = "ST" + Address + StoredRegisters().at(Address) + ";";
    const bool Dropped = Log.find("reply \"" + Reply + "\" dropped") != std::string::npos;
    Lost += Dropped ? 1 : 0;
    Expected.push_back(Dropped ? std::string(Row.Default) : StoredRegisters().at(Address));
  }
  EXPECT_GE(Lost, 2);
  EXPECT_TRUE(FieldsBecome(Expected));
  EXPECT_EQ(FieldTexts(), Expected);
  // Nothing waits for the lost replies: the sequence has ended and the window goes on.
  EXPECT_FALSE(SequenceRunning());
  EXPECT_FALSE(Find<QWidget>("PaneProgress")->isVisible());
  EXPECT_TRUE(Find<QToolButton>("Button6")->isEnabled());
  EXPECT_TRUE(Messages.Boxes.empty());
}

}  // namespace
}  // namespace tolvane
