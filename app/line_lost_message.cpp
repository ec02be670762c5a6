#include "app/line_lost_message.h"

#include "serialport/base/system_error_cause.h"

namespace tolvane {

std::string LineLostMessage(const std::string& Device, int SystemErrorCode) {
  return "Connection to " + Device + " lost: " + SystemErrorReason(SystemErrorCode);
}

}  // namespace tolvane
