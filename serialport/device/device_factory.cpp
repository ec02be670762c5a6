// A new kind of port name is one line in each function here; a new platform's serial backend
// is a folder below device/ that defines platform_device.h.
#include "serialport/device/device_factory.h"

#include "serialport/device/platform_device.h"

namespace tolvane {
namespace {

// "rfc2217://", "socket://", and any other scheme, which the network device then refuses by
// name: a URL is never looked up as a file below /dev.
bool IsUrl(const std::string& PortName) {
  return PortName.find("://") != std::string::npos;
}

}  // namespace

std::unique_ptr<TComDevice> NewDeviceFor(const std::string& PortName) {
  if (IsUrl(PortName)) return NewPlatformNetworkDevice();
  return NewPlatformDevice();
}

std::string DeviceAddressFor(const std::string& PortName) {
  if (IsUrl(PortName)) return PortName;
  return PlatformDevicePath(PortName);
}

}  // namespace tolvane
