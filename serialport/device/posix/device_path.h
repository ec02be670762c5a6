// The port-name rule of the tty backend: which device path a port name opens.
#pragma once

#include <string>

namespace tolvane {

// The directory below which port names are looked up.
inline constexpr const char* DeviceDirectory = "/dev";

// The device path for a port name: an absolute path as it is, "COMn" as /dev/ttyS<n-1>, any
// other name below /dev/. Tests of the port list name a device tree of their own as DeviceRoot.
std::string DevicePathFor(const std::string& PortName,
                          const std::string& DeviceRoot = DeviceDirectory);

}  // namespace tolvane
