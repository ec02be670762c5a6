// The installed ports of a Linux machine. A kernel port is installed when its entry below the
// sysfs tty class has a `device` link that leads somewhere: consoles, pseudo-terminals and
// virtual terminals have none. Serial-core ports report the type of their UART in a `type`
// file; the legacy 8250 driver registers placeholder ttyS ports whose type reads 0 (no UART
// found), and those are left out. A `type` file that cannot be read does not hide its port. A
// by-id link below the device directory is offered when it leads to a device; without the
// directory there are none.
#include "serialport/device/port_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <utility>

#include "serialport/base/com_error.h"
#include "serialport/device/posix/device_path.h"

namespace tolvane {
namespace {

// Where udev puts the stable names of serial adapters, below the device directory.
constexpr const char* StableNameDirectory = "serial/by-id";
constexpr const char* TtyClassDirectory = "/sys/class/tty";

// The place to look in: the one given, or the system's own when none is.
std::string PlaceOr(const std::string& Given, const char* System) {
  return Given.empty() ? std::string(System) : Given;
}

struct TDirCloser {
  void operator()(DIR* Dir) const { closedir(Dir); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

bool Exists(const std::string& Path) {
  struct stat Info {};
  return stat(Path.c_str(), &Info) == 0;  // follows links, so a broken link does not exist
}

// True when the entry's `type` file reads the UART type 0 (PORT_UNKNOWN).
bool IsPlaceholder(const std::string& EntryPath) {
  std::ifstream TypeFile(EntryPath + "/type");
  if (!TypeFile) return false;
  long Type = -1;
  if (!(TypeFile >> Type)) return false;
  return Type == 0;
}

bool IsInstalledPort(const std::string& EntryPath) {
  return Exists(EntryPath + "/device") && !IsPlaceholder(EntryPath);
}

char LowerAscii(char C) {
  return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

// Case-insensitive, character by character; names equal but for case keep a fixed order.
bool ComesBefore(std::string_view A, std::string_view B) {
  const std::size_t Common = std::min(A.size(), B.size());
  for (std::size_t I = 0; I < Common; ++I) {
    const auto LowerA = static_cast<unsigned char>(LowerAscii(A[I]));
    const auto LowerB = static_cast<unsigned char>(LowerAscii(B[I]));
    if (LowerA != LowerB) return LowerA < LowerB;
  }
  if (A.size() != B.size()) return A.size() < B.size();
  return A < B;
}

// The installed kernel ports below SysfsRoot, unsorted.
std::vector<std::string> KernelPorts(const std::string& SysfsRoot) {
  TDirHandle Dir(opendir(SysfsRoot.c_str()));
  if (!Dir) throw EComPort(CError_RegError, errno);

  std::vector<std::string> Found;
  for (;;) {
    errno = 0;
    const dirent* Entry = readdir(Dir.get());
    if (Entry == nullptr) {
      if (errno != 0) throw EComPort(CError_RegError, errno);
      break;
    }
    const std::string Name = Entry->d_name;
    if (Name == "." || Name == "..") continue;
    if (IsInstalledPort(SysfsRoot + "/" + Name)) Found.push_back(Name);
  }
  return Found;
}

// The by-id links below DeviceRoot that lead to a device, as names below DeviceRoot, unsorted.
// udev makes the directory only while such an adapter is plugged in.
std::vector<std::string> StableNamedPorts(const std::string& DeviceRoot) {
  const std::string Directory = DeviceRoot + "/" + StableNameDirectory;
  std::vector<std::string> Found;
  TDirHandle Dir(opendir(Directory.c_str()));
  if (!Dir) return Found;
  while (const dirent* Entry = readdir(Dir.get())) {
    const std::string Name = Entry->d_name;
    if (Name == "." || Name == "..") continue;
    if (Exists(Directory + "/" + Name)) Found.push_back(StableNameDirectory + ("/" + Name));
  }
  return Found;
}

// The device a port name opens, with every symbolic link resolved; the path as written when it
// cannot be resolved (the device is missing), and empty when the name names no device.
std::string ResolvedDevicePath(const std::string& PortName, const std::string& DeviceRoot) {
  const std::string Path = DevicePathFor(PortName, DeviceRoot);
  if (Path.empty()) return Path;
  std::error_code Error;
  const std::filesystem::path Resolved = std::filesystem::weakly_canonical(Path, Error);
  if (Error) return std::filesystem::path(Path).lexically_normal().string();
  return Resolved.string();
}

}  // namespace

void ListComPorts(std::vector<std::string>& Strings, const TPortPlaces& Places) {
  std::vector<std::string> Found = KernelPorts(PlaceOr(Places.ClassRoot, TtyClassDirectory));
  std::sort(Found.begin(), Found.end(), ComesBefore);
  std::vector<std::string> StableNames =
      StableNamedPorts(PlaceOr(Places.DeviceRoot, DeviceDirectory));
  std::sort(StableNames.begin(), StableNames.end(), ComesBefore);
  Found.insert(Found.end(), StableNames.begin(), StableNames.end());
  Strings = std::move(Found);
}

bool NameTheSameDevice(const std::string& A, const std::string& B, const std::string& DeviceRoot) {
  const std::string Root = PlaceOr(DeviceRoot, DeviceDirectory);
  const std::string DeviceOfA = ResolvedDevicePath(A, Root);
  return !DeviceOfA.empty() && DeviceOfA == ResolvedDevicePath(B, Root);
}

}  // namespace tolvane
