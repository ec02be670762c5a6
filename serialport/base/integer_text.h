// Reading integers from stored text, shared by the INI layer, the registry stand-in and the
// character converter.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tolvane {

// Decimal with an optional sign, or "0x"/"0X" followed by one to eight hexadecimal digits taken
// as a 32-bit pattern ("0xFFFFFFFF" is -1). Blanks, other characters or a decimal value outside
// the 32-bit range make the text no integer.
std::optional<std::int32_t> ParseInteger(std::string_view Text);

}  // namespace tolvane
