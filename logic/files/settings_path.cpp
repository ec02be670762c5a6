#include "logic/files/settings_path.h"

#include <system_error>

#include "serialport/store/config_home.h"
#include "serialport/store/file_access.h"
#include "serialport/store/text_file.h"

namespace tolvane {

namespace {

constexpr const char* DefaultConfigDirectory = ".config";
constexpr const char* DefaultProgramName = "tolvane";

// $XDG_CONFIG_HOME/<program>, else ~/.config/<program>; empty when neither is known. A relative
// $XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
std::filesystem::path UserConfigDirectory(const TSettingsPlaces& Places) {
  const std::string Program = Places.ProgramName.empty() ? DefaultProgramName : Places.ProgramName;
  if (Places.ConfigHome.is_absolute()) return Places.ConfigHome / Program;
  if (!Places.Home.empty()) return Places.Home / DefaultConfigDirectory / Program;
  return {};
}

}  // namespace

bool IsDirectoryWritable(const std::filesystem::path& Directory) {
  std::error_code Error;
  return std::filesystem::is_directory(Directory, Error) && MayWriteInDirectory(Directory);
}

bool IsSystemProgramDirectory(const std::filesystem::path& Directory) {
  const std::filesystem::path Normal = Directory.lexically_normal();
  for (const char* Prefix : {"/usr", "/opt"}) {
    const std::filesystem::path Relative = Normal.lexically_relative(Prefix);
    if (!Relative.empty() && Relative != "." && *Relative.begin() != "..") return true;
  }
  return false;
}

TSettingsPlaces RunningProgramPlaces() {
  TSettingsPlaces Places;
  const std::filesystem::path Executable = RunningExecutablePath();
  if (!Executable.empty()) {
    Places.ExecutableDirectory = Executable.parent_path();
    Places.SystemDirectory = IsSystemProgramDirectory(Places.ExecutableDirectory);
    Places.ProgramName = Executable.filename().string();
  }
  Places.ConfigHome = UserConfigHome();
  return Places;
}

TSettingsLocation SettingsFileLocation(const TSettingsPlaces& Places) {
  const std::string Beside = (Places.ExecutableDirectory / SettingsFileName).string();
  const bool Known = !Places.ExecutableDirectory.empty();
  const std::filesystem::path ConfigDirectory = UserConfigDirectory(Places);
  const bool WritableBeside = Known && !Places.SystemDirectory &&
                              Places.DirectoryWritable(Places.ExecutableDirectory) &&
                              CanReplace(Beside);
  if (WritableBeside || ConfigDirectory.empty()) {
    return {Beside, Beside, false};
  }
  const std::string PerUser = (ConfigDirectory / SettingsFileName).string();
  std::error_code Error;
  const bool UserCopyExists = std::filesystem::exists(PerUser, Error);
  // A file beside the executable that cannot be read is still the one read until the user's
  // copy exists, so that its failure is reported rather than passed over for the defaults.
  if (!UserCopyExists && Known && std::filesystem::exists(Beside, Error)) {
    return {Beside, PerUser, true};
  }
  return {PerUser, PerUser, true};
}

}  // namespace tolvane
