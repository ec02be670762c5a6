#include "serialport/store/config_home.h"

#include <shlobj.h>
#include <windows.h>

#include "serialport/base/win32_text.h"

namespace tolvane {
namespace {

std::string KnownFolder(const KNOWNFOLDERID& Folder) {
  wchar_t* Path = nullptr;
  std::string Found;
  if (SHGetKnownFolderPath(Folder, 0, nullptr, &Path) == S_OK) Found = Utf8Text(Path);
  CoTaskMemFree(Path);
  return Found;
}

}  // namespace

// %APPDATA%, the roaming application data: the configuration follows the user.
std::string UserConfigHome() {
  return KnownFolder(FOLDERID_RoamingAppData);
}

std::string UserHomeDirectory() {
  return KnownFolder(FOLDERID_Profile);
}

std::string UserStateHome() {
  return KnownFolder(FOLDERID_LocalAppData);
}

}  // namespace tolvane
