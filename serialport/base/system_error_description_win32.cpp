#include "serialport/base/system_error_description.h"

#include <windows.h>

#include <string>

#include "serialport/base/win32_text.h"

namespace tolvane {

// FormatMessageW's text in English where the system has it, else in the user's language,
// without the line end and the full stop that close it.
const char* SystemErrorDescription(int SystemErrorCode) {
  thread_local std::string Description;
  wchar_t* Buffer = nullptr;
  const DWORD Flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD Length = 0;
  for (const WORD Language :
       {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)}) {
    Length = FormatMessageW(Flags, nullptr, static_cast<DWORD>(SystemErrorCode), Language,
                            reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
    if (Length != 0) break;
  }
  if (Length == 0 || Buffer == nullptr) return nullptr;
  std::wstring Text(Buffer, Length);
  LocalFree(Buffer);
  while (!Text.empty() && (Text.back() == L'\r' || Text.back() == L'\n' || Text.back() == L' ' ||
                           Text.back() == L'.')) {
    Text.pop_back();
  }
  Description = Utf8Text(Text);
  return Description.c_str();
}

}  // namespace tolvane
