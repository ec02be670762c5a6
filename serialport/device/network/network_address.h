// Port names that reach a serial line over the network: "rfc2217://HOST:PORT" (telnet with the
// COM-PORT-OPTION commands, which carry the line settings) and "socket://HOST:PORT" (raw TCP; the
// line settings stay at the server's). HOST is a name, an IPv4 address or an IPv6 address in
// brackets; PORT is 1 to 65535.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tolvane {

enum class TNetworkProtocol : std::uint8_t { Rfc2217, RawTcp };

struct TNetworkAddress {
  TNetworkProtocol Protocol = TNetworkProtocol::Rfc2217;
  std::string Host;  // without the brackets of an IPv6 address
  std::uint16_t Port = 0;

  friend bool operator==(const TNetworkAddress&, const TNetworkAddress&) = default;
};

// The address a network port name names, or nothing when it is malformed.
std::optional<TNetworkAddress> ParseNetworkAddress(const std::string& PortName);

}  // namespace tolvane
