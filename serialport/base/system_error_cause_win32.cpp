// The causes of Windows system error codes (GetLastError, and Winsock's for sockets), and the
// codes of the component's own refusals.
#include "serialport/base/system_error_cause.h"
#include "serialport/base/system_error_codes.h"

// Winsock before windows.h, which would bring in the old Winsock otherwise.
#include <winsock2.h>

#include <windows.h>

namespace tolvane {
namespace {

constexpr int NoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE, missing from the mingw headers

}  // namespace

// What Windows itself says in the same cases: a COM port that someone holds is refused with
// "access denied".
const int NotOpenErrorCode = ERROR_INVALID_HANDLE;
const int BusyErrorCode = ERROR_ACCESS_DENIED;
const int InvalidArgumentErrorCode = ERROR_INVALID_PARAMETER;
const int CancelledErrorCode = ERROR_OPERATION_ABORTED;
const int InProgressErrorCode = ERROR_IO_INCOMPLETE;

TSystemErrorCause SystemErrorCauseOf(int SystemErrorCode) {
  switch (SystemErrorCode) {
    // What drivers answer once their adapter is unplugged or the far end has gone.
    case ERROR_GEN_FAILURE:
    case ERROR_BAD_COMMAND:
    case ERROR_NOT_READY:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case NoSuchDevice:
    case ERROR_IO_DEVICE:
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED:
    case ERROR_NETNAME_DELETED:
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAETIMEDOUT:
    case WSAENOTCONN:
    case WSAENETDOWN:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
      return TSystemErrorCause::LineLost;
    // A port that another program holds is refused with "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return TSystemErrorCause::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return TSystemErrorCause::Missing;
    default:
      return TSystemErrorCause::Other;
  }
}

}  // namespace tolvane
