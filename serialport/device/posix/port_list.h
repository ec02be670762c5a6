// The serial ports installed on this machine, as names the port accepts.
#pragma once

#include <string>
#include <vector>

#include "serialport/device/posix/device_path.h"

namespace tolvane {

// Where the installed ports are looked up: the sysfs tty class and the device directory. Tests
// point both at trees of their own.
struct TPortPlaces {
  std::string SysfsRoot = "/sys/class/tty";
  std::string DeviceRoot = DeviceDirectory;
};

// Replaces Strings by the names of the installed serial ports: first the kernel's names
// (ttyS0, ttyUSB0, ttyACM0, ...), then the stable names udev gives adapters below
// serial/by-id/ of the device directory ("serial/by-id/usb-..."), which survive plugging
// adapters in another order. Each group is sorted without regard to letter case, character by
// character (ttyS1, ttyS10, ttyS2).
//
// A kernel port is installed when its entry below SysfsRoot has a `device` link that leads
// somewhere: consoles, pseudo-terminals and virtual terminals have none. Serial-core ports
// report the type of their UART in a `type` file; the legacy 8250 driver registers placeholder
// ttyS ports whose type reads 0 (no UART found), and those are left out. An entry that cannot
// be examined is left out; a `type` file that cannot be read does not hide its port. A by-id
// link is offered when it leads to a device; without the directory there are none.
//
// Raises EComPort 23 "Registry error" with errno when SysfsRoot cannot be read; Strings is then
// left as it was.
void ListComPorts(std::vector<std::string>& Strings, const TPortPlaces& Places = TPortPlaces());

// True when the port names A and B open the same device below DeviceRoot: their device paths
// (DevicePathFor), resolved through symbolic links, are equal. So "COM1" and "ttyS0" name one
// device, and so do a by-id name and the kernel name its link leads to. An empty name, or one
// that cannot name a device, matches nothing.
bool NameTheSameDevice(const std::string& A, const std::string& B,
                       const std::string& DeviceRoot = DeviceDirectory);

}  // namespace tolvane
