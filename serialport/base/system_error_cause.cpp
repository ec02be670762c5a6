#include "serialport/base/system_error_cause.h"

#include "serialport/base/system_error_description.h"
#include "serialport/base/translation.h"

namespace tolvane {
namespace {

constexpr const char* UnknownReason = "Unknown error %d";

// The untranslated description, whatever the process's locale: the catalogs translate it.
std::string ReasonText(int Code) {
  if (const char* Description = SystemErrorDescription(Code)) return Description;
  return UnknownReason;
}

}  // namespace

std::string SystemErrorReason(int SystemErrorCode, const TTranslator& Lookup) {
  std::string Reason = Lookup(ReasonText(SystemErrorCode));
  if (SystemErrorDescription(SystemErrorCode) == nullptr) {
    const std::size_t At = Reason.find("%d");
    if (At != std::string::npos) Reason.replace(At, 2, std::to_string(SystemErrorCode));
  }
  return Reason;
}

std::string SystemErrorReason(int SystemErrorCode) {
  return SystemErrorReason(SystemErrorCode, Translate);
}

std::vector<std::string> SystemErrorTexts(int SystemErrorCode) {
  std::vector<std::string> Texts = {ReasonText(SystemErrorCode)};
  if (SystemErrorCauseOf(SystemErrorCode) == TSystemErrorCause::Permission) {
    Texts.emplace_back(PermissionHint);
  }
  return Texts;
}

}  // namespace tolvane
