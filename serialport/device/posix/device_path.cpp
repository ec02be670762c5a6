// Port names to device paths. Names are what the operator typed or picked: "COM3", "ttyUSB0",
// or a full path such as /dev/serial/by-id/... .
#include <cctype>
#include <string>

#include "serialport/device/posix/device_path.h"

namespace tolvane {
namespace {

bool AllDigits(const std::string& Text) {
  if (Text.empty()) return false;
  for (char C : Text)
    if (!std::isdigit(static_cast<unsigned char>(C))) return false;
  return true;
}

// "COMn" with n >= 1 written in digits only; gives n - 1, or -1 for any other name. Numbers
// too long to be a real port are not COM names either.
long SerialIndexOfComName(const std::string& Name) {
  if (Name.size() < 4 || Name.size() > 12 || Name.compare(0, 3, "COM") != 0) return -1;
  const std::string Number = Name.substr(3);
  if (!AllDigits(Number)) return -1;
  const long N = std::stol(Number);
  return N >= 1 ? N - 1 : -1;
}

// A relative name must stay below /dev/: a name with a ".." component could climb out of it.
bool ClimbsOut(const std::string& Name) {
  std::size_t Start = 0;
  while (Start <= Name.size()) {
    std::size_t End = Name.find('/', Start);
    if (End == std::string::npos) End = Name.size();
    if (Name.compare(Start, End - Start, "..") == 0) return true;
    Start = End + 1;
  }
  return false;
}

}  // namespace

// An absolute path is used as it is. A relative name is looked up below /dev/, so "pts/3" gives
// /dev/pts/3; a relative name with a ".." component, and the empty name, give an empty path,
// whose open fails with ENOENT like any missing device.
std::string DevicePathFor(const std::string& PortName, const std::string& DeviceRoot) {
  if (PortName.empty()) return {};
  if (PortName.front() == '/') return PortName;
  if (const long Index = SerialIndexOfComName(PortName); Index >= 0)
    return DeviceRoot + "/ttyS" + std::to_string(Index);
  if (ClimbsOut(PortName)) return {};
  return DeviceRoot + "/" + PortName;
}

}  // namespace tolvane
