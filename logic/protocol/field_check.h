// The check a settings field passes before it is written to the controller: a whole integer
// written in exactly five characters. The text is then sent exactly as typed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tolvane {

inline constexpr std::size_t FieldTextLength = 5;

// Whole-integer syntax: optional leading spaces, an optional "+" or "-", then decimal digits, or
// hexadecimal digits (either case) after "$", "x", "X", "0x" or "0X"; nothing may follow the
// digits. The value must fit in a signed 32-bit integer, so "2147483648" fails; a five-character
// text can never come near that limit.
bool IsWholeInteger(std::string_view Text);
// The value of a text in that syntax; nothing for a text that is not a whole integer.
std::optional<std::int32_t> WholeIntegerValue(std::string_view Text);

// The field check: a whole integer of exactly FieldTextLength characters.
bool IsValidFieldText(std::string_view Text);

}  // namespace tolvane
