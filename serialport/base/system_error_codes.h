// The system error codes the component gives for its own refusals, in the platform's numbering
// (errno values on POSIX, GetLastError's codes on Windows), so that a port error and the
// operator's reason name them in the system's own words. Each platform's system_error_cause
// file defines them.
#pragma once

namespace tolvane {

extern const int NotOpenErrorCode;          // a call on a device that is not open or is closing
extern const int BusyErrorCode;             // an open of a device that is open already
extern const int InvalidArgumentErrorCode;  // a setting or argument no device can take
extern const int CancelledErrorCode;        // a call that an abort or a cancel ended
extern const int InProgressErrorCode;       // the result of a transfer that has not ended yet

}  // namespace tolvane
