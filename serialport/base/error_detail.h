// The second line an operator reads under an error: which device or file, and the system's
// reason in the operator's language (SystemErrorReason, serialport/base/system_error_cause.h).
#pragma once

#include <string>

namespace tolvane {

// "<device path>: <reason>" (the reason alone without a path). For a refused permission a
// second line says what the operator can do about it.
std::string DeviceErrorDetail(const std::string& DevicePath, int Code);

}  // namespace tolvane
