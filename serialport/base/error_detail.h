// The second line an operator reads under an error: which device or file, and the system's
// reason in the operator's language.
#pragma once

#include <string>

#include "serialport/base/translation.h"

namespace tolvane {

// "<device path>: <reason>" (the reason alone without a path), its texts looked up by Lookup.
// For a refused permission a second line says what the operator can do about it.
std::string DeviceErrorDetail(const std::string& DevicePath, int Code, const TTranslator& Lookup);
// The same with the installed translator, for a line that stands on its own.
std::string DeviceErrorDetail(const std::string& DevicePath, int Code);

}  // namespace tolvane
