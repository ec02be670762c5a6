// An X server of the test's own (Xvfb) for what only a real windowing platform shows. The
// server writes its display number to a pipe once it accepts connections, so the test neither
// guesses a free display nor waits for one.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace tolvane {

class TVirtualDisplay {
 public:
  // Starts the server at Program and points DISPLAY at it.
  explicit TVirtualDisplay(const char* Program) {
    int Pipe[2];
    if (pipe(Pipe) != 0) throw std::runtime_error("pipe failed");
    Pid_ = fork();
    if (Pid_ < 0) throw std::runtime_error("fork failed");
    if (Pid_ == 0) {
      close(Pipe[0]);
      const std::string Fd = std::to_string(Pipe[1]);
      execl(Program, Program, "-displayfd", Fd.c_str(), "-nolisten", "tcp", "-screen", "0",
            "1024x768x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(Pipe[1]);
    std::string Number;
    char C = 0;
    while (read(Pipe[0], &C, 1) == 1 && C != '\n') Number += C;
    close(Pipe[0]);
    if (Number.empty()) {
      Stop();
      throw std::runtime_error(std::string("no display from ") + Program);
    }
    Name_ = ":" + Number;
    setenv("DISPLAY", Name_.c_str(), 1);
  }
  ~TVirtualDisplay() { Stop(); }
  TVirtualDisplay(const TVirtualDisplay&) = delete;
  TVirtualDisplay& operator=(const TVirtualDisplay&) = delete;

  const std::string& Name() const { return Name_; }

 private:
  void Stop() {
    if (Pid_ <= 0) return;
    kill(Pid_, SIGTERM);
    waitpid(Pid_, nullptr, 0);
    Pid_ = -1;
  }

  pid_t Pid_ = -1;
  std::string Name_;
};

}  // namespace tolvane
