#include "app/line_lost_message.h"

#include <system_error>

namespace tolvane {

std::string LineLostMessage(const std::string& Device, int SystemErrorCode) {
  return "Connection to " + Device + " lost: " + std::system_category().message(SystemErrorCode);
}

}  // namespace tolvane
