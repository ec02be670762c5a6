// Texts between the component (UTF-8) and the Windows calls (UTF-16). Windows only.
#pragma once

#include <string>

namespace tolvane {

std::wstring WideText(const std::string& Utf8);
std::string Utf8Text(const std::wstring& Wide);

}  // namespace tolvane
