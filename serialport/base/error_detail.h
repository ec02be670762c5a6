// The second line an operator reads under an error: which device or file, and the system's
// reason in the operator's language.
#pragma once

#include <string>
#include <vector>

#include "serialport/base/translation.h"

namespace tolvane {

// The system's reason for the error code Code (an errno value): the C library's English
// description, passed through the translation catalogs like the component's other texts.
std::string SystemErrorReason(int Code);

// The untranslated texts the reason for Code is made of: the C library's English description, or
// "Unknown error %d" for a code it does not know; with the hint for a refused permission.
std::vector<std::string> SystemErrorTexts(int Code);

// The reason for Code with its texts looked up by Lookup ("%d" filled in afterwards).
std::string SystemErrorReason(int Code, const TTranslator& Lookup);

// "<device path>: <reason>" (the reason alone without a path), its texts looked up by Lookup.
// For a refused permission (EACCES, EPERM) a second line says what the operator can do about it.
std::string DeviceErrorDetail(const std::string& DevicePath, int Code, const TTranslator& Lookup);
// The same with the installed translator, for a line that stands on its own.
std::string DeviceErrorDetail(const std::string& DevicePath, int Code);

}  // namespace tolvane
