// TEMPORARY: stands in for the platform device and the dispatcher until they land; deleted at
// the merge.
#include "serialport/com_device.h"
#include "serialport/com_dispatcher.h"
#include "tests/serialport/fake_device.h"

namespace tolvane {

std::unique_ptr<TComDevice> NewPlatformDevice() {
  return std::make_unique<TFakeDevice>();
}

std::string DevicePathFor(const std::string& PortName) {
  return "/dev/" + PortName;
}

TComDispatcher& TComDispatcher::Default() {
  static TComDispatcher Dispatcher;
  return Dispatcher;
}

}  // namespace tolvane
