#include "logic/files/designed_port.h"

namespace tolvane {

void ApplyDesignedPortSettings(TCustomComPort& Port) {
  Port.SetName(DesignedPortComponentName);
  Port.SetPort(DesignedPortName);
  Port.SetBaudRate(TBaudRate::br9600);
  Port.SetDataBits(TDataBits::dbEight);
  Port.SetStopBits(TStopBits::sbOneStopBit);
  Port.Parity().SetBits(TParityBits::prNone);
  Port.SetDiscardNull(true);
  Port.SetEvents(AllComEvents);
  TComFlowControl& Flow = Port.FlowControl();
  Flow.SetOutCTSFlow(false);
  Flow.SetOutDSRFlow(false);
  Flow.SetControlDTR(TDTRFlowControl::dtrEnable);
  Flow.SetControlRTS(TRTSFlowControl::rtsDisable);
  Flow.SetXonXoffOut(false);
  Flow.SetXonXoffIn(false);
}

}  // namespace tolvane
