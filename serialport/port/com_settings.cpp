#include "serialport/port/com_settings.h"

#include "serialport/port/com_port.h"

namespace tolvane {
namespace {

// Stores Value in Field when it differs; tells whether it did.
template <typename T>
bool Store(T& Field, T Value) {
  if (Field == Value) return false;
  Field = Value;
  return true;
}

}  // namespace

// --- TComParity ---

void TComParity::Assign(const TPersistent& Source) {
  const auto* Other = dynamic_cast<const TComParity*>(&Source);
  if (Other == nullptr) AssignError(Source);
  Bits_ = Other->Bits_;
  Check_ = Other->Check_;
  Replace_ = Other->Replace_;
  ReplaceChar_ = Other->ReplaceChar_;
}

void TComParity::Changed() {
  if (ComPort_ != nullptr) ComPort_->ApplyLineSettings();
}

void TComParity::SetBits(TParityBits Value) {
  if (Store(Bits_, Value)) Changed();
}
void TComParity::SetCheck(bool Value) {
  if (Store(Check_, Value)) Changed();
}
void TComParity::SetReplace(bool Value) {
  if (Store(Replace_, Value)) Changed();
}
void TComParity::SetReplaceChar(char Value) {
  if (Store(ReplaceChar_, Value)) Changed();
}

// --- TComFlowControl ---

void TComFlowControl::Assign(const TPersistent& Source) {
  const auto* Other = dynamic_cast<const TComFlowControl*>(&Source);
  if (Other == nullptr) AssignError(Source);
  OutCTSFlow_ = Other->OutCTSFlow_;
  OutDSRFlow_ = Other->OutDSRFlow_;
  ControlDTR_ = Other->ControlDTR_;
  ControlRTS_ = Other->ControlRTS_;
  XonXoffOut_ = Other->XonXoffOut_;
  XonXoffIn_ = Other->XonXoffIn_;
  DSRSensitivity_ = Other->DSRSensitivity_;
  TxContinueOnXoff_ = Other->TxContinueOnXoff_;
  XonChar_ = Other->XonChar_;
  XoffChar_ = Other->XoffChar_;
}

void TComFlowControl::Changed() {
  if (ComPort_ != nullptr) ComPort_->ApplyLineSettings();
}

void TComFlowControl::SetOutCTSFlow(bool Value) {
  if (Store(OutCTSFlow_, Value)) Changed();
}
void TComFlowControl::SetOutDSRFlow(bool Value) {
  if (Store(OutDSRFlow_, Value)) Changed();
}
void TComFlowControl::SetControlDTR(TDTRFlowControl Value) {
  if (Store(ControlDTR_, Value)) Changed();
}
void TComFlowControl::SetControlRTS(TRTSFlowControl Value) {
  if (Store(ControlRTS_, Value)) Changed();
}
void TComFlowControl::SetXonXoffOut(bool Value) {
  if (Store(XonXoffOut_, Value)) Changed();
}
void TComFlowControl::SetXonXoffIn(bool Value) {
  if (Store(XonXoffIn_, Value)) Changed();
}
void TComFlowControl::SetDSRSensitivity(bool Value) {
  if (Store(DSRSensitivity_, Value)) Changed();
}
void TComFlowControl::SetTxContinueOnXoff(bool Value) {
  if (Store(TxContinueOnXoff_, Value)) Changed();
}
void TComFlowControl::SetXonChar(char Value) {
  if (Store(XonChar_, Value)) Changed();
}
void TComFlowControl::SetXoffChar(char Value) {
  if (Store(XoffChar_, Value)) Changed();
}

TFlowControl TComFlowControl::FlowControl() const {
  using enum TRTSFlowControl;
  if (ControlRTS_ == rtsHandshake && OutCTSFlow_ && !XonXoffIn_ && !XonXoffOut_) {
    return TFlowControl::fcHardware;
  }
  if (ControlRTS_ == rtsDisable && !OutCTSFlow_ && XonXoffIn_ && XonXoffOut_) {
    return TFlowControl::fcSoftware;
  }
  if (ControlRTS_ == rtsDisable && !OutCTSFlow_ && !XonXoffIn_ && !XonXoffOut_) {
    return TFlowControl::fcNone;
  }
  return TFlowControl::fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl Value) {
  if (Value != TFlowControl::fcCustom) {
    ControlRTS_ = TRTSFlowControl::rtsDisable;
    OutCTSFlow_ = false;
    XonXoffIn_ = false;
    XonXoffOut_ = false;
  }
  if (Value == TFlowControl::fcHardware) {
    ControlRTS_ = TRTSFlowControl::rtsHandshake;
    OutCTSFlow_ = true;
  } else if (Value == TFlowControl::fcSoftware) {
    XonXoffIn_ = true;
    XonXoffOut_ = true;
  }
  Changed();
}

// --- TComTimeouts ---

void TComTimeouts::Assign(const TPersistent& Source) {
  const auto* Other = dynamic_cast<const TComTimeouts*>(&Source);
  if (Other == nullptr) AssignError(Source);
  ReadInterval_ = Other->ReadInterval_;
  ReadTotalMultiplier_ = Other->ReadTotalMultiplier_;
  ReadTotalConstant_ = Other->ReadTotalConstant_;
  WriteTotalMultiplier_ = Other->WriteTotalMultiplier_;
  WriteTotalConstant_ = Other->WriteTotalConstant_;
}

void TComTimeouts::Changed() {
  if (ComPort_ != nullptr) ComPort_->ApplyTimeoutSettings();
}

void TComTimeouts::SetReadInterval(std::int32_t Value) {
  if (Store(ReadInterval_, Value)) Changed();
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t Value) {
  if (Store(ReadTotalMultiplier_, Value)) Changed();
}
void TComTimeouts::SetReadTotalConstant(std::int32_t Value) {
  if (Store(ReadTotalConstant_, Value)) Changed();
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t Value) {
  if (Store(WriteTotalMultiplier_, Value)) Changed();
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t Value) {
  if (Store(WriteTotalConstant_, Value)) Changed();
}

// --- TComBuffer ---

void TComBuffer::Assign(const TPersistent& Source) {
  const auto* Other = dynamic_cast<const TComBuffer*>(&Source);
  if (Other == nullptr) AssignError(Source);
  InputSize_ = Other->InputSize_;
  OutputSize_ = Other->OutputSize_;
}

void TComBuffer::Changed() {
  if (ComPort_ != nullptr) ComPort_->ApplyBufferSizes();
}

namespace {

// Drivers take even queue sizes: a positive odd size is lowered by one.
std::int32_t EvenQueueSize(std::int32_t Value) {
  return (Value > 0 && Value % 2 == 1) ? Value - 1 : Value;
}

}  // namespace

void TComBuffer::SetInputSize(std::int32_t Value) {
  if (Value == InputSize_) return;
  InputSize_ = EvenQueueSize(Value);
  Changed();
}

void TComBuffer::SetOutputSize(std::int32_t Value) {
  if (Value == OutputSize_) return;
  OutputSize_ = EvenQueueSize(Value);
  Changed();
}

}  // namespace tolvane
