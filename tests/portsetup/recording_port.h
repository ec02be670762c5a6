// A port that records when its settings are applied, for tests of what the selectors and the
// dialog assign and when.
#pragma once

#include <string>
#include <vector>

#include "serialport/base/com_error.h"
#include "serialport/base/value_names.h"
#include "serialport/port/com_port.h"

namespace tolvane {

class TRecordingPort : public TComPort {
 public:
  using TComPort::TComPort;

  // "line" for each line-settings apply a setter asked for, "apply <settings>" for each
  // ApplySettings, which only the end of the outermost configuration bracket calls here.
  std::vector<std::string> Log;
  // Makes the next line-settings apply raise, as a driver refusing the settings would.
  bool RefuseLineSettings = false;

  std::string Summary() const {
    return Port() + " " + BaudRateToName(BaudRate()) + " " + DataBitsToName(DataBits()) + " " +
           StopBitsToName(StopBits()) + " " + ParityToName(Parity().Bits()) + " " +
           FlowControlToName(FlowControl().FlowControl());
  }

 protected:
  void ApplySettings() override {
    Log.push_back("apply " + Summary());
    InApplySettings_ = true;
    try {
      TComPort::ApplySettings();
    } catch (...) {
      InApplySettings_ = false;
      throw;
    }
    InApplySettings_ = false;
  }
  void ApplyLineSettings() override {
    if (InApplySettings_) return TComPort::ApplyLineSettings();  // part of "apply"
    Log.push_back("line");
    if (RefuseLineSettings) {
      RefuseLineSettings = false;
      throw EComPort(CError_SetStateFailed, 22);
    }
    TComPort::ApplyLineSettings();
  }

 private:
  bool InApplySettings_ = false;
};

}  // namespace tolvane
