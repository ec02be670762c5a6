#include "app/transfer_sequencer.h"

#include <string>

#include "app/controller_protocol.h"
#include "app/field_check.h"
#include "app/register_table.h"

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
  Start(TRegisterTransfer::Write(Values));
  Window_.StoreSet();
}

void TTransferSequencer::Start(TRegisterTransfer Transfer) {
  Transfer_ = std::move(Transfer);
  Window_.ClearFieldMarks();
  Window_.SetTransferRunning(true);
  Window_.SetProgressPosition(ProgressMin);
  Window_.SetProgressLabel("0" + std::string(PercentSign));
  Window_.SetProgressNote(Identified_ ? "" : std::string(WaitingForIdentificationNote));
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
  Window_.SetProgressNote(Packet || Transfer_->Done() ? "" : std::string(WaitingForRepliesNote));
  ShowProgressOf(*Transfer_);
  if (Transfer_->Done()) Finish();
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
  const bool IsRead = Done.Kind() == TRegisterTransferKind::Read;
  for (std::size_t Row : IsRead ? Done.SilentRows() : Done.UnconfirmedRows()) {
    Window_.MarkField(Row, IsRead ? MissingReplyMark() : UnconfirmedWriteMark(Done, Row));
  }
  Window_.ShowTransferResult(FinishedResultText(Done, Window_.ClockTime()));
  const std::string Box = IsRead ? MissingRepliesText(Done) : UnconfirmedWriteText(Done);
  if (!Box.empty()) Window_.ShowError(Box, std::string(TransferBoxTitle));
}

std::string TTransferSequencer::Stop(TTransferStop Why) {
  if (!Transfer_) return {};
  const TRegisterTransfer Stopped = std::move(*Transfer_);
  Transfer_.reset();
  Window_.ShowProgress(false);
  Window_.SetTransferRunning(false);
  Window_.ShowTransferResult(StoppedResultText(Stopped, Why, Window_.ClockTime()));
  return StoppedWriteText(Stopped, Why);
}

void TTransferSequencer::Drop() {
  if (!Transfer_) return;
  const TRegisterTransferKind Kind = Transfer_->Kind();
  Transfer_.reset();
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
}

void TTransferSequencer::ArmIdentification() {
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
