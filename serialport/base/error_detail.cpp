#include "serialport/base/error_detail.h"

#include <cerrno>
#include <cstring>

#include "serialport/base/translation.h"

namespace tolvane {
namespace {

constexpr const char* UnknownReason = "Unknown error %d";
constexpr const char* PermissionHint = "Add your user to the 'dialout' group, then log in again.";

bool IsRefusedPermission(int Code) {
  return Code == EACCES || Code == EPERM;
}

// The untranslated description, whatever the process's locale: the catalogs translate it.
std::string ReasonText(int Code) {
  if (const char* Description = strerrordesc_np(Code)) return Description;
  return UnknownReason;
}

}  // namespace

std::vector<std::string> SystemErrorTexts(int Code) {
  std::vector<std::string> Texts = {ReasonText(Code)};
  if (IsRefusedPermission(Code)) Texts.emplace_back(PermissionHint);
  return Texts;
}

std::string SystemErrorReason(int Code, const TTranslator& Lookup) {
  std::string Reason = Lookup(ReasonText(Code));
  if (strerrordesc_np(Code) == nullptr) {
    const std::size_t At = Reason.find("%d");
    if (At != std::string::npos) Reason.replace(At, 2, std::to_string(Code));
  }
  return Reason;
}

std::string SystemErrorReason(int Code) {
  return SystemErrorReason(Code, Translate);
}

std::string DeviceErrorDetail(const std::string& DevicePath, int Code, const TTranslator& Lookup) {
  std::string Detail = SystemErrorReason(Code, Lookup);
  if (!DevicePath.empty()) Detail = DevicePath + ": " + Detail;
  if (IsRefusedPermission(Code)) Detail += '\n' + Lookup(PermissionHint);
  return Detail;
}

std::string DeviceErrorDetail(const std::string& DevicePath, int Code) {
  return DeviceErrorDetail(DevicePath, Code, Translate);
}

}  // namespace tolvane
