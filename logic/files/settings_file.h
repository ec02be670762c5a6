// "Settings.ini": the port's section, written and read by the port's settings store, and the
// section "Settings" with the eleven field texts under the register table's keys, in table
// order. Neither direction checks the values; a missing key reads as the row's default.
//
// Each store is one atomic save of the file. Where the file is read and written is the
// location's business (app/settings_path.h); when the write path is the user's copy that does
// not exist yet, the first save makes it from the whole file read so far, and from then on that
// copy is the file read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "logic/files/port_section.h"
#include "logic/files/settings_path.h"
#include "logic/protocol/field_texts.h"
#include "serialport/store/ini_file.h"

namespace tolvane {

inline constexpr std::string_view SettingsSection = "Settings";

class TSettingsFile {
 public:
  TSettingsFile(TSettingsLocation Location, TPortSection& Port, TFieldTexts& Fields)
      : Location_(std::move(Location)), Port_(Port), Fields_(Fields) {}
  // One file, read and written in place.
  TSettingsFile(const std::string& Path, TPortSection& Port, TFieldTexts& Fields)
      : TSettingsFile(TSettingsLocation{Path, Path}, Port, Fields) {}

  // The file read now: the write path once it exists.
  std::string ReadPath() const;
  bool Exists() const;
  // The system's error code when the file exists but cannot be read (its keys then read as
  // their defaults); nothing when it is readable or missing.
  std::optional<int> ReadError() const;

  // Writes the port's section, then the eleven keys, in one save. A failing port step skips
  // the keys; a failing key raises the INI layer's "Unable to write to <path>" and skips the
  // rest. What was written before a failure is saved.
  void StoreSet();
  // Writes the port's section alone, in one save.
  void StorePortSection();
  // Reads the port's section, then the eleven keys into the fields. A failing port step skips
  // the keys and leaves the fields as they are.
  void LoadSet();

  // One key of a section of the window's own (the terminal's line end, for one): read from the
  // file read now, Default when missing; written alone, in one save.
  std::string ReadKey(std::string_view Section, std::string_view Key,
                      const std::string& Default) const;
  void StoreKey(std::string_view Section, std::string_view Key, const std::string& Value);

 private:
  TIniFile FileForWriting() const;

  TSettingsLocation Location_;
  TPortSection& Port_;
  TFieldTexts& Fields_;
};

}  // namespace tolvane
