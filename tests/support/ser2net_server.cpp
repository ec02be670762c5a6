#include "tests/support/ser2net_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace tolvane::testing_support {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// Only ends a wait that would otherwise hang; a busy machine starts ser2net in milliseconds.
constexpr std::chrono::milliseconds ListenBound = 10s;
constexpr std::chrono::milliseconds TermBound = 1s;
// A port picked free may be taken by someone else before ser2net binds it; then another is
// picked, at the first start only.
constexpr int PortAttempts = 3;

constexpr const char* ConfigName = "ser2net.yaml";
constexpr const char* PidName = "ser2net.pid";
constexpr const char* LogName = "ser2net.log";

// A loopback port that nobody listens on now: the kernel's choice for a socket bound to port 0.
int FreeLoopbackPort() {
  const int Socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Socket < 0) return 0;
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Size = sizeof Address;
  int Port = 0;
  if (::bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address) == 0 &&
      ::getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Size) == 0) {
    Port = ntohs(Address.sin_port);
  }
  ::close(Socket);
  return Port;
}

// The socket inodes listening on 127.0.0.1:Port, from the kernel's table.
std::set<std::string> ListeningInodes(int Port) {
  char Local[32];
  std::snprintf(Local, sizeof Local, "0100007F:%04X", Port);
  std::ifstream Table("/proc/net/tcp");
  std::string Line;
  std::getline(Table, Line);  // the heading
  std::set<std::string> Inodes;
  while (std::getline(Table, Line)) {
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
    std::istringstream Fields(Line);
    std::string Slot, LocalAddress, Remote, State, Queues, Timer, Retransmits, Uid, Timeout, Inode;
    Fields >> Slot >> LocalAddress >> Remote >> State >> Queues >> Timer >> Retransmits >> Uid >>
        Timeout >> Inode;
    if (LocalAddress == Local && State == "0A") Inodes.insert(Inode);
  }
  return Inodes;
}

// Whether the process Pid holds one of the sockets Inodes.
bool HoldsSocket(pid_t Pid, const std::set<std::string>& Inodes) {
  std::error_code Error;
  for (const auto& Entry : fs::directory_iterator("/proc/" + std::to_string(Pid) + "/fd", Error)) {
    const fs::path Target = fs::read_symlink(Entry.path(), Error);
    if (Error) continue;
    const std::string Text = Target.string();
    if (Text.starts_with("socket:[") && Inodes.contains(Text.substr(8, Text.size() - 9)))
      return true;
  }
  return false;
}

bool Executable(const fs::path& Path) {
  return ::access(Path.c_str(), X_OK) == 0 && fs::is_regular_file(Path);
}

}  // namespace

std::string Ser2netProgram() {
  std::vector<fs::path> Places;
  if (const char* Path = std::getenv("PATH")) {
    std::istringstream Directories(Path);
    for (std::string Directory; std::getline(Directories, Directory, ':');) {
      if (!Directory.empty()) Places.emplace_back(Directory);
    }
  }
  for (const char* Directory : {"/usr/sbin", "/usr/local/sbin", "/sbin"})
    Places.emplace_back(Directory);
  for (const fs::path& Place : Places) {
    if (Executable(Place / "ser2net")) return (Place / "ser2net").string();
  }
  return {};
}

TSer2netServer::TSer2netServer(std::string Device, TServerProtocol Protocol, fs::path Directory)
    : Device_(std::move(Device)), Protocol_(Protocol), Directory_(std::move(Directory)) {}

TSer2netServer::~TSer2netServer() {
  Kill(SIGKILL);
}

std::string TSer2netServer::Url() const {
  const char* Scheme = Protocol_ == TServerProtocol::Rfc2217 ? "rfc2217://" : "socket://";
  return Scheme + std::string("127.0.0.1:") + std::to_string(Port_);
}

std::string TSer2netServer::Log() const {
  std::ifstream File(Directory_ / LogName, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
}

bool TSer2netServer::Start() {
  Error_.clear();
  if (Running()) return true;
  if (Port_ != 0) return StartOnce();
  for (int Attempt = 0; Attempt < PortAttempts; ++Attempt) {
    Port_ = FreeLoopbackPort();
    if (Port_ == 0) {
      Error_ = "no free loopback port";
      return false;
    }
    if (StartOnce()) return true;
    // Someone else's listener on the port: pick another one. Any other failure is final.
    if (ListeningInodes(Port_).empty()) break;
  }
  Port_ = 0;
  return false;
}

void TSer2netServer::WriteConfiguration() const {
  const std::string Accepter =
      Protocol_ == TServerProtocol::Rfc2217 ? "telnet(rfc2217),tcp" : "tcp";
  std::ofstream File(Directory_ / ConfigName, std::ios::trunc);
  File << "%YAML 1.1\n"
          "---\n"
          "connection: &controller\n"
          "  accepter: "
       << Accepter << ",127.0.0.1," << Port_
       << "\n"
          "  connector: serialdev,"
       << Device_
       << ",9600n81,local\n"
          "  options:\n"
          "    chardelay: false\n";
}

bool TSer2netServer::StartOnce() {
  const std::string Program = Ser2netProgram();
  if (Program.empty()) {
    Error_ = Ser2netMissing;
    return false;
  }
  WriteConfiguration();
  std::vector<std::string> Line = {Program,
                                   "-n",
                                   "-u",
                                   "-c",
                                   (Directory_ / ConfigName).string(),
                                   "-P",
                                   (Directory_ / PidName).string()};
  std::vector<char*> Argv;
  for (std::string& Arg : Line) Argv.push_back(Arg.data());
  Argv.push_back(nullptr);
  const std::string LogPath = (Directory_ / LogName).string();
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, LogPath.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&Actions, STDOUT_FILENO, STDERR_FILENO);
  const int Failed = posix_spawn(&Pid_, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Failed != 0) {
    Pid_ = -1;
    Error_ = Program + " could not be started: " + std::strerror(Failed);
    return false;
  }
  return WaitUntilListening();
}

bool TSer2netServer::WaitUntilListening() {
  const TClock::time_point Deadline = TClock::now() + ListenBound;
  for (;;) {
    int Status = 0;
    if (::waitpid(Pid_, &Status, WNOHANG) == Pid_) {
      Pid_ = -1;
      Error_ = "ser2net ended at once (wait status " + std::to_string(Status) + "): " + Log();
      return false;
    }
    const std::set<std::string> Inodes = ListeningInodes(Port_);
    if (HoldsSocket(Pid_, Inodes)) return true;
    if (!Inodes.empty() || TClock::now() >= Deadline) {
      Kill();
      Error_ = "ser2net did not listen on 127.0.0.1:" + std::to_string(Port_) +
               (Inodes.empty() ? " in time" : ": another program does") + "; its output: " + Log();
      return false;
    }
    std::this_thread::sleep_for(5ms);
  }
}

void TSer2netServer::Kill(int Signal) {
  if (!Running()) return;
  ::kill(Pid_, Signal);
  const TClock::time_point Deadline = TClock::now() + TermBound;
  int Status = 0;
  while (::waitpid(Pid_, &Status, WNOHANG) != Pid_) {
    if (TClock::now() >= Deadline) {
      ::kill(Pid_, SIGKILL);
      while (::waitpid(Pid_, &Status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    std::this_thread::sleep_for(2ms);
  }
  Pid_ = -1;
}

TLoopbackClient::TLoopbackClient(int Port) {
  Socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Socket_ < 0) return;
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Address.sin_port = htons(static_cast<std::uint16_t>(Port));
  if (::connect(Socket_, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0) {
    ::close(Socket_);
    Socket_ = -1;
  }
}

TLoopbackClient::~TLoopbackClient() {
  if (Socket_ >= 0) ::close(Socket_);
}

}  // namespace tolvane::testing_support
