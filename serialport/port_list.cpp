#include "serialport/port_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <fstream>
#include <memory>
#include <string_view>
#include <utility>

#include "serialport/com_error.h"

namespace tolvane {
namespace {

struct TDirCloser {
  void operator()(DIR* Dir) const { closedir(Dir); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

bool Exists(const std::string& Path) {
  struct stat Info {};
  return stat(Path.c_str(), &Info) == 0;  // follows links, so a broken link does not exist
}

// True when the entry's `type` file reads the UART type 0 (PORT_UNKNOWN).
bool IsPlaceholder(const std::string& EntryPath) {
  std::ifstream TypeFile(EntryPath + "/type");
  if (!TypeFile) return false;
  long Type = -1;
  if (!(TypeFile >> Type)) return false;
  return Type == 0;
}

bool IsInstalledPort(const std::string& EntryPath) {
  return Exists(EntryPath + "/device") && !IsPlaceholder(EntryPath);
}

char LowerAscii(char C) {
  return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

// Case-insensitive, character by character; names equal but for case keep a fixed order.
bool ComesBefore(std::string_view A, std::string_view B) {
  const std::size_t Common = std::min(A.size(), B.size());
  for (std::size_t I = 0; I < Common; ++I) {
    const auto LowerA = static_cast<unsigned char>(LowerAscii(A[I]));
    const auto LowerB = static_cast<unsigned char>(LowerAscii(B[I]));
    if (LowerA != LowerB) return LowerA < LowerB;
  }
  if (A.size() != B.size()) return A.size() < B.size();
  return A < B;
}

}  // namespace

void ListComPorts(std::vector<std::string>& Strings, const std::string& SysfsRoot) {
  TDirHandle Dir(opendir(SysfsRoot.c_str()));
  if (!Dir) throw EComPort(CError_RegError, errno);

  std::vector<std::string> Found;
  for (;;) {
    errno = 0;
    const dirent* Entry = readdir(Dir.get());
    if (Entry == nullptr) {
      if (errno != 0) throw EComPort(CError_RegError, errno);
      break;
    }
    const std::string Name = Entry->d_name;
    if (Name == "." || Name == "..") continue;
    if (IsInstalledPort(SysfsRoot + "/" + Name)) Found.push_back(Name);
  }

  std::sort(Found.begin(), Found.end(), ComesBefore);
  Strings = std::move(Found);
}

}  // namespace tolvane
