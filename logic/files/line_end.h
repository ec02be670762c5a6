// What the terminal adds to each line it sends: nothing (the line as typed), the controller's
// packet end ";", or a line end of a text terminal. The names are shown in the choice beside
// the send line and kept in Settings.ini.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tolvane {

enum class TLineEnd : std::uint8_t { leNone, leSemicolon, leCR, leLF, leCRLF };

struct TLineEndRow {
  TLineEnd LineEnd;
  std::string_view Name;
  std::string_view Bytes;
};

inline constexpr std::array<TLineEndRow, 5> LineEnds = {{
    {TLineEnd::leNone, "none", ""},
    {TLineEnd::leSemicolon, ";", ";"},
    {TLineEnd::leCR, "CR", "\r"},
    {TLineEnd::leLF, "LF", "\n"},
    {TLineEnd::leCRLF, "CR LF", "\r\n"},
}};

inline constexpr std::string_view LineEndSection = "Terminal";
inline constexpr std::string_view LineEndKey = "LineEnd";

constexpr const TLineEndRow& LineEndRow(TLineEnd LineEnd) {
  return LineEnds[static_cast<std::size_t>(LineEnd)];
}

// The line end of that name; nothing for a name that is none of them.
constexpr std::optional<TLineEnd> LineEndNamed(std::string_view Name) {
  for (const TLineEndRow& Row : LineEnds) {
    if (Row.Name == Name) return Row.LineEnd;
  }
  return std::nullopt;
}

}  // namespace tolvane
