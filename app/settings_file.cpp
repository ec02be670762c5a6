#include "app/settings_file.h"

#include <filesystem>
#include <system_error>

#include "app/register_table.h"
#include "serialport/ini_file.h"

namespace tolvane {

bool TSettingsFile::Exists() const {
  std::error_code Error;
  return std::filesystem::exists(Path_, Error);
}

void TSettingsFile::StoreSet() {
  Port_.Store(Path_);
  TIniFile IniFile(Path_);
  const std::string Section(SettingsSection);
  for (std::size_t Row = 0; Row < RegisterTable.size(); ++Row) {
    IniFile.WriteString(Section, std::string(RegisterTable[Row].FileKey), Fields_.FieldText(Row));
  }
}

void TSettingsFile::LoadSet() {
  Port_.Load(Path_);
  TIniFile IniFile(Path_);
  const std::string Section(SettingsSection);
  for (std::size_t Row = 0; Row < RegisterTable.size(); ++Row) {
    const TRegisterRow& Register = RegisterTable[Row];
    Fields_.SetFieldText(Row, IniFile.ReadString(Section, std::string(Register.FileKey),
                                                 std::string(Register.Default)));
  }
}

}  // namespace tolvane
