// Display names of the port's value types and the converters between names and values. The
// same tables serve the settings store and the setup dialog's lists.
#pragma once

#include <array>
#include <string>

#include "serialport/base/com_types.h"

namespace tolvane {

inline constexpr std::array<const char*, 16> BaudRateNames = {
    "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
inline constexpr std::array<const char*, 3> StopBitsNames = {"1", "1.5", "2"};
inline constexpr std::array<const char*, 4> DataBitsNames = {"5", "6", "7", "8"};
inline constexpr std::array<const char*, 5> ParityNames = {"None", "Odd", "Even", "Mark", "Space"};
inline constexpr std::array<const char*, 4> FlowControlNames = {"Hardware", "Software", "None",
                                                                "Custom"};
inline constexpr std::array<const char*, 3> DTRControlNames = {"Disable", "Enable", "Handshake"};
inline constexpr std::array<const char*, 4> RTSControlNames = {"Disable", "Enable", "Handshake",
                                                               "Toggle"};

std::string BaudRateToName(TBaudRate Value);
std::string StopBitsToName(TStopBits Value);
std::string DataBitsToName(TDataBits Value);
std::string ParityToName(TParityBits Value);
std::string FlowControlToName(TFlowControl Value);
std::string DTRControlToName(TDTRFlowControl Value);
std::string RTSControlToName(TRTSFlowControl Value);

// Case-insensitive (ASCII) match against the names in ordinal order; text that names no value
// gives the type's fallback (br9600, sbOneStopBit, dbEight, prNone, fcCustom, dtrDisable,
// rtsDisable). No trimming.
TBaudRate NameToBaudRate(const std::string& Name);
TStopBits NameToStopBits(const std::string& Name);
TDataBits NameToDataBits(const std::string& Name);
TParityBits NameToParity(const std::string& Name);
TFlowControl NameToFlowControl(const std::string& Name);
TDTRFlowControl NameToDTRControl(const std::string& Name);
TRTSFlowControl NameToRTSControl(const std::string& Name);

// "Yes" / "No"; only "YES" in any case reads as true.
std::string BoolToName(bool Value);
bool NameToBool(const std::string& Name);
// Codes 33 to 127 as the character itself, every other code as "#" and the decimal code.
std::string CharToName(char Value);
char NameToChar(const std::string& Name);

}  // namespace tolvane
