// A made-up sysfs tty class and device directory for tests of the port list and of the lists
// built on it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "serialport/device/port_list.h"

namespace tolvane {

// A made-up /sys laid out like the kernel's: class/tty/<name> links to the device's tty node,
// which has a `device` link to the hardware when there is any, and serial-core ports a `type`;
// and a made-up /dev with a node for every port and the by-id links udev makes for adapters.
class TSysfsTree {
 public:
  TSysfsTree() {
    std::string Template = (std::filesystem::temp_directory_path() / "sysfs-XXXXXX").string();
    Base_ = mkdtemp(Template.data());
    std::filesystem::create_directories(ClassRoot());
    std::filesystem::create_directories(DeviceRoot());
  }
  ~TSysfsTree() { std::filesystem::remove_all(Base_); }

  std::string ClassRoot() const { return (Base_ / "class" / "tty").string(); }
  std::string DeviceRoot() const { return (Base_ / "dev").string(); }
  TPortPlaces Places() const { return {ClassRoot(), DeviceRoot()}; }

  // A port with hardware behind it; Type empty means the driver has no `type` file.
  void AddPort(const std::string& Name, const std::string& Type = "") {
    const std::filesystem::path Hardware = Base_ / "devices" / Name;
    const std::filesystem::path Node = Hardware / "tty" / Name;
    std::filesystem::create_directories(Node);
    std::filesystem::create_directory_symlink(Hardware, Node / "device");
    if (!Type.empty()) std::ofstream(Node / "type") << Type << "\n";
    std::filesystem::create_directory_symlink(Node, std::filesystem::path(ClassRoot()) / Name);
    std::ofstream(std::filesystem::path(DeviceRoot()) / Name);
  }
  // A stable name below dev/serial/by-id/ with its link to the node Target (as udev writes it,
  // relative); a Target without a node makes a link that leads nowhere.
  void AddById(const std::string& Name, const std::string& Target) {
    const std::filesystem::path Directory =
        std::filesystem::path(DeviceRoot()) / "serial" / "by-id";
    std::filesystem::create_directories(Directory);
    std::filesystem::create_symlink("../../" + Target, Directory / Name);
  }
  // A terminal without hardware (console, tty1, ptmx).
  void AddVirtual(const std::string& Name) {
    const std::filesystem::path Node = Base_ / "devices" / "virtual" / Name;
    std::filesystem::create_directories(Node);
    std::filesystem::create_directory_symlink(Node, std::filesystem::path(ClassRoot()) / Name);
  }
  void AddBrokenEntry(const std::string& Name) {
    std::filesystem::create_directory_symlink(Base_ / "gone" / Name,
                                              std::filesystem::path(ClassRoot()) / Name);
  }
  void AddBrokenDeviceLink(const std::string& Name) {
    const std::filesystem::path Node = std::filesystem::path(ClassRoot()) / Name;
    std::filesystem::create_directories(Node);
    std::filesystem::create_directory_symlink(Base_ / "gone" / Name, Node / "device");
  }
  std::filesystem::path Base() const { return Base_; }

 private:
  std::filesystem::path Base_;
};

}  // namespace tolvane
