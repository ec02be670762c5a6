// The operator's words for how a Read or Write ended: the one box that names what failed, and
// the short result line the window keeps showing. Fields are named by their labels; labels hold
// commas ("Ua max, V"), so lists of them are joined with "; ".
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "logic/transfer/register_transfer.h"
#include "logic/transfer/value_backups.h"

namespace tolvane {

// The progress panel's caption while each kind of transfer runs.
inline constexpr std::string_view ReadingNote = "Reading";
inline constexpr std::string_view WritingNote = "Writing";
inline constexpr std::string_view CheckingWrittenNote = "Checking what was written";
inline constexpr std::string_view ComparingNote = "Comparing";
inline constexpr std::string_view ReadingForBackupNote = "Reading for the backup";

// The box after a Read with silent registers; empty when every register answered.
std::string MissingRepliesText(const TRegisterTransfer& Transfer);
// The box after a Write whose read-back differs or is missing; empty when all eleven match.
std::string UnconfirmedWriteText(const TRegisterTransfer& Transfer);

// The box after a Compare that found differences; empty when the controller holds every value
// of the window.
std::string DifferencesText(const TRegisterTransfer& Transfer);
// The box when the read for a Write's backup did not hear every register: nothing was written.
// Empty when it heard them all.
std::string IncompleteBackupReadText(const TRegisterTransfer& Transfer);
// The box when a backup could not be saved; for BeforeWrite it says that nothing was written.
std::string BackupFailedText(TBackupEvent Event, const std::exception& Error);

// "Wrong Data", then the field's label and what is wrong with its text.
std::string WrongDataText(std::size_t Row, const std::string& Text);

// The tool tips of marked fields.
std::string MissingReplyMark(const TRegisterTransfer& Transfer, std::size_t Row);
// What a register that did not answer with a value sent instead: "the controller sent "12x45",
// which is not a value", or Silent when it sent nothing.
std::string NoValueText(const TRegisterTransfer& Transfer, std::size_t Row,
                        const std::string& Silent);
std::string UnconfirmedWriteMark(const TRegisterTransfer& Transfer, std::size_t Row);
std::string ComparedMark(const TRegisterTransfer& Transfer, std::size_t Row);

// "Read 11 of 11 at 14:02", "Written and verified 11 of 11 at 14:02", "Compared at 14:02: all 11
// match", ...
std::string ReadResultText(const TRegisterTransfer& Transfer, const std::string& Time);
std::string WriteResultText(const TRegisterTransfer& Transfer, const std::string& Time);
std::string CompareResultText(const TRegisterTransfer& Transfer, const std::string& Time);
// A transfer dropped while it waited for an identification that never came.
std::string NotStartedResultText(TRegisterTransferKind Kind);
// A Write that did not start because its backup is missing.
std::string BackupFailedResultText(const std::string& Time);
// A Write whose implausible changes the operator did not confirm.
std::string WriteCancelledResultText(const std::string& Time);
std::string BackupReadStoppedResultText(TTransferStop Stop, const std::string& Time);

}  // namespace tolvane
