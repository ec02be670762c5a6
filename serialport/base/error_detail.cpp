#include "serialport/base/error_detail.h"

#include "serialport/base/system_error_cause.h"
#include "serialport/base/translation.h"

namespace tolvane {
namespace {

constexpr const char* PermissionHint = "Add your user to the 'dialout' group, then log in again.";

}  // namespace

std::string DeviceErrorDetail(const std::string& DevicePath, int Code) {
  std::string Detail = SystemErrorReason(Code);
  if (!DevicePath.empty()) Detail = DevicePath + ": " + Detail;
  if (SystemErrorCauseOf(Code) == TSystemErrorCause::Permission)
    Detail += '\n' + Translate(PermissionHint);
  return Detail;
}

}  // namespace tolvane
