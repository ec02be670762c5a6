// Where "Settings.ini" lives: beside the executable, found through /proc/self/exe so that the
// working directory plays no part. An installed copy (say under /usr/bin) cannot write there,
// so when the executable's directory is not writable the file goes to the user's configuration
// directory instead, $XDG_CONFIG_HOME/<program>/ or ~/.config/<program>/, created on demand.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tolvane {

inline constexpr std::string_view SettingsFileName = "Settings.ini";

// Whether a file can be created in Directory (it exists and we may write to it).
bool IsDirectoryWritable(const std::filesystem::path& Directory);

// The places the settings file may go; tests fill them with temporary directories.
struct TSettingsPlaces {
  std::filesystem::path ExecutableDirectory;  // empty when the executable cannot be found
  std::string ProgramName;                    // names the configuration subdirectory
  std::filesystem::path ConfigHome;  // the user's config directory; ignored unless absolute
  std::filesystem::path Home;        // $HOME
  std::function<bool(const std::filesystem::path&)> DirectoryWritable = IsDirectoryWritable;
};

// The places of the running program: /proc/self/exe and the environment.
TSettingsPlaces RunningProgramPlaces();

// The settings file path for Places, creating the configuration directory when the file goes
// there. If that directory cannot be created the path is still returned: the first write then
// fails and reports the path.
std::string SettingsFilePath(const TSettingsPlaces& Places);

}  // namespace tolvane
