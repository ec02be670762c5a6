#include "logic/files/history_backups.h"

#include <cstdio>
#include <mutex>
#include <system_error>
#include <vector>

#include "logic/files/values_file.h"
#include "serialport/base/error_detail.h"
#include "serialport/base/system_error_cause.h"
#include "serialport/store/config_home.h"
#include "serialport/store/ini_file.h"

namespace tolvane {
namespace {

constexpr const char* DefaultStateSubdirectory = ".local/state";
constexpr const char* HistorySubdirectory = "tolvane/history";

}  // namespace

std::filesystem::path HistoryDirectory(const std::string& StateHome, const std::string& Home) {
  // Made preferred, so that a name shown on Windows has one kind of separator throughout.
  const std::filesystem::path State(StateHome);
  std::filesystem::path Directory;
  if (State.is_absolute()) {
    Directory = State / HistorySubdirectory;
  } else if (!Home.empty()) {
    Directory = std::filesystem::path(Home) / DefaultStateSubdirectory / HistorySubdirectory;
  }
  return Directory.make_preferred();
}

std::filesystem::path UserHistoryDirectory() {
  return HistoryDirectory(UserStateHome(), UserHomeDirectory());
}

std::string BackupFileName(const std::tm& LocalTime, TBackupEvent Event, int Count) {
  char Stamp[32];
  std::strftime(Stamp, sizeof Stamp, "%Y-%m-%dT%H-%M-%S", &LocalTime);
  std::string Name = std::string(Stamp) + " " + std::string(BackupEventName(Event));
  if (Count > 1) Name += " (" + std::to_string(Count) + ")";
  return Name + ".ini";
}

std::string THistoryBackups::Save(const TRegisterTexts& Values, TBackupEvent Event) {
  if (Directory_.empty()) {
    throw EIniFileException::UnableToWrite(
        "the history directory", "neither $XDG_STATE_HOME nor the home directory is known");
  }
  std::error_code Error;
  std::filesystem::create_directories(Directory_, Error);
  if (Error) {
    throw EIniFileException::UnableToWrite(Directory_.string(), SystemErrorReason(Error.value()));
  }
  const std::time_t Now = Clock_();
  std::tm LocalTime{};
  {
    // std::localtime's result is shared by the process; localtime_r is not everywhere.
    static std::mutex LocalTimeMutex;
    const std::lock_guard Lock(LocalTimeMutex);
    LocalTime = *std::localtime(&Now);
  }
  std::filesystem::path Path;
  for (int Count = 1;; ++Count) {
    Path = Directory_ / BackupFileName(LocalTime, Event, Count);
    const bool Taken = std::filesystem::exists(Path, Error);
    if (!Taken || Error) break;  // an error shows up, with the reason, at the write
  }
  WriteValuesFile(Path.string(), Values);
  return Path.string();
}

}  // namespace tolvane
