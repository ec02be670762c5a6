// The installed ports on Windows: the values of the registry's serial map,
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, whose data are the port names (COM1, COM3, ...). Windows
// has no second, stable name for an adapter, so there is one group.
#include "serialport/device/port_list.h"

#include <algorithm>
#include <cctype>

#include "serialport/base/com_error.h"
#include "serialport/base/win32_text.h"
#include "serialport/device/platform_device.h"

// After the component's headers: windows.h defines the same communications constants as
// macros.
#include <windows.h>

namespace tolvane {
namespace {

constexpr const wchar_t* SerialMap = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::string Upper(std::string Text) {
  for (char& Character : Text)
    Character = static_cast<char>(std::toupper(static_cast<unsigned char>(Character)));
  return Text;
}

// COM2 before COM10: by length, then character by character, letter case aside.
bool ComesFirst(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return A.size() < B.size();
  return Upper(A) < Upper(B);
}

}  // namespace

void ListComPorts(std::vector<std::string>& Strings, const TPortPlaces&) {
  HKEY Key = nullptr;
  const LSTATUS Opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, SerialMap, 0, KEY_READ, &Key);
  if (Opened == ERROR_FILE_NOT_FOUND) {  // no serial port has ever been installed
    Strings.clear();
    return;
  }
  if (Opened != ERROR_SUCCESS) throw EComPort(CError_RegError, static_cast<int>(Opened));
  std::vector<std::string> Found;
  for (DWORD Index = 0;; ++Index) {
    wchar_t Name[256];
    DWORD NameLength = 256;
    wchar_t Data[256];
    DWORD DataSize = sizeof Data;
    DWORD Type = 0;
    const LSTATUS Read = RegEnumValueW(Key, Index, Name, &NameLength, nullptr, &Type,
                                       reinterpret_cast<BYTE*>(Data), &DataSize);
    if (Read == ERROR_NO_MORE_ITEMS) break;
    if (Read != ERROR_SUCCESS || Type != REG_SZ) continue;
    std::wstring Port(Data, DataSize / sizeof(wchar_t));
    while (!Port.empty() && Port.back() == L'\0') Port.pop_back();
    if (!Port.empty()) Found.push_back(Utf8Text(Port));
  }
  RegCloseKey(Key);
  std::sort(Found.begin(), Found.end(), ComesFirst);
  Strings = std::move(Found);
}

bool NameTheSameDevice(const std::string& A, const std::string& B, const std::string&) {
  if (A.empty() || B.empty()) return false;
  return Upper(PlatformDevicePath(A)) == Upper(PlatformDevicePath(B));
}

}  // namespace tolvane
