#include "serialport/device/network/network_address.h"

#include <cctype>
#include <string_view>

namespace tolvane {
namespace {

struct TScheme {
  std::string_view Prefix;
  TNetworkProtocol Protocol;
};

constexpr TScheme Schemes[] = {
    {"rfc2217://", TNetworkProtocol::Rfc2217},
    {"socket://", TNetworkProtocol::RawTcp},
};

bool StartsWithIgnoringCase(const std::string& Text, std::string_view Prefix) {
  if (Text.size() < Prefix.size()) return false;
  for (std::size_t I = 0; I < Prefix.size(); ++I)
    if (std::tolower(static_cast<unsigned char>(Text[I])) != Prefix[I]) return false;
  return true;
}

const TScheme* SchemeOf(const std::string& PortName) {
  for (const TScheme& Scheme : Schemes)
    if (StartsWithIgnoringCase(PortName, Scheme.Prefix)) return &Scheme;
  return nullptr;
}

std::optional<std::uint16_t> PortNumber(std::string_view Text) {
  if (Text.empty() || Text.size() > 5) return std::nullopt;
  unsigned long Value = 0;
  for (char C : Text) {
    if (!std::isdigit(static_cast<unsigned char>(C))) return std::nullopt;
    Value = Value * 10 + static_cast<unsigned long>(C - '0');
  }
  if (Value == 0 || Value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(Value);
}

// A host name or address: no blanks, no slashes, nothing a resolver would read as something else.
bool IsPlainHost(std::string_view Host) {
  if (Host.empty()) return false;
  for (char C : Host) {
    const auto Byte = static_cast<unsigned char>(C);
    if (!std::isalnum(Byte) && C != '.' && C != '-' && C != '_' && C != ':') return false;
  }
  return true;
}

}  // namespace

std::optional<TNetworkAddress> ParseNetworkAddress(const std::string& PortName) {
  const TScheme* Scheme = SchemeOf(PortName);
  if (Scheme == nullptr) return std::nullopt;
  std::string_view Rest(PortName);
  Rest.remove_prefix(Scheme->Prefix.size());
  // A trailing slash, as a URL may have, is harmless.
  if (!Rest.empty() && Rest.back() == '/') Rest.remove_suffix(1);
  std::string_view Host;
  std::string_view Port;
  if (!Rest.empty() && Rest.front() == '[') {
    const std::size_t Close = Rest.find(']');
    if (Close == std::string_view::npos || Rest.substr(Close + 1, 1) != ":") return std::nullopt;
    Host = Rest.substr(1, Close - 1);
    Port = Rest.substr(Close + 2);
  } else {
    const std::size_t Colon = Rest.rfind(':');
    if (Colon == std::string_view::npos) return std::nullopt;
    Host = Rest.substr(0, Colon);
    if (Host.find(':') != std::string_view::npos) return std::nullopt;  // IPv6 needs brackets
    Port = Rest.substr(Colon + 1);
  }
  const std::optional<std::uint16_t> Number = PortNumber(Port);
  if (!Number || !IsPlainHost(Host)) return std::nullopt;
  return TNetworkAddress{Scheme->Protocol, std::string(Host), *Number};
}

}  // namespace tolvane
