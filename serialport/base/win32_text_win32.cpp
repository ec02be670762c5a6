#include "serialport/base/win32_text.h"

#include <windows.h>

namespace tolvane {

std::wstring WideText(const std::string& Utf8) {
  if (Utf8.empty()) return {};
  const int Length =
      MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), nullptr, 0);
  std::wstring Wide(static_cast<std::size_t>(Length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), Wide.data(), Length);
  return Wide;
}

std::string Utf8Text(const std::wstring& Wide) {
  if (Wide.empty()) return {};
  const int Length = WideCharToMultiByte(CP_UTF8, 0, Wide.data(), static_cast<int>(Wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string Utf8(static_cast<std::size_t>(Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Wide.data(), static_cast<int>(Wide.size()), Utf8.data(), Length,
                      nullptr, nullptr);
  return Utf8;
}

}  // namespace tolvane
