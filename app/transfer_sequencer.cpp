#include "app/transfer_sequencer.h"

#include <string>

#include "app/controller_protocol.h"
#include "app/field_check.h"
#include "app/register_table.h"

namespace tolvane {

namespace {

constexpr std::int32_t LastStep = static_cast<std::int32_t>(RegisterCount);

}  // namespace

void TTransferSequencer::StatusTimer() {
  if (Window_.PortConnected() && ReadSeq_) SequencePart(ReadSeq_, TDirection::Read);
  if (Window_.PortConnected() && WriteSeq_) SequencePart(WriteSeq_, TDirection::Write);
  if (Window_.PortConnected() && WaitID_) IdentificationPart();
}

void TTransferSequencer::ButtonReadClick() {
  StartSequence(ReadSeq_);
}

void TTransferSequencer::ButtonWriteClick() {
  if (!AllFieldsValid()) {
    Window_.ShowError(std::string(WrongDataMessage), std::string(WrongDataTitle));
    return;
  }
  SeqStep_ = 0;
  WriteSeq_ = true;
  Window_.StoreSet();
  Window_.SetProgressPosition(ProgressMin);
  Window_.ShowProgress(true);
}

void TTransferSequencer::ArmIdentification() {
  IdTicks_ = 0;
  WaitID_ = true;
}

void TTransferSequencer::ConfirmIdentification() {
  WaitID_ = false;
}

void TTransferSequencer::EndAll() {
  ReadSeq_ = false;
  WriteSeq_ = false;
  SeqStep_ = 0;
  WaitID_ = false;
  IdTicks_ = 0;
  Window_.ShowProgress(false);
}

void TTransferSequencer::Reset() {
  ReadSeq_ = false;
  WriteSeq_ = false;
}

void TTransferSequencer::StartSequence(bool& Running) {
  SeqStep_ = 0;
  Running = true;
  Window_.SetProgressPosition(ProgressMin);
  Window_.ShowProgress(true);
}

// Both sequences share SeqStep: when one runs while the other does, each advances it, so each
// sends every other register until one passes the last step and the other starts over.
void TTransferSequencer::SequencePart(bool& Running, TDirection Direction) {
  ++SeqStep_;
  Window_.SetProgressPosition(Window_.ProgressPosition() + ProgressStep);
  Window_.SetProgressLabel(std::to_string(SeqStep_ * ProgressPercentPerStep) +
                           std::string(PercentSign));
  if (SeqStep_ > LastStep) {
    SeqStep_ = 0;
    Window_.ShowProgress(false);
    Running = false;
  }
  if (SeqStep_ >= 1 && SeqStep_ <= LastStep) {
    const auto Row = static_cast<std::size_t>(SeqStep_ - 1);
    // The field text is taken now, not when Write was pressed.
    Window_.WritePacket(Direction == TDirection::Read
                            ? RegisterReadPacket(Row)
                            : RegisterWritePacket(Row, Window_.FieldText(Row)));
  }
  Window_.RepaintProgress();
}

void TTransferSequencer::IdentificationPart() {
  ++IdTicks_;
  if (IdTicks_ > IdentificationPolls) {
    // Everything is settled before the modal box, whose nested loop keeps the timer ticking.
    WaitID_ = false;
    IdTicks_ = 0;
    Window_.DisableTransferButtons();
    Window_.ClosePort();
    Window_.ShowError(std::string(NoConnectionMessage), std::string(NoConnectionTitle));
    return;
  }
  Window_.WritePacket(std::string(IdentifyPacket));
}

bool TTransferSequencer::AllFieldsValid() const {
  for (std::size_t Row = 0; Row < RegisterTable.size(); ++Row) {
    if (!IsValidFieldText(Window_.FieldText(Row))) return false;
  }
  return true;
}

}  // namespace tolvane
