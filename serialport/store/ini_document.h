// The text of an INI file held as it was read: section headers in square brackets, lines of
// key=value, and every other line (comments, blanks, anything unrecognised) kept untouched.
// Changing a value rewrites only that one line, so the order of sections and keys survives.
//
// Lookup of sections and keys ignores ASCII case and surrounding blanks. The first matching
// key of the first sections of that name wins, for reading and for replacing alike. A value
// with surrounding blanks, or one that is itself enclosed in double quotes, is written inside a
// pair of double quotes, which reading removes again, so every storable value reads back as it
// was written.
//
// A UTF-8 byte-order mark at the start (as some editors write) is set aside when the text is
// read and put back in front when it is written. Line ends follow the text's own convention.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

class TIniDocument {
 public:
  explicit TIniDocument(std::string Text = {});

  // Names that SetValue and AddSection accept: nothing that could end a line, open a comment
  // or a section, or split a key from its value.
  static bool IsStorableSection(std::string_view Section);
  static bool IsStorableKey(std::string_view Key);
  static bool IsStorableValue(std::string_view Value);

  std::optional<std::string> Value(std::string_view Section, std::string_view Key) const;
  bool HasSection(std::string_view Section) const;

  // Replaces the key's value in place, or adds the key at the end of its section, or adds the
  // section at the end of the text. The names and value must be storable.
  void SetValue(std::string_view Section, std::string_view Key, std::string_view Value);
  // Adds an empty section at the end unless one of that name exists.
  void AddSection(std::string_view Section);

  // The whole text, with the byte-order mark it was read with.
  std::string Text() const;

 private:
  std::string LineEnd() const;
  void AppendLine(std::string_view Line);
  void InsertLineAt(std::size_t Position, std::string_view Line);

  std::string Text_;  // without the byte-order mark
  bool ByteOrderMark_ = false;
};

}  // namespace tolvane
