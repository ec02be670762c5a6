// The serial ports installed on this machine, as names the port accepts.
#pragma once

#include <string>
#include <vector>

namespace tolvane {

// Replaces Strings by the names of the installed serial ports (ttyS0, ttyUSB0, ttyACM0, ...),
// sorted without regard to letter case, character by character (ttyS1, ttyS10, ttyS2).
//
// A port is installed when its entry below SysfsRoot has a `device` link that leads somewhere:
// consoles, pseudo-terminals and virtual terminals have none. Serial-core ports report the
// type of their UART in a `type` file; the legacy 8250 driver registers placeholder ttyS ports
// whose type reads 0 (no UART found), and those are left out. An entry that cannot be examined
// is left out; a `type` file that cannot be read does not hide its port.
//
// Raises EComPort 23 "Registry error" with errno when SysfsRoot cannot be read; Strings is then
// left as it was.
void ListComPorts(std::vector<std::string>& Strings,
                  const std::string& SysfsRoot = "/sys/class/tty");

}  // namespace tolvane
