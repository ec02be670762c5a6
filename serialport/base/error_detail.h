// The second line an operator reads under an error: which device or file, and the system's
// reason in the operator's language.
#pragma once

#include <string>

namespace tolvane {

// The system's reason for the error code Code (an errno value): the C library's English
// description, passed through the translation catalogs like the component's other texts.
std::string SystemErrorReason(int Code);

// "<device path>: <reason>" (the reason alone without a path). For a refused permission
// (EACCES, EPERM) a second line says what the operator can do about it.
std::string DeviceErrorDetail(const std::string& DevicePath, int Code);

}  // namespace tolvane
