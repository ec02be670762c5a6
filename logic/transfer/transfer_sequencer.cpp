#include "logic/transfer/transfer_sequencer.h"

#include <string>
#include <utility>

#include "logic/protocol/controller_protocol.h"
#include "logic/protocol/field_check.h"
#include "logic/protocol/register_table.h"

namespace tolvane {

void TTransferSequencer::StatusTimer() {
  if (Window_.PortConnected() && Transfer_) TransferPart();
  if (Window_.PortConnected() && WaitID_) IdentificationPart();
}

void TTransferSequencer::ButtonReadClick() {
  if (Transfer_ || !Window_.PortConnected()) return;
  Start(TRegisterTransfer::Read());
}

void TTransferSequencer::ButtonWriteClick() {
  if (Transfer_ || !Window_.PortConnected()) return;
  TRegisterTexts Values;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Values[Row] = Window_.FieldText(Row);
    if (!IsValidFieldText(Values[Row])) {
      Window_.ShowError(WrongDataText(Row, Values[Row]), std::string(WrongDataTitle));
      Window_.FocusField(Row);
      return;
    }
  }
  if (Backups_ == nullptr) {
    StartWrite(Values);
  } else if (KnownValues_) {
    if (BackUp(*KnownValues_, TBackupEvent::BeforeWrite)) StartWrite(Values);
  } else {
    // The replies of this read only go into the backup; the fields keep the values to write.
    PendingWrite_ = Values;
    Start(TRegisterTransfer::Compare(Values));
  }
}

void TTransferSequencer::ButtonCompareClick() {
  if (Transfer_ || !Window_.PortConnected()) return;
  TRegisterTexts Values;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) Values[Row] = Window_.FieldText(Row);
  Start(TRegisterTransfer::Compare(Values));
}

void TTransferSequencer::StartWrite(const TRegisterTexts& Values) {
  Start(TRegisterTransfer::Write(Values));
  Window_.StoreSet();
}

bool TTransferSequencer::BackUp(const TRegisterTexts& Values, TBackupEvent Event) {
  try {
    Backups_->Save(Values, Event);
    return true;
  } catch (const std::exception& Error) {
    if (Event == TBackupEvent::BeforeWrite) {
      Window_.ShowTransferResult(BackupFailedResultText(Window_.ClockTime()));
    }
    Window_.ShowError(BackupFailedText(Event, Error), std::string(TransferBoxTitle));
    return false;
  }
}

void TTransferSequencer::Start(TRegisterTransfer Transfer) {
  Transfer_ = std::move(Transfer);
  LateRepliesIgnored_ = {};
  Window_.ClearFieldMarks();
  Window_.SetTransferRunning(true);
  Window_.SetProgressPosition(ProgressMin);
  Window_.SetProgressLabel("0" + std::string(PercentSign));
  Window_.SetProgressNote(Identified_ ? RunningNote() : std::string(WaitingForIdentificationNote));
  Window_.ShowProgress(true);
}

void TTransferSequencer::TransferPart() {
  if (!Identified_) return;  // the panel says it waits
  std::optional<std::string> Packet = Transfer_->NextPacket();
  if (Packet) {
    Window_.WritePacket(*Packet);
    if (!Transfer_) return;  // the write met a lost line, which ended the transfer
    Transfer_->PacketWritten();
  }
  Window_.SetProgressNote(Packet || Transfer_->Done() ? RunningNote()
                                                      : std::string(WaitingForRepliesNote));
  ShowProgressOf(*Transfer_);
  if (Transfer_->Done()) Finish();
}

std::string TTransferSequencer::RunningNote() const {
  return PendingWrite_ ? std::string(ReadingForBackupNote) : std::string();
}

void TTransferSequencer::ShowProgressOf(const TRegisterTransfer& Transfer) {
  const int Planned = Transfer.PacketsPlanned();
  const int Sent = Transfer.PacketsSent();
  Window_.SetProgressPosition(ProgressMin + (ProgressMax - ProgressMin) * Sent / Planned);
  Window_.SetProgressLabel(std::to_string(100 * Sent / Planned) + std::string(PercentSign));
  Window_.RepaintProgress();
}

void TTransferSequencer::Finish() {
  const TRegisterTransfer Done = std::move(*Transfer_);
  Transfer_.reset();
  Window_.ShowProgress(false);
  Window_.SetTransferRunning(false);
  IgnoreLateRepliesOf(Done);
  LearnFrom(Done);
  if (PendingWrite_) {
    FinishReadForBackup(Done);
    return;
  }
  const TRegisterTransferKind Kind = Done.Kind();
  const bool IsRead = Kind == TRegisterTransferKind::Read;
  for (std::size_t Row : IsRead ? Done.SilentRows() : Done.UnconfirmedRows()) {
    Window_.MarkField(Row, IsRead ? MissingReplyMark()
                           : Kind == TRegisterTransferKind::Compare
                               ? ComparedMark(Done, Row)
                               : UnconfirmedWriteMark(Done, Row));
  }
  Window_.ShowTransferResult(FinishedResultText(Done, Window_.ClockTime()));
  const std::string Box = IsRead                                   ? MissingRepliesText(Done)
                          : Kind == TRegisterTransferKind::Compare ? DifferencesText(Done)
                                                                   : UnconfirmedWriteText(Done);
  if (!Box.empty()) {
    Window_.ShowError(Box, std::string(TransferBoxTitle));
  } else if (IsRead && Backups_ != nullptr) {
    BackUp(*Done.Replies(), TBackupEvent::AfterRead);
  }
  if (OnFinished) OnFinished(Done);
}

// The values seen whole are what the controller holds now; a Write that could not read every
// register back leaves them unknown.
void TTransferSequencer::LearnFrom(const TRegisterTransfer& Done) {
  std::optional<TRegisterTexts> Replies = Done.Replies();
  if (Replies || Done.Kind() == TRegisterTransferKind::Write) KnownValues_ = std::move(Replies);
}

void TTransferSequencer::FinishReadForBackup(const TRegisterTransfer& Done) {
  const TRegisterTexts Values = *std::exchange(PendingWrite_, std::nullopt);
  if (OnFinished) OnFinished(Done);
  const std::optional<TRegisterTexts> Present = Done.Replies();
  if (!Present) {
    for (std::size_t Row : Done.SilentRows()) Window_.MarkField(Row, MissingReplyMark());
    Window_.ShowTransferResult(BackupFailedResultText(Window_.ClockTime()));
    Window_.ShowError(IncompleteBackupReadText(Done), std::string(TransferBoxTitle));
    return;
  }
  if (BackUp(*Present, TBackupEvent::BeforeWrite)) StartWrite(Values);
}

void TTransferSequencer::IgnoreLateRepliesOf(const TRegisterTransfer& Transfer) {
  if (Transfer.ShowsReplies()) return;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    const TRegisterOutcome& Outcome = Transfer.Outcomes()[Row];
    LateRepliesIgnored_[Row] = Outcome.Requested && !Outcome.Reply;
  }
}

bool TTransferSequencer::ShowsReply(std::size_t Row) const {
  if (Transfer_) return Transfer_->ShowsReplies();
  return Row >= RegisterCount || !LateRepliesIgnored_[Row];
}

std::string TTransferSequencer::Stop(TTransferStop Why) {
  if (!Transfer_) return {};
  const TRegisterTransfer Stopped = std::move(*Transfer_);
  Transfer_.reset();
  const bool ReadForBackup = std::exchange(PendingWrite_, std::nullopt).has_value();
  IgnoreLateRepliesOf(Stopped);
  // A Write cut short leaves the controller holding what nobody has seen.
  if (Stopped.Kind() == TRegisterTransferKind::Write) KnownValues_.reset();
  Window_.ShowProgress(false);
  Window_.SetTransferRunning(false);
  Window_.ShowTransferResult(ReadForBackup ? BackupReadStoppedResultText(Why, Window_.ClockTime())
                                           : StoppedResultText(Stopped, Why, Window_.ClockTime()));
  return StoppedWriteText(Stopped, Why);
}

void TTransferSequencer::Drop() {
  if (!Transfer_) return;
  const TRegisterTransferKind Kind =
      PendingWrite_ ? TRegisterTransferKind::Write : Transfer_->Kind();
  Transfer_.reset();
  PendingWrite_.reset();
  Window_.ShowProgress(false);
  Window_.SetTransferRunning(false);
  Window_.ShowTransferResult(NotStartedResultText(Kind));
}

std::string TTransferSequencer::EndTransfer() {
  return Stop(TTransferStop::Disconnect);
}

std::string TTransferSequencer::EndAll() {
  const std::string Stopped = Stop(TTransferStop::LineLost);
  WaitID_ = false;
  IdTicks_ = 0;
  Identified_ = false;
  return Stopped;
}

void TTransferSequencer::PortClosed() {
  Stop(TTransferStop::Disconnect);
  Identified_ = false;
  KnownValues_.reset();
}

void TTransferSequencer::ArmIdentification() {
  KnownValues_.reset();  // another connection, perhaps another controller
  IdTicks_ = 0;
  WaitID_ = true;
  Identified_ = false;
}

void TTransferSequencer::ConfirmIdentification() {
  if (WaitID_) Identified_ = true;
  WaitID_ = false;
  if (Transfer_) Window_.SetProgressNote("");
}

void TTransferSequencer::RegisterValueReceived(std::size_t Row, const std::string& Value) {
  if (Transfer_) Transfer_->ReplyReceived(Row, Value);
}

void TTransferSequencer::Reset() {
  Transfer_.reset();
  PendingWrite_.reset();
  KnownValues_.reset();
}

void TTransferSequencer::IdentificationPart() {
  ++IdTicks_;
  if (IdTicks_ > IdentificationPolls) {
    // Everything is settled before the modal box, whose nested loop keeps the timer ticking.
    WaitID_ = false;
    IdTicks_ = 0;
    Drop();
    Window_.DisableTransferButtons();
    Window_.ClosePort();
    Window_.ShowError(std::string(NoConnectionMessage), std::string(NoConnectionTitle));
    return;
  }
  Window_.WritePacket(std::string(IdentifyPacket));
}

}  // namespace tolvane
