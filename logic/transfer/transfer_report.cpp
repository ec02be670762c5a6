#include "logic/transfer/transfer_report.h"

#include <cctype>
#include <optional>
#include <vector>

#include "logic/transfer/stopped_report.h"
#include "serialport/base/com_error.h"

namespace tolvane {
namespace {

const std::string Total = std::to_string(RegisterCount);

std::string Labels(const std::vector<std::size_t>& Rows) {
  std::string Text;
  for (std::size_t Row : Rows) {
    if (!Text.empty()) Text += "; ";
    Text += RegisterTable[Row].Label;
  }
  return Text;
}

// The file and the reason where the error gives them, else its message.
std::string ErrorDetail(const std::exception& Error) {
  const auto* Detailed = dynamic_cast<const Exception*>(&Error);
  return Detailed != nullptr && !Detailed->Detail().empty() ? Detailed->Detail() : Error.what();
}

}  // namespace

std::string WrongDataText(std::size_t Row, const std::string& Text) {
  return "Wrong Data\n" + std::string(RegisterTable.at(Row).Label) + ": \"" + Text +
         "\" is not a whole number written in exactly 5 characters.";
}

std::string NoValueText(const TRegisterTransfer& Transfer, std::size_t Row,
                        const std::string& Silent) {
  const std::optional<std::string>& Sent = Transfer.Outcomes().at(Row).NotAValue;
  return Sent ? "the controller sent \"" + *Sent + "\", which is not a value" : Silent;
}

std::string MissingReplyMark(const TRegisterTransfer& Transfer, std::size_t Row) {
  const std::optional<std::string>& Sent = Transfer.Outcomes().at(Row).NotAValue;
  return (Sent ? "The controller sent \"" + *Sent + "\", which is not a value"
               : std::string("No reply from the controller")) +
         "; the field keeps its previous text.";
}

std::string UnconfirmedWriteMark(const TRegisterTransfer& Transfer, std::size_t Row) {
  const auto& Reply = Transfer.Outcomes().at(Row).Reply;
  return "Sent " + Transfer.ValueSent(Row) + ", " +
         (Reply ? "the controller holds " + *Reply
                : NoValueText(Transfer, Row, "no reply when read back")) +
         ".";
}

std::string ComparedMark(const TRegisterTransfer& Transfer, std::size_t Row) {
  const auto& Reply = Transfer.Outcomes().at(Row).Reply;
  std::string Text = Reply ? "the controller holds " + *Reply
                           : NoValueText(Transfer, Row, "no reply from the controller");
  Text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(Text[0])));
  return Text + "; the window shows " + Transfer.ValueSent(Row) + ".";
}

std::string DifferencesText(const TRegisterTransfer& Transfer) {
  const std::vector<std::size_t> Rows = Transfer.UnconfirmedRows();
  if (Rows.empty()) return {};
  std::vector<std::size_t> Differ;
  std::vector<std::size_t> Silent;
  for (std::size_t Row : Rows) (Transfer.Outcomes()[Row].Reply ? Differ : Silent).push_back(Row);
  std::string Text;
  if (!Differ.empty()) {
    Text = "The controller differs from the window in " + std::to_string(Differ.size()) + " of " +
           Total + " fields (controller, window):";
    for (std::size_t Row : Differ) {
      Text += "\n" + std::string(RegisterTable[Row].Label) + ": " +
              *Transfer.Outcomes()[Row].Reply + ", " + Transfer.ValueSent(Row);
    }
    Text += "\n";
  }
  for (std::size_t Row : Silent) {
    Text += std::string(RegisterTable[Row].Label) + ": " +
            NoValueText(Transfer, Row, "did not answer, also when asked again") + "\n";
  }
  return Text + (Rows.size() == 1 ? "This field is marked" : "These fields are marked") +
         " until the next Read or Write. Nothing was changed.";
}

std::string IncompleteBackupReadText(const TRegisterTransfer& Transfer) {
  const std::vector<std::size_t> Silent = Transfer.SilentRows();
  if (Silent.empty()) return {};
  return "Nothing was written: the controller's present values could not be backed up, because "
         "it did not answer for " +
         std::to_string(Silent.size()) + " of " + Total +
         " registers, also when asked again: " + Labels(Silent) + ".";
}

std::string BackupFailedText(TBackupEvent Event, const std::exception& Error) {
  const std::string Detail = "\n" + ErrorDetail(Error);
  if (Event == TBackupEvent::BeforeWrite) {
    return "Nothing was written: the backup of the controller's present values could not be "
           "saved." +
           Detail;
  }
  return "The values read could not be saved as a backup." + Detail;
}

std::string BackupFailedResultText(const std::string& Time) {
  return "Write not started: no backup at " + Time;
}

std::string WriteCancelledResultText(const std::string& Time) {
  return "Write cancelled: nothing written at " + Time;
}

std::string BackupReadStoppedResultText(TTransferStop Stop, const std::string& Time) {
  return "Write stopped " + StopReason(Stop) + " before its backup: nothing written at " + Time;
}

std::string NotStartedResultText(TRegisterTransferKind Kind) {
  return std::string(KindRow(Kind).Name) + " not started: the controller did not identify";
}

std::string MissingRepliesText(const TRegisterTransfer& Transfer) {
  const std::vector<std::size_t> Missing = Transfer.SilentRows();
  if (Missing.empty()) return {};
  std::vector<std::size_t> Silent;
  std::string NotValues;
  for (std::size_t Row : Missing) {
    if (!Transfer.Outcomes()[Row].NotAValue) {
      Silent.push_back(Row);
      continue;
    }
    NotValues +=
        std::string(RegisterTable[Row].Label) + ": " + NoValueText(Transfer, Row, "") + ".\n";
  }
  std::string Text;
  if (!Silent.empty()) {
    Text = "The controller did not answer for " + std::to_string(Silent.size()) + " of " + Total +
           " registers, also when asked again: " + Labels(Silent) + ".\n";
  }
  return Text + NotValues +
         (Missing.size() == 1 ? "This field is marked and keeps its previous text."
                              : "These fields are marked and keep their previous text.");
}

std::string UnconfirmedWriteText(const TRegisterTransfer& Transfer) {
  const std::vector<std::size_t> Rows = Transfer.UnconfirmedRows();
  if (Rows.empty()) return {};
  std::string Text = "The controller did not confirm " + std::to_string(Rows.size()) + " of " +
                     Total + " values written:";
  for (std::size_t Row : Rows) {
    const auto& Reply = Transfer.Outcomes()[Row].Reply;
    Text += "\n" + std::string(RegisterTable[Row].Label) + ": sent " + Transfer.ValueSent(Row) +
            ", " +
            (Reply ? "controller holds " + *Reply
                   : NoValueText(Transfer, Row, "no reply when read back"));
  }
  return Text +
         (Rows.size() == 1 ? "\nThis field is marked and shows what the controller holds."
                           : "\nThese fields are marked and show what the controller holds.") +
         " Settings.ini holds the values sent.";
}

std::string ReadResultText(const TRegisterTransfer& Transfer, const std::string& Time) {
  return "Read " + std::to_string(Transfer.RowsAnswered()) + " of " + Total + " at " + Time;
}

// A register that did not answer is no difference: it is counted apart.
std::string CompareResultText(const TRegisterTransfer& Transfer, const std::string& Time) {
  const std::size_t Silent = Transfer.SilentRows().size();
  const std::size_t Differ = Transfer.UnconfirmedRows().size() - Silent;
  std::string Text = "Compared at " + Time + ": ";
  if (Differ == 0 && Silent == 0) return Text + "all " + Total + " match";
  if (Differ != 0) Text += std::to_string(Differ) + " of " + Total + " differ";
  if (Differ != 0 && Silent != 0) Text += ", ";
  if (Silent != 0) Text += std::to_string(Silent) + " did not answer";
  return Text;
}

std::string WriteResultText(const TRegisterTransfer& Transfer, const std::string& Time) {
  const int Confirmed = static_cast<int>(RegisterCount - Transfer.UnconfirmedRows().size());
  if (Confirmed == static_cast<int>(RegisterCount)) {
    return "Written and verified " + Total + " of " + Total + " at " + Time;
  }
  return "Written " + std::to_string(Transfer.RowsSent()) + ", verified only " +
         std::to_string(Confirmed) + " of " + Total + " at " + Time;
}

}  // namespace tolvane
