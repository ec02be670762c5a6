#include "logic/files/settings_file.h"

#include <filesystem>
#include <system_error>

#include "logic/protocol/register_table.h"
#include "serialport/store/text_file.h"

namespace tolvane {

std::string TSettingsFile::ReadPath() const {
  std::error_code Error;
  if (Location_.WritePath != Location_.ReadPath &&
      std::filesystem::exists(Location_.WritePath, Error)) {
    return Location_.WritePath;
  }
  return Location_.ReadPath;
}

bool TSettingsFile::Exists() const {
  std::error_code Error;
  return std::filesystem::exists(ReadPath(), Error);
}

std::optional<int> TSettingsFile::ReadError() const {
  try {
    ReadFileHead(ReadPath(), 1);
  } catch (const std::system_error& Error) {
    return Error.code().value();
  }
  return std::nullopt;
}

// The user's copy starts from the file read until now, so nothing of it is lost.
TIniFile TSettingsFile::FileForWriting() const {
  if (Location_.CreateDirectory) {
    std::error_code Ignored;  // a missing directory shows up at the write, with the path
    std::filesystem::create_directories(std::filesystem::path(Location_.WritePath).parent_path(),
                                        Ignored);
  }
  // A file read that cannot be read seeds nothing: the copy starts from the values shown.
  const std::string Read = ReadPath();
  const bool Seeds = Read != Location_.WritePath && !ReadError();
  return TIniFile(Location_.WritePath, Seeds ? Read : std::string());
}

void TSettingsFile::StoreSet() {
  TIniFile IniFile = FileForWriting();
  const std::string Section(SettingsSection);
  IniFile.Update([&] {
    Port_.Store(IniFile);
    for (std::size_t Row = 0; Row < RegisterTable.size(); ++Row) {
      IniFile.WriteString(Section, std::string(RegisterTable[Row].FileKey), Fields_.FieldText(Row));
    }
  });
}

void TSettingsFile::StorePortSection() {
  TIniFile IniFile = FileForWriting();
  Port_.Store(IniFile);
}

void TSettingsFile::LoadSet() {
  const std::string Path = ReadPath();
  Port_.Load(Path);
  TIniFile IniFile(Path);
  const std::string Section(SettingsSection);
  for (std::size_t Row = 0; Row < RegisterTable.size(); ++Row) {
    const TRegisterRow& Register = RegisterTable[Row];
    Fields_.SetFieldText(Row, IniFile.ReadString(Section, std::string(Register.FileKey),
                                                 std::string(Register.Default)));
  }
}

std::string TSettingsFile::ReadKey(std::string_view Section, std::string_view Key,
                                   const std::string& Default) const {
  return TIniFile(ReadPath()).ReadString(std::string(Section), std::string(Key), Default);
}

void TSettingsFile::StoreKey(std::string_view Section, std::string_view Key,
                             const std::string& Value) {
  FileForWriting().WriteString(std::string(Section), std::string(Key), Value);
}

}  // namespace tolvane
