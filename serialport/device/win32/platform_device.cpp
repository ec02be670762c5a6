#include "serialport/device/platform_device.h"

#include <cctype>

#include "serialport/device/network/network_device.h"
#include "serialport/device/win32/win32_device.h"

namespace tolvane {
namespace {

// "COM" followed by a number, in any letter case.
bool IsComName(const std::string& Name) {
  if (Name.size() < 4) return false;
  for (std::size_t Index = 0; Index < 3; ++Index) {
    if (std::toupper(static_cast<unsigned char>(Name[Index])) != "COM"[Index]) return false;
  }
  for (std::size_t Index = 3; Index < Name.size(); ++Index) {
    if (!std::isdigit(static_cast<unsigned char>(Name[Index]))) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<TComDevice> NewPlatformDevice() {
  return std::make_unique<TWin32Device>();
}

std::unique_ptr<TComDevice> NewPlatformNetworkDevice() {
  return std::make_unique<TNetworkDevice>();
}

// "COMn" opens as \\.\COMn (the only form that reaches COM10 and above); a name that is a
// device path already (\\.\COMn) or any other path is opened as it is.
std::string PlatformDevicePath(const std::string& PortName) {
  if (IsComName(PortName)) return "\\\\.\\" + PortName;
  return PortName;
}

}  // namespace tolvane
