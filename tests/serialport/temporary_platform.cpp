// TEMPORARY: stands in for the platform device until it lands; deleted at
// the merge.
#include "serialport/com_device.h"
#include "tests/serialport/fake_device.h"

namespace tolvane {

std::unique_ptr<TComDevice> NewPlatformDevice() {
  return std::make_unique<TFakeDevice>();
}

std::string DevicePathFor(const std::string& PortName) {
  return "/dev/" + PortName;
}

}  // namespace tolvane
