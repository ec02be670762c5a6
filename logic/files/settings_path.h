// Where "Settings.ini" lives: beside the executable, found through /proc/self/exe so that the
// working directory plays no part. Where it cannot or must not be written there (a copy
// installed under /usr or /opt, or one of another user), the user's own copy in the
// configuration directory, $XDG_CONFIG_HOME/<program>/ or ~/.config/<program>/, takes the
// writes; it starts as a copy of the file beside the executable and, once it exists, is the file
// read.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tolvane {

inline constexpr std::string_view SettingsFileName = "Settings.ini";

// Whether a file can be created in Directory (it exists and we may write to it).
bool IsDirectoryWritable(const std::filesystem::path& Directory);

// Whether Directory holds programs installed on the system (below /usr or /opt). Such a copy
// keeps its settings per user also where it could write beside itself (run as root), so that
// no user's settings land in /usr/bin.
bool IsSystemProgramDirectory(const std::filesystem::path& Directory);

// The places the settings file may go; tests fill them with temporary directories.
struct TSettingsPlaces {
  std::filesystem::path ExecutableDirectory;  // empty when the executable cannot be found
  bool SystemDirectory = false;      // ExecutableDirectory holds installed programs (see above)
  std::string ProgramName;           // names the configuration subdirectory
  std::filesystem::path ConfigHome;  // the user's config directory; ignored unless absolute
  std::filesystem::path Home;        // $HOME
  std::function<bool(const std::filesystem::path&)> DirectoryWritable = IsDirectoryWritable;
};

// The file that is read and the file that saves go to. They differ only while the user's copy
// does not exist yet: the first save then creates it from the whole content of ReadPath.
struct TSettingsLocation {
  std::string ReadPath;
  std::string WritePath;
  bool CreateDirectory = false;  // the write path lies in a directory made on demand
};

// The places of the running program: /proc/self/exe and the environment.
TSettingsPlaces RunningProgramPlaces();

// The rule, in one place:
// - the file beside the executable, when it can be written there and the copy is not installed
//   on the system (or no user directory is known, so that the first write fails and reports
//   that path);
// - otherwise writes go to the user's copy; until that exists, the file beside the executable
//   is read when there is one, also when it cannot be read (its failure is then reported, and
//   the first save makes the user's copy from the values shown).
TSettingsLocation SettingsFileLocation(const TSettingsPlaces& Places);

}  // namespace tolvane
