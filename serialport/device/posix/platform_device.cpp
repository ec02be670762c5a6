#include "serialport/device/platform_device.h"

#include "serialport/device/network/network_device.h"
#include "serialport/device/posix/device_path.h"
#include "serialport/device/posix/posix_device.h"

namespace tolvane {

std::unique_ptr<TComDevice> NewPlatformDevice() {
  return std::make_unique<TPosixDevice>();
}

std::unique_ptr<TComDevice> NewPlatformNetworkDevice() {
  return std::make_unique<TNetworkDevice>();
}

std::string PlatformDevicePath(const std::string& PortName) {
  return DevicePathFor(PortName);
}

}  // namespace tolvane
