#include "serialport/base/system_error_description_win32.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include "serialport/base/system_error_description.h"
#include "serialport/base/win32_text.h"

namespace tolvane {
namespace {

// The codes of the descriptions handed out so far, by their English text: a translator is given
// the text alone.
std::mutex CodesMutex;
std::map<std::string, DWORD>& CodesByDescription() {
  static std::map<std::string, DWORD> Codes;
  return Codes;
}

// FormatMessageW's text for Code in Language, without the line end and the full stop that close
// it; empty when the system has none in that language.
std::string FormattedMessage(DWORD Code, WORD Language) {
  wchar_t* Buffer = nullptr;
  const DWORD Flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  const DWORD Length = FormatMessageW(Flags, nullptr, Code, Language,
                                      reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
  if (Length == 0 || Buffer == nullptr) return {};
  std::wstring Text(Buffer, Length);
  LocalFree(Buffer);
  while (!Text.empty() && (Text.back() == L'\r' || Text.back() == L'\n' || Text.back() == L' ' ||
                           Text.back() == L'.')) {
    Text.pop_back();
  }
  return Utf8Text(Text);
}

// The system's language identifier for "de_DE" or "de"; 0 when it knows neither.
WORD LanguageId(const std::string& Language) {
  std::string Name = Language;
  for (char& Character : Name) {
    if (Character == '_') Character = '-';
  }
  for (const std::string& Tried : {Name, Name.substr(0, Name.find('-'))}) {
    const LCID Locale = LocaleNameToLCID(WideText(Tried).c_str(), 0);
    if (Locale != 0) return LANGIDFROMLCID(Locale);
  }
  return 0;
}

}  // namespace

// In English where the system has it, else in the user's language.
const char* SystemErrorDescription(int SystemErrorCode) {
  thread_local std::string Description;
  const DWORD Code = static_cast<DWORD>(SystemErrorCode);
  Description = FormattedMessage(Code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (Description.empty())
    Description = FormattedMessage(Code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
  if (Description.empty()) return nullptr;
  const std::lock_guard Lock(CodesMutex);
  CodesByDescription().emplace(Description, Code);
  return Description.c_str();
}

std::optional<std::string> SystemErrorDescriptionIn(const std::string& Description,
                                                    const std::string& Language) {
  DWORD Code = 0;
  {
    const std::lock_guard Lock(CodesMutex);
    const auto Found = CodesByDescription().find(Description);
    if (Found == CodesByDescription().end()) return std::nullopt;
    Code = Found->second;
  }
  const WORD Id = LanguageId(Language);
  if (Id == 0) return std::nullopt;
  std::string Text = FormattedMessage(Code, Id);
  if (Text.empty()) return std::nullopt;
  return Text;
}

}  // namespace tolvane
