// Test helpers for the controller simulator as a real program: the child process, which is
// always killed and reaped when the helper goes, and the utility's end of the line.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::testing_support {

using namespace std::chrono_literals;

// Generous bounds: they only end a wait that would otherwise hang, never decide a result on a
// machine that is merely busy.
inline constexpr std::chrono::milliseconds StartBound = 20s;
inline constexpr std::chrono::milliseconds ReplyBound = 10s;

class TSimulatorProcess {
 public:
  // Starts the simulator with Args and reads the device path it prints (empty if it printed
  // none before exiting).
  explicit TSimulatorProcess(const std::vector<std::string>& Args);
  ~TSimulatorProcess();
  TSimulatorProcess(const TSimulatorProcess&) = delete;
  TSimulatorProcess& operator=(const TSimulatorProcess&) = delete;

  pid_t Pid() const { return Pid_; }
  const std::string& SlavePath() const { return SlavePath_; }
  // Everything the program wrote on stdout so far, read up to its exit or the bound.
  std::string ReadAllStdout(std::chrono::milliseconds Bound = StartBound);
  // Sends Signal (0: none) and waits for the exit; the wait status, or nothing on time-out.
  std::optional<int> Stop(int Signal, std::chrono::milliseconds Bound = StartBound);
  // The CPU time the running process has used.
  std::chrono::milliseconds CpuTime() const;

 private:
  pid_t Pid_ = -1;
  int Stdout_ = -1;
  std::string Output_;
  std::string SlavePath_;
};

// The utility's end of the line: the slave device opened raw.
class TLineClient {
 public:
  explicit TLineClient(const std::string& Path);
  ~TLineClient();
  TLineClient(const TLineClient&) = delete;
  TLineClient& operator=(const TLineClient&) = delete;

  bool IsOpen() const { return Fd_ >= 0; }
  int Fd() const { return Fd_; }
  void Send(std::string_view Bytes);
  // Reads until Packets ";" have arrived or the bound has passed; returns what came.
  std::string ReadPackets(int Packets, std::chrono::milliseconds Bound = ReplyBound);

 private:
  int Fd_ = -1;
};

std::string ReadTextFile(const std::string& Path);
// Waits until the file holds Text at least Times times; false when the bound passes first.
bool WaitForText(const std::string& Path, const std::string& Text, int Times = 1,
                 std::chrono::milliseconds Bound = ReplyBound);

}  // namespace tolvane::testing_support
