// The choice of device by port name, made each time a port opens: the one place that knows every
// backend. A network port name (rfc2217://HOST:PORT, socket://HOST:PORT) opens the network
// device, and so does any other name with a scheme, which it refuses naming it; every other name
// is a tty's.
#pragma once

#include <memory>
#include <string>

#include "serialport/device/com_device.h"

namespace tolvane {

// A new device, not yet open, of the backend that serves PortName.
std::unique_ptr<TComDevice> NewDeviceFor(const std::string& PortName);

// What the device for PortName is opened with, and how error messages name it: for a tty, the
// platform's device path (PlatformDevicePath); for a network name, the name itself.
std::string DeviceAddressFor(const std::string& PortName);

}  // namespace tolvane
