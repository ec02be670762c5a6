#include "logic/protocol/field_check.h"

#include <array>
#include <cstdint>
#include <limits>

namespace tolvane {

namespace {

constexpr std::array<std::string_view, 5> HexPrefixes{"0x", "0X", "$", "x", "X"};

// Plain ASCII tests: std::isdigit and friends depend on the locale and on the sign of char.
int DigitValue(char Character, int Base) {
  int Value = -1;
  if (Character >= '0' && Character <= '9') Value = Character - '0';
  if (Character >= 'a' && Character <= 'f') Value = Character - 'a' + 10;
  if (Character >= 'A' && Character <= 'F') Value = Character - 'A' + 10;
  return Value < Base ? Value : -1;
}

}  // namespace

bool IsWholeInteger(std::string_view Text) {
  return WholeIntegerValue(Text).has_value();
}

std::optional<std::int32_t> WholeIntegerValue(std::string_view Text) {
  std::size_t Position = Text.find_first_not_of(' ');
  if (Position == std::string_view::npos) return std::nullopt;
  Text.remove_prefix(Position);

  bool Negative = false;
  if (Text.front() == '+' || Text.front() == '-') {
    Negative = Text.front() == '-';
    Text.remove_prefix(1);
  }

  int Base = 10;
  for (std::string_view Prefix : HexPrefixes) {
    if (Text.starts_with(Prefix)) {
      Base = 16;
      Text.remove_prefix(Prefix.size());
      break;
    }
  }

  if (Text.empty()) return std::nullopt;
  // One past the largest magnitude: -2147483648 is allowed, +2147483648 is not.
  const std::int64_t Limit =
      static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + (Negative ? 1 : 0);
  std::int64_t Magnitude = 0;
  for (char Character : Text) {
    const int Digit = DigitValue(Character, Base);
    if (Digit < 0) return std::nullopt;
    Magnitude = Magnitude * Base + Digit;
    if (Magnitude > Limit) return std::nullopt;
  }
  return static_cast<std::int32_t>(Negative ? -Magnitude : Magnitude);
}

bool IsValidFieldText(std::string_view Text) {
  return IsWholeInteger(Text) && Text.size() == FieldTextLength;
}

}  // namespace tolvane
