// Questions about files that the C++ library does not answer the same way on every system.
#pragma once

#include <filesystem>

namespace tolvane {

// This user may read the file at Path.
bool MayReadFile(const std::filesystem::path& Path);
// This user may create files in the directory Directory.
bool MayWriteInDirectory(const std::filesystem::path& Directory);
// The running program's executable; empty when the system does not say.
std::filesystem::path RunningExecutablePath();

}  // namespace tolvane
