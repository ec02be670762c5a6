#include "logic/transfer/register_transfer.h"

#include <algorithm>

#include "logic/protocol/controller_protocol.h"
#include "logic/protocol/field_check.h"

namespace tolvane {
namespace {

std::vector<std::size_t> AllRows() {
  std::vector<std::size_t> Rows(RegisterCount);
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) Rows[Row] = Row;
  return Rows;
}

}  // namespace

TRegisterTransfer::TRegisterTransfer(TRegisterTransferKind Kind, const TRegisterTexts& Values)
    : Kind_(Kind), Values_(Values) {
  if (Row().SendsValues) {
    for (std::size_t Row : AllRows()) Plan_.push_back({TStepKind::Send, Row});
  }
  PlanRequests(AllRows());
}

TRegisterTransfer TRegisterTransfer::Read() {
  return TRegisterTransfer(TRegisterTransferKind::Read, {});
}

TRegisterTransfer TRegisterTransfer::Write(const TRegisterTexts& Values) {
  return TRegisterTransfer(TRegisterTransferKind::Write, Values);
}

TRegisterTransfer TRegisterTransfer::Compare(const TRegisterTexts& Values) {
  return TRegisterTransfer(TRegisterTransferKind::Compare, Values);
}

TRegisterTransfer TRegisterTransfer::ReadForBackup(const TRegisterTexts& Values) {
  return TRegisterTransfer(TRegisterTransferKind::ReadForBackup, Values);
}

void TRegisterTransfer::PlanRequests(const std::vector<std::size_t>& Rows) {
  for (std::size_t Row : Rows) Plan_.push_back({TStepKind::Request, Row});
  for (int Tick = 0; Tick < ReplyGraceTicks; ++Tick) Plan_.push_back({TStepKind::Grace, 0});
}

// A grace waits only for requests still unanswered.
void TRegisterTransfer::SkipGraceWhenAllAnswered() {
  while (Next_ < Plan_.size() && Plan_[Next_].Kind == TStepKind::Grace && SilentRows().empty()) {
    ++Next_;
  }
}

std::optional<std::string> TRegisterTransfer::NextPacket() {
  Pending_.reset();
  SkipGraceWhenAllAnswered();
  if (Next_ == Plan_.size() && !Retried_) {
    Retried_ = true;
    PlanRequests(SilentRows());
    SkipGraceWhenAllAnswered();
  }
  if (Next_ >= Plan_.size()) return std::nullopt;
  const TStep Step = Plan_[Next_++];
  switch (Step.Kind) {
    case TStepKind::Send:
      Pending_ = Step;
      return RegisterWritePacket(Step.Row, Values_[Step.Row]);
    case TStepKind::Request:
      Outcomes_[Step.Row].Requested = true;
      Pending_ = Step;
      return RegisterReadPacket(Step.Row);
    case TStepKind::Grace:
      break;
  }
  return std::nullopt;
}

void TRegisterTransfer::PacketWritten() {
  if (!Pending_) return;
  ++PacketsSent_;
  if (Pending_->Kind == TStepKind::Send) Outcomes_[Pending_->Row].Sent = true;
  Pending_.reset();
}

bool TRegisterTransfer::Done() const {
  return Next_ >= Plan_.size() && (Retried_ || SilentRows().empty());
}

void TRegisterTransfer::ReplyReceived(std::size_t Row, const std::string& Value) {
  if (Row >= RegisterCount || !Outcomes_[Row].Requested) return;
  TRegisterOutcome& Outcome = Outcomes_[Row];
  if (!IsValidFieldText(Value)) {
    Outcome.NotAValue = Value;
    return;
  }
  Outcome.Reply = Value;
  Outcome.NotAValue.reset();
}

int TRegisterTransfer::PacketsPlanned() const {
  return static_cast<int>(std::count_if(
      Plan_.begin(), Plan_.end(), [](const TStep& Step) { return Step.Kind != TStepKind::Grace; }));
}

std::vector<std::size_t> TRegisterTransfer::SilentRows() const {
  std::vector<std::size_t> Rows;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    if (Outcomes_[Row].Requested && !Outcomes_[Row].Reply) Rows.push_back(Row);
  }
  return Rows;
}

std::vector<std::size_t> TRegisterTransfer::UnconfirmedRows() const {
  std::vector<std::size_t> Rows;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    if (Outcomes_[Row].Reply != Values_[Row]) Rows.push_back(Row);
  }
  return Rows;
}

int TRegisterTransfer::RowsSent() const {
  return static_cast<int>(std::count_if(Outcomes_.begin(), Outcomes_.end(),
                                        [](const TRegisterOutcome& O) { return O.Sent; }));
}

int TRegisterTransfer::RowsAnswered() const {
  return static_cast<int>(
      std::count_if(Outcomes_.begin(), Outcomes_.end(),
                    [](const TRegisterOutcome& O) { return O.Reply.has_value(); }));
}

std::optional<TRegisterTexts> TRegisterTransfer::Replies() const {
  TRegisterTexts Texts;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    if (!Outcomes_[Row].Reply) return std::nullopt;
    Texts[Row] = *Outcomes_[Row].Reply;
  }
  return Texts;
}

}  // namespace tolvane
