// What a system error code means to the port and to the operator: the one place that sorts an
// errno value into a cause and gives its reason in words. The port, the devices, the error's
// detail line and the application's lost-line message all ask here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serialport/base/translation.h"

namespace tolvane {

enum class TSystemErrorCause : std::uint8_t {
  LineLost,    // the line is gone rather than one call failed: the far end hung up (EIO), or
               // the device itself vanished (ENXIO, ENODEV), as when a USB adapter is pulled,
               // or a network connection ended (reset, broken, timed out, unreachable)
  Permission,  // this user may not use the device or file (EACCES, EPERM)
  Busy,        // someone else holds the device (EBUSY)
  Missing,     // there is no such device or file (ENOENT)
  Other,
};

TSystemErrorCause SystemErrorCauseOf(int SystemErrorCode);

inline bool IsLineLostError(int SystemErrorCode) {
  return SystemErrorCauseOf(SystemErrorCode) == TSystemErrorCause::LineLost;
}

// What the operator can do about a refused permission.
inline constexpr const char* PermissionHint =
    "Add your user to the 'dialout' group, then log in again.";

// The system's reason for SystemErrorCode: the C library's English description, passed
// through the translation catalogs like the component's other texts.
std::string SystemErrorReason(int SystemErrorCode);
// The same, its text looked up by Lookup ("%d" of an unknown code filled in afterwards).
std::string SystemErrorReason(int SystemErrorCode, const TTranslator& Lookup);
// The untranslated texts the reason is made of: the C library's English description, or
// "Unknown error %d" for a code it does not know; with the hint for a refused permission.
std::vector<std::string> SystemErrorTexts(int SystemErrorCode);

}  // namespace tolvane
