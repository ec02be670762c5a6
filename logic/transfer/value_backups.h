// Where the controller's values are kept before they are overwritten: one file per event, so
// that any earlier state can be opened again and written back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "logic/transfer/register_transfer.h"

namespace tolvane {

enum class TBackupEvent : std::uint8_t { AfterRead, BeforeWrite };

// "after read", "before write": the words in the backup's file name.
constexpr std::string_view BackupEventName(TBackupEvent Event) {
  return Event == TBackupEvent::AfterRead ? "after read" : "before write";
}

class TValueBackups {
 public:
  virtual ~TValueBackups() = default;
  // Saves the eleven values and returns the file written; raises when nothing could be saved.
  virtual std::string Save(const TRegisterTexts& Values, TBackupEvent Event) = 0;
};

}  // namespace tolvane
