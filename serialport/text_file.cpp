#include "serialport/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace tolvane {
namespace {

constexpr int TemporaryNameAttempts = 100;
constexpr mode_t NewFileMode = 0666;  // narrowed by the umask, like any new file

[[noreturn]] void ThrowErrno(const char* What) {
  throw std::system_error(errno, std::generic_category(), What);
}

// Closes the descriptor when the scope ends, unless it was closed explicitly.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int Fd) : Fd_(Fd) {}
  ~TFileDescriptor() {
    if (Fd_ >= 0) ::close(Fd_);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return Fd_; }
  // close() reports delayed write errors (NFS, quotas), so its result counts.
  void Close() {
    const int Fd = Fd_;
    Fd_ = -1;
    if (::close(Fd) != 0) ThrowErrno("close");
  }

 private:
  int Fd_;
};

void WriteAll(int Fd, std::string_view Content) {
  while (!Content.empty()) {
    const ssize_t Written = ::write(Fd, Content.data(), Content.size());
    if (Written < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("write");
    }
    Content.remove_prefix(static_cast<std::size_t>(Written));
  }
}

// A symbolic link is followed, so the file it names is replaced and the link stays.
std::string ResolveTarget(const std::string& Path) {
  struct stat LinkInfo {};
  if (::lstat(Path.c_str(), &LinkInfo) != 0 || !S_ISLNK(LinkInfo.st_mode)) return Path;
  char Resolved[PATH_MAX];
  if (::realpath(Path.c_str(), Resolved) == nullptr) ThrowErrno("realpath");
  return Resolved;
}

std::string DirectoryOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : Path.substr(0, Slash);
}

std::string BaseNameOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// Creates a new, empty file beside the target; the name is unique within the directory.
int CreateTemporaryBeside(const std::string& Target, std::string& TemporaryPath) {
  static std::atomic<unsigned> Counter{0};
  const std::string Stem =
      DirectoryOf(Target) + "/." + BaseNameOf(Target) + ".tmp-" + std::to_string(::getpid()) + "-";
  for (int Attempt = 0; Attempt < TemporaryNameAttempts; ++Attempt) {
    TemporaryPath = Stem + std::to_string(Counter.fetch_add(1));
    const int Fd =
        ::open(TemporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NewFileMode);
    if (Fd >= 0) return Fd;
    if (errno != EEXIST) ThrowErrno("open temporary file");
  }
  ThrowErrno("open temporary file");
}

// Makes the rename itself durable; the data is already safe, so a failure here is ignored.
void SyncDirectory(const std::string& Directory) {
  const int Fd = ::open(Directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) return;
  ::fsync(Fd);
  ::close(Fd);
}

}  // namespace

std::optional<TFileHead> ReadFileHead(const std::string& Path, std::size_t Limit) {
  const int RawFd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (RawFd < 0) {
    if (errno == ENOENT) return std::nullopt;
    ThrowErrno("open");
  }
  TFileDescriptor Fd(RawFd);
  TFileHead Head;
  constexpr std::size_t ChunkSize = 64 * 1024;
  char Chunk[ChunkSize];
  // One byte beyond the limit tells a file of exactly Limit bytes from a longer one.
  while (Head.Content.size() <= Limit) {
    const ssize_t Got = ::read(Fd.Get(), Chunk, ChunkSize);
    if (Got < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("read");
    }
    if (Got == 0) break;
    Head.Content.append(Chunk, static_cast<std::size_t>(Got));
  }
  if (Head.Content.size() > Limit) {
    Head.Content.resize(Limit);
    Head.Truncated = true;
  }
  return Head;
}

void ReplaceFileAtomically(const std::string& Path, std::string_view Content) {
  const std::string Target = ResolveTarget(Path);
  struct stat TargetInfo {};
  const bool TargetExists = ::stat(Target.c_str(), &TargetInfo) == 0;
  if (TargetExists && ::access(Target.c_str(), W_OK) != 0) ThrowErrno("access");
  if (TargetExists && S_ISDIR(TargetInfo.st_mode)) {
    errno = EISDIR;
    ThrowErrno("replace");
  }

  std::string TemporaryPath;
  TFileDescriptor Fd(CreateTemporaryBeside(Target, TemporaryPath));
  try {
    WriteAll(Fd.Get(), Content);
    if (TargetExists) {
      if (::fchmod(Fd.Get(), TargetInfo.st_mode & 07777) != 0) ThrowErrno("fchmod");
      // Only a privileged process may hand the file to another owner; otherwise it stays ours.
      if (TargetInfo.st_uid != ::geteuid() || TargetInfo.st_gid != ::getegid()) {
        [[maybe_unused]] const int Ignored =
            ::fchown(Fd.Get(), TargetInfo.st_uid, TargetInfo.st_gid);
      }
    }
    if (::fsync(Fd.Get()) != 0) ThrowErrno("fsync");
    Fd.Close();
    if (::rename(TemporaryPath.c_str(), Target.c_str()) != 0) ThrowErrno("rename");
  } catch (...) {
    ::unlink(TemporaryPath.c_str());
    throw;
  }
  SyncDirectory(DirectoryOf(Target));
}

}  // namespace tolvane
