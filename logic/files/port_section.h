// The port's own section of the settings file, which the port's settings store writes and reads.
// The settings file goes through this seam so that it can be tested without a port.
#pragma once

#include <string>

#include "serialport/store/ini_file.h"

namespace tolvane {

class TPortSection {
 public:
  virtual ~TPortSection() = default;
  // Both raise the port's settings error on failure. Store writes inside one transaction of
  // IniFile, joining the caller's when one is open.
  virtual void Store(TIniFile& IniFile) = 0;
  virtual void Load(const std::string& Path) = 0;
};

}  // namespace tolvane
