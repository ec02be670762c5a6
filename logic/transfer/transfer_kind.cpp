#include "logic/transfer/transfer_kind.h"

#include <array>

#include "logic/transfer/register_transfer.h"
#include "logic/transfer/stopped_report.h"
#include "logic/transfer/transfer_report.h"

namespace tolvane {
namespace {

std::vector<std::size_t> Silent(const TRegisterTransfer& Transfer) {
  return Transfer.SilentRows();
}
std::vector<std::size_t> Unconfirmed(const TRegisterTransfer& Transfer) {
  return Transfer.UnconfirmedRows();
}
std::string NothingToSay(const TRegisterTransfer&, TTransferStop) {
  return {};
}
std::string BackupReadStopped(const TRegisterTransfer&, TTransferStop Stop,
                              const std::string& Time) {
  return BackupReadStoppedResultText(Stop, Time);
}
std::string NoBackup(const TRegisterTransfer&, const std::string& Time) {
  return BackupFailedResultText(Time);
}

// In the order of TRegisterTransferKind.
const std::array<TTransferKindRow, 4> KindTable{{
    {TRegisterTransferKind::Read, "Read", ReadingNote, ReadingNote, false, true, false,
     TTransferFollowUp::SaveAfterRead, Silent, MissingReplyMark, MissingRepliesText, ReadResultText,
     StoppedResultText, NothingToSay, StoppedReadMark},
    {TRegisterTransferKind::Write, "Write", WritingNote, CheckingWrittenNote, true, true, true,
     TTransferFollowUp::None, Unconfirmed, UnconfirmedWriteMark, UnconfirmedWriteText,
     WriteResultText, StoppedResultText, StoppedWriteText, StoppedWriteMark},
    {TRegisterTransferKind::Compare, "Compare", ComparingNote, ComparingNote, false, false, false,
     TTransferFollowUp::None, Unconfirmed, ComparedMark, DifferencesText, CompareResultText,
     StoppedResultText, NothingToSay, StoppedCompareMark},
    {TRegisterTransferKind::ReadForBackup, "Write", ReadingForBackupNote, ReadingForBackupNote,
     false, false, false, TTransferFollowUp::SaveAndWrite, Silent, MissingReplyMark,
     IncompleteBackupReadText, NoBackup, BackupReadStopped, NothingToSay, StoppedBackupReadMark},
}};

}  // namespace

const TTransferKindRow& KindRow(TRegisterTransferKind Kind) {
  return KindTable.at(static_cast<std::size_t>(Kind));
}

}  // namespace tolvane
