#include "logic/transfer/transfer_sequencer.h"

#include <algorithm>
#include <string>
#include <utility>

#include "logic/protocol/controller_protocol.h"
#include "logic/protocol/field_check.h"
#include "logic/protocol/register_table.h"
#include "logic/transfer/plausibility_guard.h"

namespace tolvane {

void TTransferSequencer::StatusTimer() {
  if (Host_.PortConnected() && Transfer_) TransferPart();
  if (Host_.PortConnected() && WaitID_) IdentificationPart();
}

void TTransferSequencer::ButtonReadClick() {
  if (Transfer_ || !Host_.PortConnected()) return;
  Start(TRegisterTransfer::Read());
}

void TTransferSequencer::ButtonWriteClick() {
  if (Transfer_ || !Host_.PortConnected()) return;
  TRegisterTexts Values;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Values[Row] = Host_.FieldText(Row);
    if (!IsValidFieldText(Values[Row])) {
      Host_.ShowError(WrongDataText(Row, Values[Row]), std::string(WrongDataTitle));
      Host_.FocusField(Row);
      return;
    }
  }
  if (KnownValues_) {
    WriteOver(*KnownValues_, Values);
  } else if (Backups_ == nullptr) {
    StartWrite(Values, {});  // nothing to set the values against, nowhere to back up
  } else {
    // The replies of this read only go into the backup; the fields keep the values to write.
    Start(TRegisterTransfer::ReadForBackup(Values));
  }
}

void TTransferSequencer::WriteOver(TRegisterTexts Present, const TRegisterTexts& Values) {
  if (!ConfirmedChanges(Present, Values)) return;
  if (Backups_ == nullptr) {
    StartWrite(Values, {});
  } else if (const auto File = BackUp(Present, TBackupEvent::BeforeWrite)) {
    StartWrite(Values, *File);
  }
}

bool TTransferSequencer::ConfirmedChanges(const TRegisterTexts& Present,
                                          const TRegisterTexts& Values) {
  const std::vector<TValueChange> Changes = ChangesBetween(Present, Values);
  if (!AnyImplausible(Changes)) return true;
  const bool Write = Host_.AskToWrite(Changes);
  // The question's nested loop keeps the timer and the port going: the values answered for only
  // while the connection that read them is still open and nothing else has started.
  if (Write && Host_.PortConnected() && !Transfer_ && KnownValues_ == Present) return true;
  Host_.ShowTransferResult(WriteCancelledResultText(Host_.ClockTime()));
  Host_.FocusField(Changes.front().Row);
  return false;
}

void TTransferSequencer::ButtonCompareClick() {
  if (Transfer_ || !Host_.PortConnected()) return;
  TRegisterTexts Values;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) Values[Row] = Host_.FieldText(Row);
  Start(TRegisterTransfer::Compare(Values));
}

void TTransferSequencer::StartWrite(const TRegisterTexts& Values, const std::string& BackupFile) {
  TRegisterTransfer Write = TRegisterTransfer::Write(Values);
  Write.SetBackupFile(BackupFile);
  Start(std::move(Write));
  Host_.StoreSet();
}

std::optional<std::string> TTransferSequencer::BackUp(const TRegisterTexts& Values,
                                                      TBackupEvent Event) {
  try {
    return Backups_->Save(Values, Event);
  } catch (const std::exception& Error) {
    if (Event == TBackupEvent::BeforeWrite) {
      Host_.ShowTransferResult(BackupFailedResultText(Host_.ClockTime()));
    }
    Host_.ShowError(BackupFailedText(Event, Error), std::string(TransferBoxTitle));
    return std::nullopt;
  }
}

void TTransferSequencer::Start(TRegisterTransfer Transfer) {
  Transfer_ = std::move(Transfer);
  LateRepliesIgnored_ = {};
  Host_.ClearFieldMarks();
  Host_.ShowTransferResult("");  // the last one's result no longer describes the fields
  Host_.SetTransferRunning(true);
  Host_.SetProgressPosition(ProgressMin);
  Host_.SetProgressLabel("0" + std::string(PercentSign));
  Host_.SetProgressNote(Identified_ ? RunningNote() : std::string(WaitingForIdentificationNote));
  Host_.ShowProgress(true);
}

void TTransferSequencer::TransferPart() {
  if (!Identified_) return;  // the panel says it waits
  std::optional<std::string> Packet = Transfer_->NextPacket();
  if (Packet) {
    Host_.WritePacket(*Packet);
    if (!Transfer_) return;  // the write met a lost line, which ended the transfer
    Transfer_->PacketWritten();
  }
  Host_.SetProgressNote(Packet || Transfer_->Done() ? RunningNote()
                                                    : std::string(WaitingForRepliesNote));
  ShowProgressOf(*Transfer_);
  if (Transfer_->Done()) Finish();
}

std::string TTransferSequencer::RunningNote() const {
  if (!Transfer_) return {};
  const TTransferKindRow& Kind = Transfer_->Row();
  const bool ReadingBack = Kind.SendsValues && Transfer_->RowsSent() == int(RegisterCount);
  return std::string(ReadingBack ? Kind.ReadBackNote : Kind.RunningNote);
}

void TTransferSequencer::ShowProgressOf(const TRegisterTransfer& Transfer) {
  // A retry lengthens the plan: the bar then holds its place rather than run backwards, and it
  // is full only once the transfer is done.
  const int Planned = Transfer.PacketsPlanned();
  const int Sent = Transfer.PacketsSent();
  const int Share = ProgressMin + (ProgressMax - ProgressMin) * Sent / Planned;
  const int Position = Transfer.Done()
                           ? ProgressMax
                           : std::max(Host_.ProgressPosition(), std::min(Share, ProgressMax - 1));
  Host_.SetProgressPosition(Position);
  Host_.SetProgressLabel(
      std::to_string(100 * (Position - ProgressMin) / (ProgressMax - ProgressMin)) +
      std::string(PercentSign));
  Host_.RepaintProgress();
}

void TTransferSequencer::Finish() {
  const TRegisterTransfer Done = std::move(*Transfer_);
  Transfer_.reset();
  Host_.ShowProgress(false);
  Host_.SetTransferRunning(false);
  IgnoreLateRepliesOf(Done);
  LearnFrom(Done);
  const TTransferKindRow& Kind = Done.Row();
  const std::vector<std::size_t> Marked = Kind.MarkedRows(Done);
  if (Marked.empty() && Kind.FollowUp == TTransferFollowUp::SaveAndWrite) {
    if (OnFinished) OnFinished(Done);
    WriteOver(*Done.Replies(), Done.Values());
    return;
  }
  for (std::size_t Row : Marked) Host_.MarkField(Row, Kind.Mark(Done, Row));
  Host_.ShowTransferResult(Kind.Result(Done, Host_.ClockTime()));
  const std::string Box = Kind.Box(Done);
  if (!Box.empty()) {
    Host_.ShowError(Box, std::string(TransferBoxTitle));
  } else if (Kind.FollowUp == TTransferFollowUp::SaveAfterRead && Backups_ != nullptr) {
    BackUp(*Done.Replies(), TBackupEvent::AfterRead);
  }
  if (OnFinished) OnFinished(Done);
}

// The values seen whole are what the controller holds now; a Write that could not read every
// register back leaves them unknown.
void TTransferSequencer::LearnFrom(const TRegisterTransfer& Done) {
  std::optional<TRegisterTexts> Replies = Done.Replies();
  if (Replies || Done.Row().ChangesController) KnownValues_ = std::move(Replies);
}

void TTransferSequencer::IgnoreLateRepliesOf(const TRegisterTransfer& Transfer) {
  if (Transfer.ShowsReplies()) return;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    const TRegisterOutcome& Outcome = Transfer.Outcomes()[Row];
    LateRepliesIgnored_[Row] = Outcome.Requested && !Outcome.Reply;
  }
}

bool TTransferSequencer::ShowsReply(std::size_t Row, const std::string& Value) const {
  if (Transfer_) return Transfer_->ShowsReplies() && IsValidFieldText(Value);
  return Row >= RegisterCount || !LateRepliesIgnored_[Row];
}

std::string TTransferSequencer::Stop(TTransferStop Why) {
  if (!Transfer_) return {};
  const TRegisterTransfer Stopped = std::move(*Transfer_);
  Transfer_.reset();
  const TTransferKindRow& Kind = Stopped.Row();
  IgnoreLateRepliesOf(Stopped);
  if (Kind.ChangesController) KnownValues_.reset();
  Host_.ShowProgress(false);
  Host_.SetTransferRunning(false);
  // Every field the transfer did not confirm says so, or the next Write would send it unnoticed.
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    if (const std::string Mark = Kind.StoppedMark(Stopped, Row, Why); !Mark.empty()) {
      Host_.MarkField(Row, Mark);
    }
  }
  Host_.ShowTransferResult(Kind.StoppedResult(Stopped, Why, Host_.ClockTime()));
  return Kind.StoppedBox(Stopped, Why);
}

void TTransferSequencer::Drop() {
  if (!Transfer_) return;
  const TRegisterTransferKind Kind = Transfer_->Kind();
  Transfer_.reset();
  Host_.ShowProgress(false);
  Host_.SetTransferRunning(false);
  Host_.ShowTransferResult(NotStartedResultText(Kind));
}

std::string TTransferSequencer::EndTransfer(TTransferStop Why) {
  return Stop(Why);
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
  if (Transfer_) Host_.SetProgressNote(RunningNote());
}

void TTransferSequencer::RegisterValueReceived(std::size_t Row, const std::string& Value) {
  if (Transfer_) Transfer_->ReplyReceived(Row, Value);
}

void TTransferSequencer::Reset() {
  Transfer_.reset();
  KnownValues_.reset();
}

void TTransferSequencer::IdentificationPart() {
  ++IdTicks_;
  if (IdTicks_ > IdentificationPolls) {
    // Everything is settled before the modal box, whose nested loop keeps the timer ticking.
    WaitID_ = false;
    IdTicks_ = 0;
    Drop();
    Host_.DisableTransferButtons();
    Host_.ClosePort();
    Host_.ShowError(std::string(NoConnectionMessage), std::string(NoConnectionTitle));
    return;
  }
  Host_.WritePacket(std::string(IdentifyPacket));
}

}  // namespace tolvane
