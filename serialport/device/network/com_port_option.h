// The COM-PORT-OPTION commands (RFC 2217) that carry a serial line's settings over telnet: what
// a device control block becomes on the wire, and what the server's notifications mean to the
// port. Plain data and pure functions; no socket.
//
// The option has no equivalent for some settings the port has: XON/XOFF characters other than
// DC1 and DC3, XON/XOFF in one direction only, CTS output flow without RTS handshake (and the
// reverse), DSR output flow, DSR sensitivity, DTR handshake, RTS toggle, abort on error and
// the replacement of bytes received with a parity error (the server never marks them). Those
// are refused (InvalidArgumentErrorCode) rather than silently dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "serialport/device/com_device.h"

namespace tolvane {

namespace comport {
inline constexpr std::uint8_t SetBaudRate = 1;
inline constexpr std::uint8_t SetDataSize = 2;
inline constexpr std::uint8_t SetParity = 3;
inline constexpr std::uint8_t SetStopSize = 4;
inline constexpr std::uint8_t SetControl = 5;
inline constexpr std::uint8_t NotifyLineState = 6;
inline constexpr std::uint8_t NotifyModemState = 7;
inline constexpr std::uint8_t SetLineStateMask = 10;
inline constexpr std::uint8_t SetModemStateMask = 11;
inline constexpr std::uint8_t PurgeData = 12;
// A server's answer or notification carries the client's command code plus this.
inline constexpr std::uint8_t ServerOffset = 100;

inline constexpr std::uint8_t PurgeReceive = 1;
inline constexpr std::uint8_t PurgeTransmit = 2;
inline constexpr std::uint8_t PurgeBoth = 3;
}  // namespace comport

// One command: its code and value, and whether the server's answer is worth waiting for (a
// server on a line without modem lines may never answer DTR or RTS, nor 1.5 stop bits).
struct TComPortCommand {
  std::uint8_t Code = 0;
  std::vector<std::uint8_t> Value;
  bool AwaitsAnswer = false;

  // The subnegotiation payload: the code, then the value.
  std::vector<std::uint8_t> Payload() const;
  friend bool operator==(const TComPortCommand&, const TComPortCommand&) = default;
};

// 0, or InvalidArgumentErrorCode for a block that is nonsense on any line: no rate, a size
// outside 5 to 8, an unknown parity or stop-bit code. A raw TCP line, which carries no
// settings, asks only this.
int CheckDcbIsSane(const TDcb& Dcb);

// 0, or InvalidArgumentErrorCode for a block that no server line can carry (see above) or that
// is nonsense (no rate, a size outside 5 to 8, an unknown parity or stop-bit code).
int CheckDcbForComPort(const TDcb& Dcb);

// The commands that bring the server's line from Applied (nothing: unknown, so all of them) to
// Dcb, in the order the option recommends: rate, size, parity, stop bits, then flow control and
// the modem control lines. Dcb must have passed CheckDcbForComPort.
std::vector<TComPortCommand> ComPortCommandsFor(const TDcb& Dcb,
                                                const std::optional<TDcb>& Applied);

// The query of the line's rate: a server answers it only once its device is open, which makes
// it the sign that an opening has succeeded.
TComPortCommand BaudRateQuery();

// The masks that make the server report just the line and modem changes EventMask asks for.
TComPortCommand LineStateMaskFor(std::uint32_t EventMask);
TComPortCommand ModemStateMaskFor(std::uint32_t EventMask);

TComPortCommand PurgeCommandFor(std::uint32_t PurgeFlags);  // Code 0 when nothing is cleared

// What a NOTIFY-MODEMSTATE value means: the MS_ bits of the lines, and the EV_ events of the
// lines that changed since Previous (or whose change bit the server set).
std::uint32_t ModemStatusOf(std::uint8_t ModemState);
std::uint32_t ModemEventsOf(std::uint8_t ModemState, std::uint8_t Previous);
// What a NOTIFY-LINESTATE value means: CE_ flags and the EV_ events (EV_ERR, EV_BREAK).
std::uint32_t LineErrorsOf(std::uint8_t LineState);
std::uint32_t LineEventsOf(std::uint8_t LineState);

}  // namespace tolvane
