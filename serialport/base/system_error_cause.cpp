#include "serialport/base/system_error_cause.h"

#include <cerrno>
#include <cstring>

#include "serialport/base/translation.h"

namespace tolvane {
namespace {

constexpr const char* UnknownReason = "Unknown error %d";

}  // namespace

TSystemErrorCause SystemErrorCauseOf(int SystemErrorCode) {
  switch (SystemErrorCode) {
    case EIO:
    case ENXIO:
    case ENODEV:
      return TSystemErrorCause::LineLost;
    case EACCES:
    case EPERM:
      return TSystemErrorCause::Permission;
    case EBUSY:
      return TSystemErrorCause::Busy;
    case ENOENT:
      return TSystemErrorCause::Missing;
    default:
      return TSystemErrorCause::Other;
  }
}

std::string SystemErrorReason(int SystemErrorCode) {
  // The untranslated description, whatever the process's locale: the catalogs translate it.
  if (const char* Description = strerrordesc_np(SystemErrorCode)) return Translate(Description);
  return TranslateFilled(UnknownReason, "%d", std::to_string(SystemErrorCode));
}

}  // namespace tolvane
