// A pseudo-terminal pair for the window tests: the window's port opens the slave by its path and
// the test plays the controller at the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>

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
  int MasterFd() const { return Master_; }

  // Everything the port has written so far. The terminal hands written bytes to the master
  // side asynchronously, so a marker is written behind them through the test's own slave
  // descriptor and the master is read up to it: what comes before the marker is all the port
  // wrote, in order, whether the port is still open or not.
  std::string EverythingSent() {
    static constexpr std::string_view Marker = "<end of port output>";
    if (write(Slave_, Marker.data(), Marker.size()) != static_cast<ssize_t>(Marker.size())) {
      throw std::runtime_error("write of the marker failed");
    }
    std::string Received;
    while (Received.size() < Marker.size() ||
           Received.compare(Received.size() - Marker.size(), Marker.size(), Marker) != 0) {
      pollfd Readable{Master_, POLLIN, 0};
      // A generous bound so that a broken port fails the test instead of hanging it.
      if (poll(&Readable, 1, 10000) <= 0) throw std::runtime_error("the marker never arrived");
      char Chunk[256];
      const ssize_t Count = read(Master_, Chunk, sizeof Chunk);
      if (Count > 0) Received.append(Chunk, static_cast<std::size_t>(Count));
    }
    return Received.substr(0, Received.size() - Marker.size());
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
