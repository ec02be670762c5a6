// The platform's own serial device: the backend that serves every port name without a scheme
// (the tty device on POSIX). The factory asks here; the platform's backend folder defines both
// functions, and CMake builds the one folder the platform has.
#pragma once

#include <memory>
#include <string>

#include "serialport/device/com_device.h"

namespace tolvane {

// A new device of the platform's serial backend, not yet open.
std::unique_ptr<TComDevice> NewPlatformDevice();

// A new device for a network port name (rfc2217://, socket://), not yet open: the network
// backend, on the platform's sockets.
std::unique_ptr<TComDevice> NewPlatformNetworkDevice();

// What that device opens for PortName (on POSIX the device path: an absolute path as it is,
// "COMn" as /dev/ttyS<n-1>, any other name below /dev/).
std::string PlatformDevicePath(const std::string& PortName);

}  // namespace tolvane
