// The backups of the controller's values: one values file per event in the history directory,
// $XDG_STATE_HOME/tolvane/history/ (by default ~/.local/state/tolvane/history/), named after the
// local date, time and event, "2026-12-08T14-02-11 before write.ini". Nothing is ever deleted
// here, so the last year is always kept.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "logic/transfer/value_backups.h"

namespace tolvane {

// The history directory for a state home and a home directory as the environment gives them;
// a state home that is not an absolute path is ignored, as the base-directory rules say. Empty
// when neither is known.
std::filesystem::path HistoryDirectory(const std::string& StateHome, const std::string& Home);
// The history directory of the running user, from $XDG_STATE_HOME and $HOME (or the password
// database).
std::filesystem::path UserHistoryDirectory();

// "2026-12-08T14-02-11 before write.ini" for that local time; Count above 1 adds " (2)" and so
// on, for a second backup of the same event within one second.
std::string BackupFileName(const std::tm& LocalTime, TBackupEvent Event, int Count = 1);

class THistoryBackups : public TValueBackups {
 public:
  using TClock = std::function<std::time_t()>;

  explicit THistoryBackups(
      std::filesystem::path Directory, TClock Clock = [] { return std::time(nullptr); })
      : Directory_(std::move(Directory)), Clock_(std::move(Clock)) {}

  const std::filesystem::path& Directory() const { return Directory_; }

  // Makes the directory when it is missing and writes a new file, never over an older backup.
  // Raises EIniFileException with the file and the reason when that fails.
  std::string Save(const TRegisterTexts& Values, TBackupEvent Event) override;

 private:
  std::filesystem::path Directory_;
  TClock Clock_;
};

}  // namespace tolvane
