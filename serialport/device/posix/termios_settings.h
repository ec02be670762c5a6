// Line settings of a device control block expressed as termios flags: one pure function per
// setting, each working on a plain termios value and touching no device. Every function returns
// 0, or EINVAL for a setting that the Linux tty layer cannot express; the caller then applies
// nothing.
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>

#include "serialport/device/com_device.h"

namespace tolvane {

// Raw binary base: no echo, no signals, no translation of any byte, receiver on, modem control
// lines ignored for open and read. PARMRK stays on so that a break reaches the input as the
// sequence 0xFF 0x00 0x00 (and a literal 0xFF as 0xFF 0xFF); the device's input queue decodes it.
void ApplyRawMode(termios& Termios);

// The B-constant of a standard rate, or nothing for a rate that needs the custom path. Zero is
// never a rate here: B0 would mean "hang up".
std::optional<speed_t> StandardSpeedFor(std::uint32_t Rate);
// Sets a standard rate. A non-standard rate leaves a placeholder in the termios value and asks
// for the custom path through NeedsCustomRate; 0 is refused.
int ApplyBaudRate(termios& Termios, std::uint32_t Rate, bool& NeedsCustomRate);

int ApplyDataBits(termios& Termios, std::uint8_t ByteSize);
// 1.5 stop bits exist on a UART only with 5-bit characters, where the "two stop bits" setting
// produces them; with any other size they are refused.
int ApplyStopBits(termios& Termios, std::uint8_t StopBits, std::uint8_t ByteSize);
// None, odd, even, and mark/space through CMSPAR. Check turns on input parity checking (INPCK):
// a byte received with a parity or framing error is then marked in-band.
int ApplyParity(termios& Termios, std::uint8_t Parity, bool Check);
// RTS/CTS handshake (both directions together, CRTSCTS) and XON/XOFF in either direction with the
// block's XON and XOFF characters. The kernel has no DSR flow control, no DSR sensitivity, no DTR
// handshake, no RTS toggle, no CTS flow without RTS handshake (or the reverse) and no abort on
// error; each of those is refused.
int ApplyFlowControl(termios& Termios, const TDcb& Dcb);

// Levels of the modem control outputs after a state is set: set, cleared, or left to the kernel
// (RTS under hardware handshake).
enum class TLineLevel : std::uint8_t { On, Off, KernelDriven };
struct TModemOutputs {
  TLineLevel Dtr = TLineLevel::Off;
  TLineLevel Rts = TLineLevel::Off;
  friend bool operator==(const TModemOutputs&, const TModemOutputs&) = default;
};
TModemOutputs ModemOutputsFor(const TDcb& Dcb);

// All of the above in turn, starting from the raw base. Nothing is written to Termios unless
// every setting is accepted.
int TermiosForDcb(const TDcb& Dcb, termios& Termios, bool& NeedsCustomRate);

}  // namespace tolvane
