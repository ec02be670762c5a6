// An RFC 2217 server in the test's own process, for what no pseudo-terminal behind a real server
// can show: the commands a client sends, answers that never come or say something else, modem
// and line notifications, refusals and a connection that just ends. It listens on a free
// loopback port, serves one client at a time, offers the options a serial server offers, answers
// each COM-PORT-OPTION command with its value (code + 100) unless told not to, and keeps the data
// it receives. Raw mode (Telnet false) serves plain TCP instead. It builds for Windows too, on
// Winsock, so that the network device's tests run under Wine.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serialport/device/network/telnet_codec.h"

namespace tolvane::test {

class TFakeComPortServer {
 public:
  // A command's payload as the client sent it: the code, then the value.
  using TCommand = std::vector<std::uint8_t>;
  // Decides the answer's value to a command, or nothing for no answer; by default the value.
  using TAnswerRule = std::function<std::optional<std::vector<std::uint8_t>>(const TCommand&)>;

  explicit TFakeComPortServer(bool Telnet = true);
  ~TFakeComPortServer();
  TFakeComPortServer(const TFakeComPortServer&) = delete;
  TFakeComPortServer& operator=(const TFakeComPortServer&) = delete;

  std::uint16_t Port() const { return Port_; }
  // rfc2217://127.0.0.1:PORT, or socket://... in raw mode.
  std::string PortName() const;

  void SetAnswerRule(TAnswerRule Rule);
  // The next client is sent Text (after the negotiation) and then the connection is closed.
  void RefuseNextWith(std::string Text);

  // Data for the client (IACs doubled in telnet mode), or bytes put on the wire as they are.
  void Send(std::string_view Data);
  void SendWire(const std::vector<std::uint8_t>& Bytes);
  // A notification (NOTIFY-LINESTATE 6, NOTIFY-MODEMSTATE 7) with one byte of value.
  void Notify(std::uint8_t Command, std::uint8_t Value);

  // The data received so far, after waiting up to a few seconds for at least Count bytes.
  std::string Received(std::size_t Count);
  // Waits up to a few seconds until Sought is in the data received; false if not.
  bool AwaitReceived(std::string_view Sought);
  // Waits up to a few seconds until Sought is among the commands received; false if not.
  bool AwaitCommand(const TCommand& Sought);
  std::vector<TCommand> Commands();
  // Waits up to a few seconds for a client to be connected.
  bool AwaitClient();
  // Ends the client's connection (the server stays and takes the next client).
  void Drop();

 private:
  void Serve();
  void Handle(const std::uint8_t* Raw, std::size_t Count);
  void Write(const std::vector<std::uint8_t>& Bytes);
  template <typename TPredicate>
  bool AwaitLocked(std::unique_lock<std::mutex>& Lock, TPredicate Predicate);

  const bool Telnet_;
  // Sockets as numbers, -1 for none: descriptors on POSIX, Winsock's sockets on Windows.
  std::intptr_t Listener_ = -1;
  int Wake_ = -1;  // POSIX: an eventfd that ends the serving thread's wait
  std::uint16_t Port_ = 0;
  std::thread Thread_;
  std::mutex Mutex_;
  std::condition_variable Changed_;
  std::intptr_t Client_ = -1;
  bool Stopping_ = false;
  bool Refused_ = false;  // the client was refused; its bytes are dropped until it leaves
  TTelnetCodec Parser_;
  TAnswerRule Rule_;
  std::optional<std::string> Refusal_;
  std::string Received_;
  std::vector<TCommand> Commands_;
};

// A loopback listener that never accepts, its backlog filled at once: a connection to it gets
// no answer (the stack drops its SYN) and waits until it times out or is given up.
class TFullListener {
 public:
  TFullListener();
  ~TFullListener();
  TFullListener(const TFullListener&) = delete;
  TFullListener& operator=(const TFullListener&) = delete;

  std::uint16_t Port() const { return Port_; }

 private:
  std::intptr_t Listener_ = -1;
  std::vector<std::intptr_t> Fillers_;
  std::uint16_t Port_ = 0;
};

// A loopback peer that takes one connection and reads or writes only when told: a client's
// writes fill the connection until the peer drains it.
class TQuietPeer {
 public:
  TQuietPeer();
  ~TQuietPeer();
  TQuietPeer(const TQuietPeer&) = delete;
  TQuietPeer& operator=(const TQuietPeer&) = delete;

  std::uint16_t Port() const { return Port_; }
  // Waits for the client's connection; false if none came within a few seconds.
  bool Accept();
  // Reads until Count bytes have come (or a few seconds have passed); the count read.
  std::size_t Drain(std::size_t Count);
  void Send(std::string_view Bytes);

 private:
  std::intptr_t Listener_ = -1;
  std::intptr_t Client_ = -1;
  std::uint16_t Port_ = 0;
};

}  // namespace tolvane::test
