// Whole-file access on Windows: wide-character paths throughout, the replace through a
// temporary file beside the target that is flushed and then moved over it with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH. Errors carry GetLastError's code.
#include "serialport/store/text_file.h"

#include <windows.h>

#include "serialport/base/win32_text.h"

namespace tolvane {
namespace {

[[noreturn]] void ThrowLastError(const char* What) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), What);
}

class THandle {
 public:
  explicit THandle(HANDLE Handle) : Handle_(Handle) {}
  ~THandle() {
    if (Handle_ != INVALID_HANDLE_VALUE) CloseHandle(Handle_);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE Get() const { return Handle_; }
  bool Valid() const { return Handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (Handle_ != INVALID_HANDLE_VALUE) CloseHandle(Handle_);
    Handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE Handle_;
};

std::wstring DirectoryOf(const std::wstring& Path) {
  const std::size_t Slash = Path.find_last_of(L"\\/");
  if (Slash == std::wstring::npos) return L".";
  if (Slash == 0 || (Slash == 2 && Path[1] == L':')) return Path.substr(0, Slash + 1);
  return Path.substr(0, Slash);
}

std::wstring TemporaryBeside(const std::wstring& Path) {
  return Path + L".tmp-" + std::to_wstring(GetCurrentProcessId());
}

}  // namespace

std::optional<TFileHead> ReadFileHead(const std::string& Path, std::size_t Limit) {
  THandle File(CreateFileW(WideText(Path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!File.Valid()) {
    const DWORD Error = GetLastError();
    if (Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw std::system_error(static_cast<int>(Error), std::system_category(), "CreateFileW");
  }
  TFileHead Head;
  char Buffer[65536];
  for (;;) {
    DWORD Read = 0;
    if (!::ReadFile(File.Get(), Buffer, sizeof Buffer, &Read, nullptr)) ThrowLastError("ReadFile");
    if (Read == 0) break;
    const std::size_t Room = Limit - Head.Content.size();
    if (Read > Room) {
      Head.Content.append(Buffer, Room);
      Head.Truncated = true;
      break;
    }
    Head.Content.append(Buffer, Read);
  }
  return Head;
}

void CheckReplaceable(const std::string& Path) {
  const std::wstring Wide = WideText(Path);
  const DWORD Attributes = GetFileAttributesW(Wide.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw std::system_error(ERROR_DIRECTORY, std::system_category(), Path);
  }
  if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    throw std::system_error(ERROR_ACCESS_DENIED, std::system_category(), Path);
  }
  // The directory must take a new file: a probe that is gone again when its handle closes.
  THandle Probe(CreateFileW(TemporaryBeside(Wide).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!Probe.Valid()) ThrowLastError("CreateFileW");
}

bool CanReplace(const std::string& Path) {
  try {
    CheckReplaceable(Path);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void ReplaceFileAtomically(const std::string& Path, std::string_view Content) {
  const std::wstring Target = WideText(Path);
  const std::wstring Temporary = TemporaryBeside(Target);
  {
    THandle File(CreateFileW(Temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!File.Valid()) ThrowLastError("CreateFileW");
    DWORD Written = 0;
    const bool Wrote = ::WriteFile(File.Get(), Content.data(), static_cast<DWORD>(Content.size()),
                                   &Written, nullptr) &&
                       Written == Content.size() && FlushFileBuffers(File.Get());
    if (!Wrote) {
      const DWORD Error = GetLastError();
      File.Close();
      DeleteFileW(Temporary.c_str());
      throw std::system_error(static_cast<int>(Error), std::system_category(), "WriteFile");
    }
  }
  if (!MoveFileExW(Temporary.c_str(), Target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD Error = GetLastError();
    DeleteFileW(Temporary.c_str());
    throw std::system_error(static_cast<int>(Error), std::system_category(), "MoveFileExW");
  }
}

void MakeDirectories(const std::string& Directory, unsigned) {
  const std::wstring Wide = WideText(Directory);
  const DWORD Attributes = GetFileAttributesW(Wide.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return;
  }
  const std::wstring Parent = DirectoryOf(Wide);
  if (Parent != Wide && Parent.size() > 3) MakeDirectories(Utf8Text(Parent), 0);
  if (!CreateDirectoryW(Wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    ThrowLastError("CreateDirectoryW");
  }
}

}  // namespace tolvane
