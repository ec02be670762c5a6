#include "serialport/base/error_detail.h"

#include <cerrno>
#include <cstring>

#include "serialport/base/translation.h"

namespace tolvane {
namespace {

constexpr const char* UnknownReason = "Unknown error %d";
constexpr const char* PermissionHint = "Add your user to the 'dialout' group, then log in again.";

}  // namespace

std::string SystemErrorReason(int Code) {
  // The untranslated description, whatever the process's locale: the catalogs translate it.
  if (const char* Description = strerrordesc_np(Code)) return Translate(Description);
  return TranslateFilled(UnknownReason, "%d", std::to_string(Code));
}

std::string DeviceErrorDetail(const std::string& DevicePath, int Code) {
  std::string Detail = SystemErrorReason(Code);
  if (!DevicePath.empty()) Detail = DevicePath + ": " + Detail;
  if (Code == EACCES || Code == EPERM) Detail += '\n' + Translate(PermissionHint);
  return Detail;
}

}  // namespace tolvane
