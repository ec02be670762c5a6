// The real ser2net as a child process, in front of a device (normally the controller simulator's
// pseudo-terminal), for tests and benchmarks that reach a remote station over loopback.
//
// The server gets a YAML configuration of its own in the directory it is given, listens on
// 127.0.0.1 only, on a free port picked at the first start and kept for every later start, and
// runs in the foreground (-n) without UUCP locks (-u), so it needs no root-only path. Start waits
// until the port is listening; it does not connect to find out, since ser2net opens the device
// for every connection. The server is always killed and reaped when the object goes.
//
// ser2net missing is a failure with its own message, never a silent skip: the tests that use
// this are meant to run wherever the project is tested (scripts/install-deps.sh installs it).
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace tolvane::testing_support {

enum class TServerProtocol {
  Rfc2217,  // telnet with the COM-PORT-OPTION: the client sets the line
  RawTcp,   // bytes only: the line keeps the server's settings
};

class TSer2netServer {
 public:
  // Nothing runs until Start. Directory holds the configuration, the pid file and the log.
  TSer2netServer(std::string Device, TServerProtocol Protocol, std::filesystem::path Directory);
  ~TSer2netServer();
  TSer2netServer(const TSer2netServer&) = delete;
  TSer2netServer& operator=(const TSer2netServer&) = delete;

  // Starts the server and waits until it listens; false with Error() when it cannot be found,
  // does not start, or does not listen within the bound.
  bool Start();
  // Ends the server with Signal (SIGKILL: no chance to say goodbye), and with SIGKILL if it has
  // not gone within a second; always reaped, so Start can follow at once on the same port.
  void Kill(int Signal = SIGTERM);
  bool Running() const { return Pid_ > 0; }

  pid_t Pid() const { return Pid_; }
  int Port() const { return Port_; }
  // The port name the utility opens: "rfc2217://127.0.0.1:PORT" or "socket://127.0.0.1:PORT".
  std::string Url() const;
  // Why the last Start failed.
  const std::string& Error() const { return Error_; }
  // What the server wrote on stdout and stderr.
  std::string Log() const;

 private:
  bool StartOnce();
  void WriteConfiguration() const;
  bool WaitUntilListening();

  std::string Device_;
  TServerProtocol Protocol_;
  std::filesystem::path Directory_;
  int Port_ = 0;
  pid_t Pid_ = -1;
  std::string Error_;
};

// A bare TCP connection to a loopback port, held until the object goes: a first client that keeps
// the server's one connection busy.
class TLoopbackClient {
 public:
  explicit TLoopbackClient(int Port);
  ~TLoopbackClient();
  TLoopbackClient(const TLoopbackClient&) = delete;
  TLoopbackClient& operator=(const TLoopbackClient&) = delete;

  bool Connected() const { return Socket_ >= 0; }

 private:
  int Socket_ = -1;
};

// Where ser2net is installed (Debian puts it in /usr/sbin, which a user's PATH may lack); empty
// when it is not.
std::string Ser2netProgram();

// What to tell the person running the tests when ser2net is missing.
inline constexpr const char* Ser2netMissing =
    "ser2net is not installed: the remote-station tests need the real server "
    "(apt-get install ser2net, or scripts/install-deps.sh)";

}  // namespace tolvane::testing_support
