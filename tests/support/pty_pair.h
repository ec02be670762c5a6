// A pseudo-terminal pair for tests that play the far end of a serial line (a device, a port, or
// the main window's controller): the test writes to and reads from the master, the code under
// test opens the slave by its path. Either side can be closed early, e.g. to make the far end
// hang up.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tolvane::test {

class TPtyPair {
 public:
  TPtyPair() {
    char Name[256] = {};
    if (openpty(&Master_, &Slave_, Name, nullptr, nullptr) != 0)
      throw std::runtime_error("openpty failed");
    SlavePath_ = Name;
    fcntl(Master_, F_SETFD, FD_CLOEXEC);
    fcntl(Slave_, F_SETFD, FD_CLOEXEC);
    fcntl(Master_, F_SETFL, fcntl(Master_, F_GETFL) | O_NONBLOCK);
  }
  ~TPtyPair() {
    CloseMaster();
    CloseSlave();
  }
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  int MasterFd() const { return Master_; }
  // The pair keeps the slave open too, so the line stays up whoever else opens and closes it.
  int SlaveFd() const { return Slave_; }
  const std::string& SlavePath() const { return SlavePath_; }

  void CloseMaster() { CloseFd(Master_); }
  void CloseSlave() { CloseFd(Slave_); }

  // The far end sends Bytes; fails the test's precondition by throwing if they don't all go.
  void Send(std::string_view Bytes) const {
    std::size_t Done = 0;
    while (Done < Bytes.size()) {
      const ssize_t Count = write(Master_, Bytes.data() + Done, Bytes.size() - Done);
      if (Count > 0) {
        Done += static_cast<std::size_t>(Count);
      } else if (Count < 0 && errno == EAGAIN) {
        pollfd Poll{Master_, POLLOUT, 0};
        poll(&Poll, 1, 1000);
      } else if (!(Count < 0 && errno == EINTR)) {
        throw std::runtime_error("write to pty master failed");
      }
    }
  }

  // What reaches the far end: up to Count bytes, waiting at most Within for them.
  std::string Receive(std::size_t Count,
                      std::chrono::milliseconds Within = std::chrono::seconds(5)) const {
    std::string Bytes;
    const auto Deadline = std::chrono::steady_clock::now() + Within;
    while (Bytes.size() < Count) {
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
          Deadline - std::chrono::steady_clock::now());
      if (Left.count() <= 0) break;
      pollfd Poll{Master_, POLLIN, 0};
      if (poll(&Poll, 1, static_cast<int>(Left.count())) <= 0) continue;
      char Chunk[4096];
      const ssize_t Read = read(Master_, Chunk, std::min(sizeof Chunk, Count - Bytes.size()));
      if (Read > 0) Bytes.append(Chunk, static_cast<std::size_t>(Read));
      if (Read == 0 || (Read < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    return Bytes;
  }

  // Everything the code under test has written so far. The terminal hands written bytes to the
  // master side asynchronously, so a marker is written behind them through the pair's own slave
  // descriptor and the master is read up to it: what comes before the marker is all that was
  // written, in order, whether the slave's other user still has it open or not.
  std::string EverythingSent() const {
    static constexpr std::string_view Marker = "<end of port output>";
    if (write(Slave_, Marker.data(), Marker.size()) != static_cast<ssize_t>(Marker.size()))
      throw std::runtime_error("write of the marker failed");
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

 private:
  static void CloseFd(int& Fd) {
    if (Fd >= 0) close(Fd);
    Fd = -1;
  }

  int Master_ = -1;
  int Slave_ = -1;
  std::string SlavePath_;
};

}  // namespace tolvane::test
