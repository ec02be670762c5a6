#include "app/settings_path.h"

#include <unistd.h>

#include <system_error>

#include "serialport/config_home.h"

namespace tolvane {

namespace {

constexpr const char* RunningExecutableLink = "/proc/self/exe";
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
  return std::filesystem::is_directory(Directory, Error) &&
         ::access(Directory.c_str(), W_OK | X_OK) == 0;
}

TSettingsPlaces RunningProgramPlaces() {
  TSettingsPlaces Places;
  std::error_code Error;
  const std::filesystem::path Executable =
      std::filesystem::read_symlink(RunningExecutableLink, Error);
  if (!Error) {
    Places.ExecutableDirectory = Executable.parent_path();
    Places.ProgramName = Executable.filename().string();
  }
  Places.ConfigHome = UserConfigHome();
  return Places;
}

std::string SettingsFilePath(const TSettingsPlaces& Places) {
  const bool BesideExecutable =
      !Places.ExecutableDirectory.empty() && Places.DirectoryWritable(Places.ExecutableDirectory);
  const std::filesystem::path ConfigDirectory = UserConfigDirectory(Places);
  if (BesideExecutable || ConfigDirectory.empty()) {
    return (Places.ExecutableDirectory / SettingsFileName).string();
  }
  std::error_code Ignored;  // a failure shows up at the first write, with the path
  std::filesystem::create_directories(ConfigDirectory, Ignored);
  return (ConfigDirectory / SettingsFileName).string();
}

}  // namespace tolvane
