// Whole-file access for the settings files: a bounded read, and a replace that never leaves a
// truncated or half-written file behind.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace tolvane {

// Settings files are small; anything beyond this is not read and not rewritten.
inline constexpr std::size_t MaxSettingsFileSize = 16 * 1024 * 1024;

struct TFileHead {
  std::string Content;  // at most the requested limit
  bool Truncated = false;
};

// A replace refused by this program's own rules rather than by the system; Reason says why in
// words for the operator.
class EFileRefused : public std::system_error {
 public:
  explicit EFileRefused(std::string Reason)
      : std::system_error(std::make_error_code(std::errc::operation_not_permitted), Reason),
        Reason_(std::move(Reason)) {}
  const std::string& Reason() const { return Reason_; }

 private:
  std::string Reason_;
};

// Reads at most Limit bytes of the file at Path. A missing file gives nullopt; any other
// failure throws std::system_error with the errno of the failing call.
std::optional<TFileHead> ReadFileHead(const std::string& Path, std::size_t Limit);

// Throws what ReplaceFileAtomically would throw before writing anything: a symbolic link it
// will not follow (EFileRefused), a target or directory this process may not write, a target
// that is a directory (std::system_error).
void CheckReplaceable(const std::string& Path);
bool CanReplace(const std::string& Path);

// Replaces the file at Path by Content: the text goes to a temporary file in the same
// directory, is flushed to disk and renamed over the target, so a crash or a full disk leaves
// either the old or the new file whole. The directory is flushed after the rename on a thread
// of its own, without holding up the caller. Temporary files that an earlier, crashed save left
// beside the target are removed first. An existing target's permissions are kept.
//
// A symbolic link is followed only when the link and the regular file it names both belong to
// the user running the program; any other link is refused, so a planted link cannot make the
// program rewrite someone else's file. Throws EFileRefused or std::system_error on failure; the
// temporary file is removed then.
void ReplaceFileAtomically(const std::string& Path, std::string_view Content);

// Creates the directory Directory (an absolute path) and its missing parents with the
// permissions Mode, narrowed by the umask; one that exists already is fine. Throws
// std::system_error with the errno of the failing call.
void MakeDirectories(const std::string& Directory, unsigned Mode);

}  // namespace tolvane
