// "Settings.ini": the port's section, written and read by the port's settings store, and the
// section "Settings" with the eleven field texts under the register table's keys, in table
// order. Neither direction checks the values; a missing key reads as the row's default.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "app/field_texts.h"
#include "app/port_section.h"

namespace tolvane {

inline constexpr std::string_view SettingsSection = "Settings";

class TSettingsFile {
 public:
  TSettingsFile(std::string Path, TPortSection& Port, TFieldTexts& Fields)
      : Path_(std::move(Path)), Port_(Port), Fields_(Fields) {}

  const std::string& Path() const { return Path_; }
  bool Exists() const;

  // Writes the port's section, then the eleven keys. A failing port step skips the keys; a
  // failing key raises the INI layer's "Unable to write to <path>" and skips the rest.
  void StoreSet();
  // Reads the port's section, then the eleven keys into the fields. A failing port step skips
  // the keys and leaves the fields as they are.
  void LoadSet();

 private:
  std::string Path_;
  TPortSection& Port_;
  TFieldTexts& Fields_;
};

}  // namespace tolvane
