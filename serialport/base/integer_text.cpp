#include "serialport/base/integer_text.h"

#include <charconv>

namespace tolvane {
namespace {

constexpr std::string_view HexPrefixLower = "0x";
constexpr std::string_view HexPrefixUpper = "0X";
constexpr std::size_t MaxHexDigits = 8;

bool Converts(std::string_view Digits, int Base, auto& Value) {
  const char* End = Digits.data() + Digits.size();
  const auto [Stop, Error] = std::from_chars(Digits.data(), End, Value, Base);
  return Error == std::errc() && Stop == End;
}

}  // namespace

std::optional<std::int32_t> ParseInteger(std::string_view Text) {
  if (Text.starts_with(HexPrefixLower) || Text.starts_with(HexPrefixUpper)) {
    const std::string_view Digits = Text.substr(HexPrefixLower.size());
    std::uint32_t Pattern = 0;
    if (Digits.empty() || Digits.size() > MaxHexDigits || !Converts(Digits, 16, Pattern)) {
      return std::nullopt;
    }
    return static_cast<std::int32_t>(Pattern);
  }
  // from_chars takes a minus sign but no plus sign.
  const bool HasPlus = Text.starts_with('+');
  if (HasPlus) Text.remove_prefix(1);
  if (Text.empty() || (HasPlus && Text[0] == '-')) return std::nullopt;
  std::int32_t Value = 0;
  if (!Converts(Text, 10, Value)) return std::nullopt;
  return Value;
}

}  // namespace tolvane
