// The port's design-time settings, the ones it has before Settings.ini is read: shared by the
// main window and the command line, so that both start from the same line.
#pragma once

#include "serialport/port/com_port.h"

namespace tolvane {

// The name of the port's section in Settings.ini.
inline constexpr const char* DesignedPortComponentName = "ComPort";
inline constexpr const char* DesignedPortName = "COM1";

// Name, port, 9600 baud, 8 data bits, 1 stop bit, no parity, null bytes discarded, every line
// event, DTR on, RTS off, no handshaking.
void ApplyDesignedPortSettings(TCustomComPort& Port);

}  // namespace tolvane
