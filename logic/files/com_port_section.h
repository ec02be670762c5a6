// The port's section of the settings file, kept by the port's own settings store in INI form.
#pragma once

#include <string>

#include "logic/files/port_section.h"
#include "serialport/port/com_port.h"

namespace tolvane {

class TComPortSection : public TPortSection {
 public:
  explicit TComPortSection(TCustomComPort& Port) : Port_(Port) {}

  void Store(TIniFile& IniFile) override { Port_.SaveSettings(IniFile); }
  void Load(const std::string& Path) override {
    Port_.RestoreSettings(TSettingsStore::ssIniFile, Path);
  }

 private:
  TCustomComPort& Port_;
};

}  // namespace tolvane
