#include "serialport/store/file_access.h"

#include <windows.h>

#include <string>

namespace tolvane {

bool MayReadFile(const std::filesystem::path& Path) {
  HANDLE File = CreateFileW(Path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) return false;
  CloseHandle(File);
  return true;
}

// Windows answers only by trying: a probe file that is gone again when its handle closes.
bool MayWriteInDirectory(const std::filesystem::path& Directory) {
  const std::filesystem::path Probe =
      Directory / (L".tolvane-probe-" + std::to_wstring(GetCurrentProcessId()));
  HANDLE File = CreateFileW(Probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (File == INVALID_HANDLE_VALUE) return false;
  CloseHandle(File);
  return true;
}

std::filesystem::path RunningExecutablePath() {
  std::wstring Path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = GetModuleFileNameW(nullptr, Path.data(), static_cast<DWORD>(Path.size()));
    if (Length == 0) return {};
    if (Length < Path.size()) {
      Path.resize(Length);
      return Path;
    }
    Path.resize(Path.size() * 2);
  }
}

}  // namespace tolvane
