// The device control block and the time-outs a port hands to its device, built from the port's
// properties alone (the device's current state is never read).
#pragma once

#include <cstdint>

#include "serialport/base/com_types.h"
#include "serialport/device/com_device.h"
#include "serialport/port/com_settings.h"

namespace tolvane {

class TCustomComPort;

// The line speed in bits per second: CustomBaudRate for brCustom (its 32-bit pattern), else the
// number in the value's name.
std::uint32_t BaudRateValue(TBaudRate BaudRate, std::int32_t CustomBaudRate);

TDcb BuildDcb(const TCustomComPort& Port);

// -1 ("no limit") becomes MAXDWORD; every other value is passed as its 32-bit pattern.
TCommTimeouts BuildCommTimeouts(const TComTimeouts& Timeouts);

}  // namespace tolvane
