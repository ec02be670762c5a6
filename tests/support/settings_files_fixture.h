// Helpers for the settings-store tests: a scratch directory removed afterwards, whole-file
// reads and writes, and running a step in a child process (to crash it, or to run it without
// root's right to write anywhere).
#pragma once

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace tolvane::testing {

class TScratchDirectory {
 public:
  TScratchDirectory() {
    std::string Template = (std::filesystem::temp_directory_path() / "tolvane-XXXXXX").string();
    Path_ = ::mkdtemp(Template.data());
    // Open to an unprivileged child as well.
    std::filesystem::permissions(Path_, std::filesystem::perms::all);
  }
  ~TScratchDirectory() {
    std::error_code Ignored;
    std::filesystem::permissions(Path_, std::filesystem::perms::all, Ignored);
    std::filesystem::remove_all(Path_, Ignored);
  }
  TScratchDirectory(const TScratchDirectory&) = delete;
  TScratchDirectory& operator=(const TScratchDirectory&) = delete;

  const std::string& Path() const { return Path_; }
  std::string File(const std::string& Name) const { return Path_ + "/" + Name; }

 private:
  std::string Path_;
};

inline std::string ReadWholeFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& Path, const std::string& Content) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out << Content;
}

inline std::size_t CountEntries(const std::string& Directory) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(Directory),
                                                std::filesystem::directory_iterator()));
}

// Runs Step in a forked child and returns how it ended: the exit code, or 128 + signal.
// Step's result becomes the exit code.
inline int RunInChild(const std::function<int()>& Step) {
  const pid_t Child = ::fork();
  if (Child == 0) ::_exit(Step());
  int Status = 0;
  ::waitpid(Child, &Status, 0);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
}

// Runs Step in a child that has no right to write where the file modes forbid it: as root the
// child becomes "nobody" first. Returns Step's result, or -1 when no such user exists.
inline int RunWithoutPrivileges(const std::function<int()>& Step) {
  return RunInChild([&] {
    if (::geteuid() == 0) {
      const passwd* Nobody = ::getpwnam("nobody");
      if (Nobody == nullptr || ::setgid(Nobody->pw_gid) != 0 || ::setuid(Nobody->pw_uid) != 0) {
        return 255;
      }
    }
    return Step();
  });
}

}  // namespace tolvane::testing
