#include "logic/protocol/controller_protocol.h"

#include "logic/protocol/register_table.h"

namespace tolvane {

namespace {

constexpr std::size_t CommandLength = 2;
constexpr std::size_t StatusLength = 3;
constexpr std::size_t AddressLength = 4;
constexpr std::size_t MaxValueLength = 9;
constexpr std::size_t ValueStart = CommandLength + AddressLength;

std::string RegisterPrefix(std::size_t Row) {
  std::string Packet(RegisterCommand);
  Packet += RegisterTable.at(Row).Address;
  return Packet;
}

// Packet holds at least the command and a whole address.
std::optional<TFieldUpdate> RegisterValue(std::string_view Packet) {
  const std::string_view Address = Packet.substr(CommandLength, AddressLength);
  for (std::size_t Row = 0; Row < RegisterTable.size(); ++Row) {
    if (RegisterTable[Row].Address != Address) continue;
    // The value is whatever follows the address, at most nine characters, possibly none.
    return TFieldUpdate{Row, std::string(Packet.substr(ValueStart, MaxValueLength))};
  }
  return std::nullopt;
}

}  // namespace

std::string RegisterReadPacket(std::size_t Row) {
  return RegisterPrefix(Row) + std::string(PacketTerminator);
}

std::string RegisterWritePacket(std::size_t Row, std::string_view Value) {
  std::string Packet = RegisterPrefix(Row);
  Packet += Value;
  Packet += PacketTerminator;
  return Packet;
}

TPacketMeaning InterpretPacket(std::string_view Packet) {
  TPacketMeaning Meaning;
  const std::string_view Command = Packet.substr(0, CommandLength);
  if (Command == IdentifyCommand) {
    Meaning.IdentificationConfirmed =
        Packet.substr(CommandLength, StatusLength) == IdentifiedStatus;
  } else if (Command == RegisterCommand && Packet.size() >= ValueStart) {
    Meaning.FieldUpdate = RegisterValue(Packet);
  }
  return Meaning;
}

}  // namespace tolvane
