// The causes of errno values, and the codes of the component's own refusals, on POSIX systems.
#include "serialport/base/system_error_cause.h"
#include "serialport/base/system_error_codes.h"

#include <cerrno>

namespace tolvane {

const int NotOpenErrorCode = EBADF;
const int BusyErrorCode = EBUSY;
const int InvalidArgumentErrorCode = EINVAL;
const int CancelledErrorCode = ECANCELED;
const int InProgressErrorCode = EINPROGRESS;

TSystemErrorCause SystemErrorCauseOf(int SystemErrorCode) {
  switch (SystemErrorCode) {
    case EIO:
    case ENXIO:
    case ENODEV:
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ETIMEDOUT:
    case ENOTCONN:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
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

}  // namespace tolvane
