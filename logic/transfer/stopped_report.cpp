#include "logic/transfer/stopped_report.h"

#include <optional>
#include <vector>

#include "logic/transfer/transfer_report.h"

namespace tolvane {
namespace {

const std::string Total = std::to_string(RegisterCount);

// Why the field was not confirmed, after "Not read: " and the like.
std::string Cause(TTransferStop Stop) {
  switch (Stop) {
    case TTransferStop::Disconnect:
      return "the transfer was stopped by Disconnect";
    case TTransferStop::LineLost:
      return "the connection was lost";
    case TTransferStop::Quit:
      return "the transfer was stopped on quitting";
  }
  return {};
}

bool Verified(const TRegisterTransfer& Transfer, std::size_t Row) {
  return Transfer.Outcomes()[Row].Reply == Transfer.ValueSent(Row);
}

// The read-back's finding for a register written but not verified, when it found anything.
std::string ReadBackFinding(const TRegisterTransfer& Transfer, std::size_t Row) {
  const std::optional<std::string>& Reply = Transfer.Outcomes()[Row].Reply;
  if (Reply) return " (the controller holds " + *Reply + ")";
  const std::string Sent = NoValueText(Transfer, Row, "");
  return Sent.empty() ? std::string() : " (" + Sent + ")";
}

std::string Group(const char* Heading, const std::vector<std::string>& Names) {
  if (Names.empty()) return {};
  std::string Text = std::string("\n") + Heading + ": ";
  for (std::size_t Index = 0; Index < Names.size(); ++Index) {
    if (Index != 0) Text += "; ";
    Text += Names[Index];
  }
  return Text + ".";
}

int VerifiedCount(const TRegisterTransfer& Transfer) {
  int Count = 0;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) Count += Verified(Transfer, Row) ? 1 : 0;
  return Count;
}

std::string CountOrNone(int Count) {
  return Count == 0 ? std::string("none") : std::to_string(Count);
}

}  // namespace

std::string StopReason(TTransferStop Stop) {
  switch (Stop) {
    case TTransferStop::Disconnect:
      return "by Disconnect";
    case TTransferStop::LineLost:
      return "because the line was lost";
    case TTransferStop::Quit:
      return "on quitting";
  }
  return {};
}

std::string QuitQuestionText(const TRegisterTransfer& Transfer) {
  const std::string Start = "A " + std::string(Transfer.Row().Name) + " is running: ";
  const std::string End = ". Stop it and quit?";
  switch (Transfer.Kind()) {
    case TRegisterTransferKind::Read:
      return Start + std::to_string(Transfer.RowsAnswered()) + " of " + Total + " registers read" +
             End;
    case TRegisterTransferKind::Compare:
      return Start + std::to_string(Transfer.RowsAnswered()) + " of " + Total +
             " registers compared" + End;
    case TRegisterTransferKind::ReadForBackup:
      return Start + "its backup of the present values is being read, nothing is written yet" + End;
    case TRegisterTransferKind::Write:
      break;
  }
  const int Sent = Transfer.RowsSent();
  return Start + std::to_string(Sent) + " of " + Total + " registers written" +
         (Sent == static_cast<int>(RegisterCount)
              ? ", " + CountOrNone(VerifiedCount(Transfer)) + " verified"
              : std::string()) +
         End;
}

std::string StoppedReadMark(const TRegisterTransfer& Transfer, std::size_t Row,
                            TTransferStop Stop) {
  const TRegisterOutcome& Outcome = Transfer.Outcomes().at(Row);
  if (Outcome.Reply) return {};
  if (Outcome.NotAValue) return MissingReplyMark(Transfer, Row);
  return "Not read: " + Cause(Stop) + "; the field keeps its previous text.";
}

std::string StoppedWriteMark(const TRegisterTransfer& Transfer, std::size_t Row,
                             TTransferStop Stop) {
  const TRegisterOutcome& Outcome = Transfer.Outcomes().at(Row);
  if (!Outcome.Sent) return "Not written: " + Cause(Stop) + ".";
  if (Verified(Transfer, Row)) return {};
  if (Outcome.Reply || Outcome.NotAValue) return UnconfirmedWriteMark(Transfer, Row);
  return "Written, not verified: " + Cause(Stop) + " before it was read back.";
}

std::string StoppedCompareMark(const TRegisterTransfer& Transfer, std::size_t Row,
                               TTransferStop Stop) {
  const TRegisterOutcome& Outcome = Transfer.Outcomes().at(Row);
  if (Outcome.Reply == Transfer.ValueSent(Row)) return {};
  if (Outcome.Reply || Outcome.NotAValue) return ComparedMark(Transfer, Row);
  return "Not compared: " + Cause(Stop) + ".";
}

std::string StoppedBackupReadMark(const TRegisterTransfer&, std::size_t, TTransferStop Stop) {
  return "Not written: " + Cause(Stop) + " before the backup of the present values.";
}

std::string StoppedWriteText(const TRegisterTransfer& Transfer, TTransferStop Stop) {
  std::vector<std::string> Confirmed;
  std::vector<std::string> Unverified;
  std::vector<std::string> NotSent;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    const std::string Label(RegisterTable[Row].Label);
    if (!Transfer.Outcomes()[Row].Sent) {
      NotSent.push_back(Label);
    } else if (Verified(Transfer, Row)) {
      Confirmed.push_back(Label);
    } else {
      Unverified.push_back(Label + ReadBackFinding(Transfer, Row));
    }
  }
  std::string Text = "Write stopped " + StopReason(Stop) + " after " +
                     std::to_string(Transfer.RowsSent()) + " of " + Total + " registers; " +
                     CountOrNone(VerifiedCount(Transfer)) + " verified.";
  Text += Group("Written and verified", Confirmed);
  Text += Group("Written, not verified", Unverified);
  Text += Group("Not written", NotSent);
  if (!Transfer.BackupFile().empty()) {
    Text += "\nThe controller's values from before this Write are kept in " +
            Transfer.BackupFile() +
            ".\nTo go back to them: File, Open Values... with that file, then Write (or "
            "tolvane-cli write with that file).";
  }
  return Text;
}

std::string StoppedResultText(const TRegisterTransfer& Transfer, TTransferStop Stop,
                              const std::string& Time) {
  const std::string Start =
      std::string(Transfer.Row().Name) + " stopped " + StopReason(Stop) + ": ";
  if (!Transfer.Row().SendsValues) {
    return Start + std::to_string(Transfer.RowsAnswered()) + " of " + Total + " read at " + Time;
  }
  return Start + std::to_string(Transfer.RowsSent()) + " of " + Total + " written, " +
         CountOrNone(VerifiedCount(Transfer)) + " verified at " + Time;
}

}  // namespace tolvane
