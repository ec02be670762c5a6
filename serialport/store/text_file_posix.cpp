#include "serialport/store/text_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <thread>

namespace tolvane {
namespace {

constexpr int TemporaryNameAttempts = 100;
constexpr mode_t NewFileMode = 0666;  // narrowed by the umask, like any new file
constexpr std::string_view TemporaryInfix = ".tmp-";
// A save takes milliseconds: a temporary file this old is a leftover even if its process id
// has been given to another process since.
constexpr std::time_t StaleTemporaryAge = 60;  // seconds

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

std::string DirectoryOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : Path.substr(0, Slash);
}

std::string BaseNameOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// A symbolic link is followed, so the file it names is replaced and the link stays; but only
// when the link and that regular file belong to this user.
std::string ResolveTarget(const std::string& Path) {
  struct stat LinkInfo {};
  if (::lstat(Path.c_str(), &LinkInfo) != 0 || !S_ISLNK(LinkInfo.st_mode)) return Path;
  if (LinkInfo.st_uid != ::geteuid()) {
    throw EFileRefused("a symbolic link that belongs to another user");
  }
  char Resolved[PATH_MAX];
  if (::realpath(Path.c_str(), Resolved) == nullptr) {
    if (errno == ENOENT) throw EFileRefused("a symbolic link to a file that does not exist");
    ThrowErrno("realpath");
  }
  struct stat TargetInfo {};
  if (::stat(Resolved, &TargetInfo) != 0) ThrowErrno("stat");
  const std::string Target(Resolved);
  if (!S_ISREG(TargetInfo.st_mode)) {
    throw EFileRefused("a symbolic link to " + Target + ", which is not a regular file");
  }
  if (TargetInfo.st_uid != ::geteuid()) {
    throw EFileRefused("a symbolic link to " + Target + ", which belongs to another user");
  }
  return Target;
}

// Temporary files of a target are named "." + its name + ".tmp-" + process id + "-" + counter.
std::string TemporaryPrefix(const std::string& Target) {
  return "." + BaseNameOf(Target) + std::string(TemporaryInfix);
}

bool ProcessIsGone(std::string_view ProcessId) {
  pid_t Process = 0;
  const auto [End, Error] =
      std::from_chars(ProcessId.data(), ProcessId.data() + ProcessId.size(), Process);
  if (Error != std::errc() || End == ProcessId.data() || Process <= 0) return false;
  return ::kill(Process, 0) != 0 && errno == ESRCH;
}

// Removes the temporary files of Target that a save killed half-way left behind: ours, regular,
// and either written by a process that no longer runs or older than any save takes. A save in
// progress in another running copy of the program is left alone.
void RemoveStaleTemporaries(const std::string& Target) {
  const std::string Directory = DirectoryOf(Target);
  const std::string Prefix = TemporaryPrefix(Target);
  DIR* Listing = ::opendir(Directory.c_str());
  if (Listing == nullptr) return;  // the save itself will report the directory
  const std::time_t Now = std::time(nullptr);
  while (const dirent* Entry = ::readdir(Listing)) {
    const std::string_view Name(Entry->d_name);
    if (!Name.starts_with(Prefix)) continue;
    const std::string_view Tail = Name.substr(Prefix.size());
    const std::string Path = Directory + "/" + std::string(Name);
    struct stat Info {};
    if (::lstat(Path.c_str(), &Info) != 0 || !S_ISREG(Info.st_mode) || Info.st_uid != ::geteuid()) {
      continue;
    }
    if (ProcessIsGone(Tail.substr(0, Tail.find('-'))) || Now - Info.st_mtime > StaleTemporaryAge) {
      ::unlink(Path.c_str());
    }
  }
  ::closedir(Listing);
}

// Creates a new, empty file beside the target; the name is unique within the directory.
int CreateTemporaryBeside(const std::string& Target, std::string& TemporaryPath) {
  static std::atomic<unsigned> Counter{0};
  const std::string Stem =
      DirectoryOf(Target) + "/" + TemporaryPrefix(Target) + std::to_string(::getpid()) + "-";
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

// The directory's fsync costs a journal commit (milliseconds) and changes nothing the caller
// can see: the new file is in place and whole, and until the commit a power loss can only bring
// back the old, equally whole file. So it runs on a thread of its own, off the caller's path
// (the window's thread, between two ticks of the 100 ms timer). A detached thread holds no lock
// that a forked child could inherit.
void SyncDirectoryBeside(const std::string& Directory) {
  try {
    std::thread([Directory] { SyncDirectory(Directory); }).detach();
  } catch (const std::system_error&) {
    SyncDirectory(Directory);  // no thread to be had: wait for it here
  }
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

namespace {

struct TReplaceTarget {
  std::string Path;  // the link's target for a symbolic link
  bool Exists = false;
  struct stat Info {};
};

TReplaceTarget CheckedTarget(const std::string& Path) {
  TReplaceTarget Target;
  Target.Path = ResolveTarget(Path);
  Target.Exists = ::stat(Target.Path.c_str(), &Target.Info) == 0;
  if (Target.Exists && S_ISDIR(Target.Info.st_mode)) {
    errno = EISDIR;
    ThrowErrno("replace");
  }
  if (Target.Exists && ::access(Target.Path.c_str(), W_OK) != 0) ThrowErrno("access");
  if (::access(DirectoryOf(Target.Path).c_str(), W_OK | X_OK) != 0) ThrowErrno("access directory");
  return Target;
}

}  // namespace

void CheckReplaceable(const std::string& Path) {
  CheckedTarget(Path);
}

bool CanReplace(const std::string& Path) {
  try {
    CheckedTarget(Path);
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void ReplaceFileAtomically(const std::string& Path, std::string_view Content) {
  const TReplaceTarget Target = CheckedTarget(Path);
  RemoveStaleTemporaries(Target.Path);

  std::string TemporaryPath;
  TFileDescriptor Fd(CreateTemporaryBeside(Target.Path, TemporaryPath));
  try {
    WriteAll(Fd.Get(), Content);
    if (Target.Exists) {
      if (::fchmod(Fd.Get(), Target.Info.st_mode & 07777) != 0) ThrowErrno("fchmod");
      // Only a privileged process may hand the file to another owner; otherwise it stays ours.
      if (Target.Info.st_uid != ::geteuid() || Target.Info.st_gid != ::getegid()) {
        [[maybe_unused]] const int Ignored =
            ::fchown(Fd.Get(), Target.Info.st_uid, Target.Info.st_gid);
      }
    }
    if (::fsync(Fd.Get()) != 0) ThrowErrno("fsync");
    Fd.Close();
    if (::rename(TemporaryPath.c_str(), Target.Path.c_str()) != 0) ThrowErrno("rename");
  } catch (...) {
    ::unlink(TemporaryPath.c_str());
    throw;
  }
  SyncDirectoryBeside(DirectoryOf(Target.Path));
}

void MakeDirectories(const std::string& Directory, unsigned Mode) {
  for (std::size_t Slash = Directory.find('/', 1);; Slash = Directory.find('/', Slash + 1)) {
    const std::string Part = Directory.substr(0, Slash);
    if (::mkdir(Part.c_str(), static_cast<mode_t>(Mode)) != 0 && errno != EEXIST)
      ThrowErrno("mkdir");
    if (Slash == std::string::npos) return;
  }
}

}  // namespace tolvane
