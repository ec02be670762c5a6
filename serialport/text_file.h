// Whole-file access for the settings files: a bounded read, and a replace that never leaves a
// truncated or half-written file behind.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// Settings files are small; anything beyond this is not read and not rewritten.
inline constexpr std::size_t MaxSettingsFileSize = 16 * 1024 * 1024;

struct TFileHead {
  std::string Content;  // at most the requested limit
  bool Truncated = false;
};

// Reads at most Limit bytes of the file at Path. A missing file gives nullopt; any other
// failure throws std::system_error with the errno of the failing call.
std::optional<TFileHead> ReadFileHead(const std::string& Path, std::size_t Limit);

// Replaces the file at Path by Content: the text goes to a temporary file in the same
// directory, is flushed to disk and renamed over the target, so a crash or a full disk leaves
// either the old or the new file whole. An existing target's permissions are kept, and a
// target that this process may not write is refused. Throws std::system_error on failure; the
// temporary file is removed then.
void ReplaceFileAtomically(const std::string& Path, std::string_view Content);

}  // namespace tolvane
