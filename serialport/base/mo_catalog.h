// A GNU gettext message catalog (.mo file) read by the component itself, for systems whose C
// library has no gettext (Windows): the file's original texts and their translations, looked up
// by the original. Either byte order and both revisions of the format are read; a text with a
// plural takes its singular as the key and its first form as the translation; the header (the
// empty original) is left out. A file that is not a catalog, or whose tables point outside it,
// is refused as a whole.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tolvane {

class TMoCatalog {
 public:
  // The catalog in Bytes (a whole .mo file), or none when they are not one.
  static std::optional<TMoCatalog> Parse(std::string_view Bytes);

  // The translation of Original, or null when the catalog has none.
  const std::string* Find(const std::string& Original) const;
  std::size_t Size() const { return Texts_.size(); }

 private:
  std::unordered_map<std::string, std::string> Texts_;
};

}  // namespace tolvane
