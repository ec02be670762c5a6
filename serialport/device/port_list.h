// The serial ports installed on this machine, as names the port accepts. How they are found is
// the platform's (posix/port_list.cpp reads the kernel's tty class and the device directory).
#pragma once

#include <string>
#include <vector>

namespace tolvane {

// Where the installed ports are looked up; an empty place stands for the system's own. Tests
// point both at trees of their own. On Linux, ClassRoot is the sysfs tty class
// (/sys/class/tty) and DeviceRoot the device directory (/dev).
struct TPortPlaces {
  std::string ClassRoot;
  std::string DeviceRoot;
};

// Replaces Strings by the names of the installed serial ports: first the system's own names
// (ttyS0, ttyUSB0, ttyACM0, ...), then the stable names the system gives adapters (on Linux,
// udev's "serial/by-id/usb-..." below the device directory), which survive plugging adapters
// in another order. Each group is sorted without regard to letter case, character by
// character (ttyS1, ttyS10, ttyS2).
//
// Only ports with hardware behind them are listed: consoles, pseudo-terminals, virtual
// terminals and placeholder ports without a UART are left out. An entry that cannot be
// examined is left out.
//
// Raises EComPort 23 "Registry error" with the system error code when the list itself cannot
// be read; Strings is then left as it was.
void ListComPorts(std::vector<std::string>& Strings, const TPortPlaces& Places = TPortPlaces());

// True when the port names A and B open the same device below DeviceRoot: their device paths,
// resolved through symbolic links, are equal. So "COM1" and "ttyS0" name one device, and so do
// a by-id name and the kernel name its link leads to. An empty name, or one that cannot name a
// device, matches nothing.
bool NameTheSameDevice(const std::string& A, const std::string& B,
                       const std::string& DeviceRoot = std::string());

}  // namespace tolvane
