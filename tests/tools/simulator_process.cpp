#include "tests/tools/simulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tolvane::testing_support {

namespace {

using TClock = std::chrono::steady_clock;

int RemainingMs(TClock::time_point Deadline) {
  const auto Left =
      std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
  return static_cast<int>(std::max<long long>(Left, 0));
}

// Reads what is available within the bound; false at end of file or when time is up.
bool ReadSome(int Fd, std::string& Into, TClock::time_point Deadline) {
  pollfd Poll{Fd, POLLIN, 0};
  const int Ready = ::poll(&Poll, 1, RemainingMs(Deadline));
  if (Ready < 0 && errno == EINTR) return true;
  if (Ready <= 0) return false;
  char Buffer[4096];
  const ssize_t Count = ::read(Fd, Buffer, sizeof Buffer);
  if (Count < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (Count <= 0) return false;
  Into.append(Buffer, static_cast<std::size_t>(Count));
  return true;
}

}  // namespace

TSimulatorProcess::TSimulatorProcess(const std::vector<std::string>& Args) {
  int Pipe[2];
  if (::pipe2(Pipe, O_CLOEXEC) != 0) return;
  std::vector<std::string> Line = {CONTROLLER_SIMULATOR};
  Line.insert(Line.end(), Args.begin(), Args.end());
  std::vector<char*> Argv;
  for (std::string& Arg : Line) Argv.push_back(Arg.data());
  Argv.push_back(nullptr);

  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Pipe[1], STDOUT_FILENO);
  const int Failed = posix_spawn(&Pid_, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  ::close(Pipe[1]);
  Stdout_ = Pipe[0];
  if (Failed != 0) {
    Pid_ = -1;
    return;
  }
  const TClock::time_point Deadline = TClock::now() + StartBound;
  while (Output_.find('\n') == std::string::npos && ReadSome(Stdout_, Output_, Deadline)) {
  }
  if (const auto End = Output_.find('\n'); End != std::string::npos) {
    SlavePath_ = Output_.substr(0, End);
  }
}

TSimulatorProcess::~TSimulatorProcess() {
  if (Pid_ > 0) {
    ::kill(Pid_, SIGKILL);
    int Status = 0;
    while (::waitpid(Pid_, &Status, 0) < 0 && errno == EINTR) {
    }
  }
  if (Stdout_ >= 0) ::close(Stdout_);
}

std::string TSimulatorProcess::ReadAllStdout(std::chrono::milliseconds Bound) {
  const TClock::time_point Deadline = TClock::now() + Bound;
  while (Stdout_ >= 0 && ReadSome(Stdout_, Output_, Deadline)) {
  }
  return Output_;
}

std::optional<int> TSimulatorProcess::Stop(int Signal, std::chrono::milliseconds Bound) {
  if (Pid_ <= 0) return std::nullopt;
  if (Signal != 0) ::kill(Pid_, Signal);
  const TClock::time_point Deadline = TClock::now() + Bound;
  for (;;) {
    int Status = 0;
    const pid_t Done = ::waitpid(Pid_, &Status, WNOHANG);
    if (Done == Pid_) {
      Pid_ = -1;
      return Status;
    }
    if (TClock::now() >= Deadline) return std::nullopt;
    std::this_thread::sleep_for(10ms);
  }
}

std::chrono::milliseconds TSimulatorProcess::CpuTime() const {
  std::ifstream Stat("/proc/" + std::to_string(Pid_) + "/stat");
  std::string Text((std::istreambuf_iterator<char>(Stat)), std::istreambuf_iterator<char>());
  // Fields after the command name, which is in parentheses and may hold blanks.
  std::istringstream Fields(Text.substr(Text.rfind(')') + 2));
  std::string Field;
  long long UserTicks = 0;
  long long SystemTicks = 0;
  for (int Index = 3; Fields >> Field; ++Index) {
    if (Index == 14) UserTicks = std::stoll(Field);
    if (Index == 15) {
      SystemTicks = std::stoll(Field);
      break;
    }
  }
  return std::chrono::milliseconds((UserTicks + SystemTicks) * 1000 / ::sysconf(_SC_CLK_TCK));
}

TLineClient::TLineClient(const std::string& Path) {
  Fd_ = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (Fd_ < 0) return;
  termios Raw{};
  ::tcgetattr(Fd_, &Raw);
  ::cfmakeraw(&Raw);
  ::tcsetattr(Fd_, TCSANOW, &Raw);
}

TLineClient::~TLineClient() {
  if (Fd_ >= 0) ::close(Fd_);
}

void TLineClient::Send(std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t Written = ::write(Fd_, Bytes.data(), Bytes.size());
    if (Written < 0 && errno == EINTR) continue;
    if (Written <= 0) return;
    Bytes.remove_prefix(static_cast<std::size_t>(Written));
  }
}

std::string TLineClient::ReadPackets(int Packets, std::chrono::milliseconds Bound) {
  const TClock::time_point Deadline = TClock::now() + Bound;
  std::string Received;
  while (std::count(Received.begin(), Received.end(), ';') < Packets &&
         ReadSome(Fd_, Received, Deadline)) {
  }
  return Received;
}

std::string ReadTextFile(const std::string& Path) {
  std::ifstream File(Path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
}

int CountOf(const std::string& Text, const std::string& Sought) {
  int Count = 0;
  for (auto At = Text.find(Sought); At != std::string::npos; At = Text.find(Sought, At + 1)) {
    ++Count;
  }
  return Count;
}

bool WaitForText(const std::string& Path, const std::string& Text, int Times,
                 std::chrono::milliseconds Bound) {
  const TClock::time_point Deadline = TClock::now() + Bound;
  while (CountOf(ReadTextFile(Path), Text) < Times) {
    if (TClock::now() >= Deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

}  // namespace tolvane::testing_support
