// The device control block of the main window's line: 9600 8N1, DTR on, RTS off, no
// handshake, nulls discarded.
#pragma once

#include "serialport/device/com_device.h"

namespace tolvane::test {

inline TDcb MainWindowDcb() {
  TDcb Dcb;
  Dcb.BaudRate = 9600;
  Dcb.fBinary = true;
  Dcb.fDtrControl = DTR_CONTROL_ENABLE;
  Dcb.fRtsControl = RTS_CONTROL_DISABLE;
  Dcb.fNull = true;
  Dcb.XonLim = 256;
  Dcb.XoffLim = 256;
  Dcb.XonChar = 17;
  Dcb.XoffChar = 19;
  return Dcb;
}

}  // namespace tolvane::test
