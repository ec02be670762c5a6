// A pseudo-terminal pair for the window tests: the window's port opens the slave by its path and
// the test plays the controller at the master.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace tolvane {

class TPseudoTerminal {
 public:
  TPseudoTerminal() {
    char Name[256] = {};
    if (openpty(&Master_, &Slave_, Name, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
    SlavePath_ = Name;
    fcntl(Master_, F_SETFL, fcntl(Master_, F_GETFL) | O_NONBLOCK);
  }
  ~TPseudoTerminal() {
    close(Master_);
    close(Slave_);
  }
  TPseudoTerminal(const TPseudoTerminal&) = delete;
  TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

  const std::string& SlavePath() const { return SlavePath_; }

  // Everything the port has written so far; the port's writes return once the bytes are in
  // the terminal, so nothing needs to be waited for.
  std::string ReadAvailable() {
    std::string Received;
    char Chunk[256];
    for (;;) {
      const ssize_t Count = read(Master_, Chunk, sizeof Chunk);
      if (Count <= 0) break;
      Received.append(Chunk, static_cast<std::size_t>(Count));
    }
    return Received;
  }

  void Send(const std::string& Text) {
    if (write(Master_, Text.data(), Text.size()) != static_cast<ssize_t>(Text.size())) {
      throw std::runtime_error("write to the pseudo-terminal failed");
    }
  }

 private:
  int Master_ = -1;
  int Slave_ = -1;  // kept open so the master stays readable after the port lets go
  std::string SlavePath_;
};

}  // namespace tolvane
