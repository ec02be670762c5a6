#include "serialport/store/file_access.h"

#include <unistd.h>

#include <system_error>

namespace tolvane {

bool MayReadFile(const std::filesystem::path& Path) {
  return ::access(Path.c_str(), R_OK) == 0;
}

bool MayWriteInDirectory(const std::filesystem::path& Directory) {
  return ::access(Directory.c_str(), W_OK | X_OK) == 0;
}

std::filesystem::path RunningExecutablePath() {
  std::error_code Error;
  std::filesystem::path Executable = std::filesystem::read_symlink("/proc/self/exe", Error);
  return Error ? std::filesystem::path() : Executable;
}

}  // namespace tolvane
