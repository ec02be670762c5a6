// The text protocol spoken with the amplifier controller: the packets the utility sends and the
// meaning of the packets it receives. Packets are byte strings ending in ";"; received packets
// arrive from the packet assembler without their ";". Positions in comments count from 1.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

inline constexpr std::string_view PacketTerminator = ";";
inline constexpr std::string_view IdentifyPacket = "ID;";    // identification poll
inline constexpr std::string_view DisconnectPacket = "DI;";  // sent before a manual disconnect
inline constexpr std::string_view IdentifyCommand = "ID";
inline constexpr std::string_view RegisterCommand = "ST";
inline constexpr std::string_view IdentifiedStatus = "200";

// "ST" + address + ";" for the register of the given table row (0 to 10).
std::string RegisterReadPacket(std::size_t Row);
// "ST" + address + Value + ";"; the caller has checked Value (see field_check.h).
std::string RegisterWritePacket(std::size_t Row, std::string_view Value);

// A register value received for one row of the table.
struct TFieldUpdate {
  std::size_t Row;
  std::string Text;

  friend bool operator==(const TFieldUpdate&, const TFieldUpdate&) = default;
};

// What one received packet means to the window. Anything not understood means nothing; the
// window logs every packet regardless.
struct TPacketMeaning {
  bool IdentificationConfirmed = false;     // "ID" with status "200" at positions 3 to 5
  std::optional<TFieldUpdate> FieldUpdate;  // "ST" + a table address at 3 to 6 + up to 9 chars
};

TPacketMeaning InterpretPacket(std::string_view Packet);

}  // namespace tolvane
