// The four settings objects of a port: parity, flow control, time-outs and buffer sizes. Each
// keeps a reference to its port (empty for a free-standing object) and makes the port re-apply
// its group when a field changes; Assign copies the fields without running the setters.
#pragma once

#include <cstdint>

#include "serialport/base/com_types.h"
#include "serialport/base/component.h"

namespace tolvane {

class TCustomComPort;

class TComParity : public TPersistent {
 public:
  TComParity() = default;
  const char* ClassName() const override { return "TComParity"; }
  void Assign(const TPersistent& Source) override;

  TCustomComPort* ComPort() const { return ComPort_; }
  void SetComPort(TCustomComPort* Port) { ComPort_ = Port; }

  TParityBits Bits() const { return Bits_; }
  void SetBits(TParityBits Value);
  bool Check() const { return Check_; }
  void SetCheck(bool Value);
  bool Replace() const { return Replace_; }
  void SetReplace(bool Value);
  char ReplaceChar() const { return ReplaceChar_; }
  void SetReplaceChar(char Value);

 private:
  void Changed();

  TCustomComPort* ComPort_ = nullptr;
  TParityBits Bits_ = TParityBits::prNone;
  bool Check_ = false;
  bool Replace_ = false;
  char ReplaceChar_ = 0;
};

class TComFlowControl : public TPersistent {
 public:
  TComFlowControl() = default;
  const char* ClassName() const override { return "TComFlowControl"; }
  void Assign(const TPersistent& Source) override;

  TCustomComPort* ComPort() const { return ComPort_; }
  void SetComPort(TCustomComPort* Port) { ComPort_ = Port; }

  bool OutCTSFlow() const { return OutCTSFlow_; }
  void SetOutCTSFlow(bool Value);
  bool OutDSRFlow() const { return OutDSRFlow_; }
  void SetOutDSRFlow(bool Value);
  TDTRFlowControl ControlDTR() const { return ControlDTR_; }
  void SetControlDTR(TDTRFlowControl Value);
  TRTSFlowControl ControlRTS() const { return ControlRTS_; }
  void SetControlRTS(TRTSFlowControl Value);
  bool XonXoffOut() const { return XonXoffOut_; }
  void SetXonXoffOut(bool Value);
  bool XonXoffIn() const { return XonXoffIn_; }
  void SetXonXoffIn(bool Value);
  bool DSRSensitivity() const { return DSRSensitivity_; }
  void SetDSRSensitivity(bool Value);
  bool TxContinueOnXoff() const { return TxContinueOnXoff_; }
  void SetTxContinueOnXoff(bool Value);
  char XonChar() const { return XonChar_; }
  void SetXonChar(char Value);
  char XoffChar() const { return XoffChar_; }
  void SetXoffChar(char Value);

  // The summary mode derived from ControlRTS, OutCTSFlow, XonXoffIn and XonXoffOut. Writing it
  // sets those four (fcCustom leaves them) and always re-applies the line settings.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl Value);

 private:
  void Changed();

  TCustomComPort* ComPort_ = nullptr;
  bool OutCTSFlow_ = false;
  bool OutDSRFlow_ = false;
  TDTRFlowControl ControlDTR_ = TDTRFlowControl::dtrDisable;
  TRTSFlowControl ControlRTS_ = TRTSFlowControl::rtsDisable;
  bool XonXoffOut_ = false;
  bool XonXoffIn_ = false;
  bool DSRSensitivity_ = false;
  bool TxContinueOnXoff_ = false;
  char XonChar_ = 17;
  char XoffChar_ = 19;
};

class TComTimeouts : public TPersistent {
 public:
  TComTimeouts() = default;
  const char* ClassName() const override { return "TComTimeouts"; }
  void Assign(const TPersistent& Source) override;

  TCustomComPort* ComPort() const { return ComPort_; }
  void SetComPort(TCustomComPort* Port) { ComPort_ = Port; }

  // Milliseconds; -1 stands for "no limit" and reaches the device as MAXDWORD.
  std::int32_t ReadInterval() const { return ReadInterval_; }
  void SetReadInterval(std::int32_t Value);
  std::int32_t ReadTotalMultiplier() const { return ReadTotalMultiplier_; }
  void SetReadTotalMultiplier(std::int32_t Value);
  std::int32_t ReadTotalConstant() const { return ReadTotalConstant_; }
  void SetReadTotalConstant(std::int32_t Value);
  std::int32_t WriteTotalMultiplier() const { return WriteTotalMultiplier_; }
  void SetWriteTotalMultiplier(std::int32_t Value);
  std::int32_t WriteTotalConstant() const { return WriteTotalConstant_; }
  void SetWriteTotalConstant(std::int32_t Value);

 private:
  void Changed();

  TCustomComPort* ComPort_ = nullptr;
  std::int32_t ReadInterval_ = -1;
  std::int32_t ReadTotalMultiplier_ = 0;
  std::int32_t ReadTotalConstant_ = 0;
  std::int32_t WriteTotalMultiplier_ = 100;
  std::int32_t WriteTotalConstant_ = 1000;
};

class TComBuffer : public TPersistent {
 public:
  TComBuffer() = default;
  const char* ClassName() const override { return "TComBuffer"; }
  void Assign(const TPersistent& Source) override;

  TCustomComPort* ComPort() const { return ComPort_; }
  void SetComPort(TCustomComPort* Port) { ComPort_ = Port; }

  // A positive odd size is lowered by one when stored.
  std::int32_t InputSize() const { return InputSize_; }
  void SetInputSize(std::int32_t Value);
  std::int32_t OutputSize() const { return OutputSize_; }
  void SetOutputSize(std::int32_t Value);

 private:
  void Changed();

  TCustomComPort* ComPort_ = nullptr;
  std::int32_t InputSize_ = 1024;
  std::int32_t OutputSize_ = 1024;
};

}  // namespace tolvane
