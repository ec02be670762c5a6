#include "serialport/base/value_names.h"

#include <cstddef>
#include <string_view>

#include "serialport/base/integer_text.h"

namespace tolvane {
namespace {

constexpr const char* TrueName = "Yes";
constexpr const char* FalseName = "No";
constexpr char CodePrefix = '#';
constexpr unsigned FirstPlainCode = 33;
constexpr unsigned LastPlainCode = 127;

char UpperAscii(char Letter) {
  return (Letter >= 'a' && Letter <= 'z') ? static_cast<char>(Letter - 'a' + 'A') : Letter;
}

bool EqualIgnoringAsciiCase(std::string_view Left, std::string_view Right) {
  if (Left.size() != Right.size()) return false;
  for (std::size_t I = 0; I < Left.size(); ++I) {
    if (UpperAscii(Left[I]) != UpperAscii(Right[I])) return false;
  }
  return true;
}

// A value outside the table (only reachable through a bad cast) has no name.
template <typename Enum, std::size_t Count>
std::string ToName(const std::array<const char*, Count>& Names, Enum Value) {
  const auto Ordinal = static_cast<std::size_t>(Value);
  return Ordinal < Count ? std::string(Names[Ordinal]) : std::string();
}

template <typename Enum, std::size_t Count>
Enum FromName(const std::array<const char*, Count>& Names, const std::string& Name, Enum Fallback) {
  for (std::size_t Ordinal = 0; Ordinal < Count; ++Ordinal) {
    if (EqualIgnoringAsciiCase(Name, Names[Ordinal])) return static_cast<Enum>(Ordinal);
  }
  return Fallback;
}

}  // namespace

std::string BaudRateToName(TBaudRate Value) {
  return ToName(BaudRateNames, Value);
}
std::string StopBitsToName(TStopBits Value) {
  return ToName(StopBitsNames, Value);
}
std::string DataBitsToName(TDataBits Value) {
  return ToName(DataBitsNames, Value);
}
std::string ParityToName(TParityBits Value) {
  return ToName(ParityNames, Value);
}
std::string FlowControlToName(TFlowControl Value) {
  return ToName(FlowControlNames, Value);
}
std::string DTRControlToName(TDTRFlowControl Value) {
  return ToName(DTRControlNames, Value);
}
std::string RTSControlToName(TRTSFlowControl Value) {
  return ToName(RTSControlNames, Value);
}

TBaudRate NameToBaudRate(const std::string& Name) {
  return FromName(BaudRateNames, Name, TBaudRate::br9600);
}
TStopBits NameToStopBits(const std::string& Name) {
  return FromName(StopBitsNames, Name, TStopBits::sbOneStopBit);
}
TDataBits NameToDataBits(const std::string& Name) {
  return FromName(DataBitsNames, Name, TDataBits::dbEight);
}
TParityBits NameToParity(const std::string& Name) {
  return FromName(ParityNames, Name, TParityBits::prNone);
}
TFlowControl NameToFlowControl(const std::string& Name) {
  return FromName(FlowControlNames, Name, TFlowControl::fcCustom);
}
TDTRFlowControl NameToDTRControl(const std::string& Name) {
  return FromName(DTRControlNames, Name, TDTRFlowControl::dtrDisable);
}
TRTSFlowControl NameToRTSControl(const std::string& Name) {
  return FromName(RTSControlNames, Name, TRTSFlowControl::rtsDisable);
}

std::string BoolToName(bool Value) {
  return Value ? TrueName : FalseName;
}

bool NameToBool(const std::string& Name) {
  return EqualIgnoringAsciiCase(Name, TrueName);
}

std::string CharToName(char Value) {
  const unsigned Code = static_cast<unsigned char>(Value);
  if (Code >= FirstPlainCode && Code <= LastPlainCode) return std::string(1, Value);
  return CodePrefix + std::to_string(Code);
}

char NameToChar(const std::string& Name) {
  if (Name.empty()) return 0;
  if (Name[0] != CodePrefix || Name.size() == 1) return Name[0];
  const std::optional<std::int32_t> Code = ParseInteger(std::string_view(Name).substr(1));
  // Only the low eight bits count, so "#300" is code 44.
  return Code ? static_cast<char>(static_cast<std::uint32_t>(*Code) & 0xFFu) : char{0};
}

}  // namespace tolvane
