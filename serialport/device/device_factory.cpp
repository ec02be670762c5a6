// A new backend is a folder below device/ and one line in each function here.
#include "serialport/device/device_factory.h"

#include "serialport/device/device_path.h"
#include "serialport/device/posix/posix_device.h"

namespace tolvane {

std::unique_ptr<TComDevice> NewDeviceFor(const std::string& /*PortName*/) {
  return std::make_unique<TPosixDevice>();
}

std::string DeviceAddressFor(const std::string& PortName) {
  return DevicePathFor(PortName);
}

}  // namespace tolvane
