#include "serialport/base/error_detail.h"

#include "serialport/base/system_error_cause.h"

namespace tolvane {

std::string DeviceErrorDetail(const std::string& DevicePath, int Code, const TTranslator& Lookup) {
  std::string Detail = SystemErrorReason(Code, Lookup);
  if (!DevicePath.empty()) Detail = DevicePath + ": " + Detail;
  if (SystemErrorCauseOf(Code) == TSystemErrorCause::Permission) {
    Detail += '\n' + Lookup(std::string(PermissionHint));
  }
  return Detail;
}

std::string DeviceErrorDetail(const std::string& DevicePath, int Code) {
  return DeviceErrorDetail(DevicePath, Code, Translate);
}

}  // namespace tolvane
