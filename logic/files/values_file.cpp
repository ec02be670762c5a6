#include "logic/files/values_file.h"

#include <cerrno>
#include <system_error>

#include "logic/files/settings_file.h"
#include "logic/protocol/field_check.h"
#include "serialport/base/error_detail.h"
#include "serialport/base/system_error_cause.h"
#include "serialport/store/ini_document.h"
#include "serialport/store/ini_file.h"
#include "serialport/store/text_file.h"

namespace tolvane {
namespace {

std::string KeyName(std::size_t Row) {
  const TRegisterRow& Register = RegisterTable[Row];
  return std::string(Register.FileKey) + " (" + std::string(Register.Label) + ")";
}

TValuesFileContent Failed(std::string Problem, std::optional<std::size_t> Row = std::nullopt) {
  return {std::nullopt, std::move(Problem), Row};
}

}  // namespace

TValuesFileContent ReadValuesFile(const std::string& Path) {
  std::optional<TFileHead> Head;
  try {
    Head = ReadFileHead(Path, MaxSettingsFileSize);
  } catch (const std::system_error& Error) {
    return Failed(Path + ": " + SystemErrorReason(Error.code().value()));
  }
  if (!Head) return Failed(Path + ": " + SystemErrorReason(ENOENT));
  if (Head->Truncated) return Failed(Path + ": the file is too large for a values file.");

  if (Head->Content.empty()) return Failed(Path + ": the file is empty, not a values file.");
  const TIniDocument Document(std::move(Head->Content));
  if (!Document.HasSection(SettingsSection)) {
    return Failed(Path + ": not a values file: it has no section [" + std::string(SettingsSection) +
                  "].");
  }
  TRegisterTexts Values;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    const std::optional<std::string> Value =
        Document.Value(SettingsSection, RegisterTable[Row].FileKey);
    if (!Value) {
      return Failed(Path + ": the key " + KeyName(Row) + " is missing from the section [" +
                        std::string(SettingsSection) + "].",
                    Row);
    }
    if (!IsValidFieldText(*Value)) {
      return Failed(Path + ": the key " + KeyName(Row) + " holds \"" + *Value +
                        "\", which is not a whole number written in exactly 5 characters.",
                    Row);
    }
    Values[Row] = *Value;
  }
  return {Values, {}, std::nullopt};
}

void WriteValuesFile(const std::string& Path, const TRegisterTexts& Values) {
  TIniFile IniFile(Path);
  const std::string Section(SettingsSection);
  IniFile.Update([&] {
    for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
      IniFile.WriteString(Section, std::string(RegisterTable[Row].FileKey), Values[Row]);
    }
  });
}

}  // namespace tolvane
