#include "tools/pty_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tolvane {

namespace {

constexpr auto MasterErrorPause = std::chrono::milliseconds(200);
constexpr std::size_t ReadChunk = 4096;
constexpr std::size_t LoggedBytes = 256;

std::string ErrnoText(const char* What) {
  return std::string(What) + ": " + std::strerror(errno);
}

void CloseIfOpen(int& Fd) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

}  // namespace

TPtySimulator::TPtySimulator(TControllerModel& Model, TReplyShaper& Shaper, TSimulatorLog& Log,
                             TRegistersChanged OnRegistersChanged, TVanishRule Vanish,
                             TLineReady OnLineReady)
    : Model_(Model),
      Shaper_(Shaper),
      Log_(Log),
      OnRegistersChanged_(std::move(OnRegistersChanged)),
      Vanish_(Vanish),
      OnLineReady_(std::move(OnLineReady)) {}

TPtySimulator::~TPtySimulator() {
  CloseLine();
  CloseIfOpen(SignalFd_);
}

bool TPtySimulator::Open(std::string& Error) {
  sigset_t Taken;
  sigemptyset(&Taken);
  for (int Signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) sigaddset(&Taken, Signal);
  if (sigprocmask(SIG_BLOCK, &Taken, nullptr) != 0) {
    Error = ErrnoText("sigprocmask");
    return false;
  }
  ::signal(SIGPIPE, SIG_IGN);
  SignalFd_ = signalfd(-1, &Taken, SFD_CLOEXEC);
  if (SignalFd_ < 0) {
    Error = ErrnoText("signalfd");
    return false;
  }
  return OpenLine(Error);
}

bool TPtySimulator::OpenLine(std::string& Error) {
  // Raw from the start: no echo of what the utility sends and no translation of line ends
  // until the utility applies its own settings.
  termios Raw{};
  cfmakeraw(&Raw);
  if (openpty(&Master_, &Slave_, nullptr, &Raw, nullptr) != 0) {
    Error = ErrnoText("openpty");
    return false;
  }
  ::fcntl(Master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(Slave_, F_SETFD, FD_CLOEXEC);
  ::fcntl(Master_, F_SETFL, ::fcntl(Master_, F_GETFL) | O_NONBLOCK);
  const char* Name = ::ttyname(Slave_);
  if (Name == nullptr) {
    Error = ErrnoText("ttyname");
    return false;
  }
  SlavePath_ = Name;

  InotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (InotifyFd_ < 0 || inotify_add_watch(InotifyFd_, SlavePath_.c_str(),
                                          IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
    Error = ErrnoText("inotify");
    return false;
  }
  return !OnLineReady_ || OnLineReady_(SlavePath_, Error);
}

void TPtySimulator::CloseLine() {
  CloseIfOpen(InotifyFd_);
  CloseIfOpen(Slave_);
  CloseIfOpen(Master_);
  SlavePath_.clear();
}

void TPtySimulator::Vanish(const std::string& Why) {
  VanishDue_ = false;
  if (Master_ < 0) return;
  Log_.Write("line vanished (" + Why + ")" +
             (Output_.empty() ? std::string() : "; unsent replies dropped"));
  Output_.clear();
  QueuedBytes_ = 0;
  CloseLine();
  if (Vanish_.ReturnAfterMs >= 0) {
    ReturnAt_ = TClock::now() + std::chrono::milliseconds(Vanish_.ReturnAfterMs);
  }
}

bool TPtySimulator::Return(std::string& Error) {
  ReturnAt_ = TClock::time_point::max();
  if (Master_ >= 0) return true;
  if (!OpenLine(Error)) return false;
  Log_.Write("line back as " + SlavePath_);
  return true;
}

int TPtySimulator::ReadSignal() {
  signalfd_siginfo Info{};
  if (::read(SignalFd_, &Info, sizeof Info) != static_cast<ssize_t>(sizeof Info)) return 0;
  return static_cast<int>(Info.ssi_signo);
}

bool TPtySimulator::TakeSignal(int Signal, std::string& Error) {
  if (Signal == SIGUSR1) Vanish("SIGUSR1");
  if (Signal == SIGUSR2) return Return(Error);
  return true;
}

int TPtySimulator::Run(std::string& Error) {
  for (;;) {
    const bool LineThere = Master_ >= 0;
    const bool MasterQuiet = TClock::now() < MasterQuietUntil_;
    // While the line has vanished only the signals are watched (poll() skips negative fds).
    pollfd Fds[3] = {
        {SignalFd_, POLLIN, 0},
        {Master_, static_cast<short>((MasterQuiet ? 0 : POLLIN) | (OutputDue() ? POLLOUT : 0)), 0},
        {InotifyFd_, POLLIN, 0},
    };
    const int Ready = ::poll(Fds, 3, PollTimeoutMs());
    if (Ready < 0) {
      if (errno == EINTR) continue;
      Error = ErrnoText("poll");
      return 0;
    }
    if (Fds[0].revents & POLLIN) {
      const int Signal = ReadSignal();
      if (Signal == SIGINT || Signal == SIGTERM) return Signal;
      if (!TakeSignal(Signal, Error)) return 0;
      continue;
    }
    if (!LineThere) {
      if (TClock::now() >= ReturnAt_ && !Return(Error)) return 0;
      continue;
    }
    if (Fds[2].revents & POLLIN) ReadSlaveEvents();
    if (Fds[1].revents & (POLLIN | POLLHUP | POLLERR)) ReadMaster();
    if (VanishDue_) {
      Vanish("after " + std::to_string(Vanish_.AfterPackets) + " packets");
      continue;
    }
    WriteDue();
  }
}

void TPtySimulator::ReadMaster() {
  char Buffer[ReadChunk];
  for (;;) {
    const ssize_t Count = ::read(Master_, Buffer, sizeof Buffer);
    if (Count > 0) {
      Answer(std::string(Buffer, static_cast<std::size_t>(Count)));
      if (VanishDue_) return;
      continue;
    }
    if (Count < 0 && errno == EINTR) continue;
    if (Count < 0 && errno == EAGAIN) return;
    Log_.Write(Count == 0 ? std::string("line hung up") : ErrnoText("read error on the line"));
    MasterQuietUntil_ = TClock::now() + MasterErrorPause;
    return;
  }
}

void TPtySimulator::Answer(const std::string& Received) {
  // Bursts of noise are logged by their start, so the log stays readable.
  const std::string_view Shown = std::string_view(Received).substr(0, LoggedBytes);
  Log_.Write("rx \"" + EscapeBytes(Shown) + "\"" +
             (Shown.size() < Received.size()
                  ? " ... (" + std::to_string(Received.size()) + " bytes)"
                  : std::string()));
  bool RegistersChanged = false;
  for (const TControllerEvent& Event : Model_.Receive(Received)) {
    Log_.Write("packet \"" + EscapeBytes(Event.Packet) + "\": " + Event.Note);
    RegistersChanged = RegistersChanged || Event.Stored;
    // The packet that reaches the count is taken but not answered: the line goes with it.
    if (++PacketsTaken_ == Vanish_.AfterPackets) {
      VanishDue_ = true;
      break;
    }
    if (!Event.Reply.empty()) QueueReply(Event.Reply);
  }
  if (RegistersChanged && OnRegistersChanged_) OnRegistersChanged_(Model_.Registers());
}

void TPtySimulator::QueueReply(const std::string& Reply) {
  const std::vector<TTimedWrite> Writes = Shaper_.Shape(Reply);
  if (Writes.empty()) {
    Log_.Write("reply \"" + EscapeBytes(Reply) + "\" dropped");
    return;
  }
  std::size_t Bytes = 0;
  for (const TTimedWrite& Write : Writes) Bytes += Write.Bytes.size();
  if (QueuedBytes_ + Bytes > MaxQueuedBytes) {
    Log_.Write("reply \"" + EscapeBytes(Reply) + "\" dropped: nobody reads the line");
    return;
  }
  // A reply never overtakes or interleaves with the one before it.
  const TClock::time_point Now = TClock::now();
  for (const TTimedWrite& Write : Writes) {
    LastDue_ = std::max(Now + std::chrono::milliseconds(Write.AtMs), LastDue_);
    Output_.push_back({LastDue_, Write.Bytes});
  }
  QueuedBytes_ += Bytes;
  Log_.Write("reply \"" + EscapeBytes(Reply) + "\" queued in " + std::to_string(Writes.size()) +
             " write(s)");
}

void TPtySimulator::WriteDue() {
  while (OutputDue()) {
    TQueuedWrite& Front = Output_.front();
    const ssize_t Written = ::write(Master_, Front.Bytes.data(), Front.Bytes.size());
    if (Written < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) {
        Log_.Write(ErrnoText("write error on the line") + "; output dropped");
        Output_.clear();
        QueuedBytes_ = 0;
      }
      return;  // full: poll() says when the receiver has read
    }
    const auto Done = static_cast<std::size_t>(Written);
    QueuedBytes_ -= Done;
    Log_.Write("tx \"" + EscapeBytes(std::string_view(Front.Bytes).substr(0, Done)) + "\"");
    Front.Bytes.erase(0, Done);
    if (Front.Bytes.empty()) Output_.pop_front();
  }
}

void TPtySimulator::ReadSlaveEvents() {
  alignas(inotify_event) char Buffer[ReadChunk];
  for (;;) {
    const ssize_t Count = ::read(InotifyFd_, Buffer, sizeof Buffer);
    if (Count <= 0) return;
    for (ssize_t Offset = 0; Offset < Count;) {
      const auto* Event = reinterpret_cast<const inotify_event*>(Buffer + Offset);
      if (Event->mask & IN_OPEN) {
        Log_.Write("line opened");
        Model_.Restart();
      }
      if (Event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
        Log_.Write("line closed");
        ::ioctl(Slave_, TIOCNXCL);
      }
      Offset += static_cast<ssize_t>(sizeof(inotify_event) + Event->len);
    }
  }
}

bool TPtySimulator::OutputDue() const {
  return !Output_.empty() && Output_.front().Due <= TClock::now();
}

int TPtySimulator::PollTimeoutMs() const {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  const TClock::time_point Now = TClock::now();
  TClock::time_point Wake = TClock::time_point::max();
  if (!Output_.empty() && Output_.front().Due > Now) Wake = Output_.front().Due;
  if (MasterQuietUntil_ > Now) Wake = std::min(Wake, MasterQuietUntil_);
  if (Master_ < 0 && ReturnAt_ != TClock::time_point::max()) {
    Wake = std::min(Wake, std::max(ReturnAt_, Now));
  }
  if (Wake == TClock::time_point::max()) return -1;
  // Round up, so the loop does not wake a moment early and poll again with a zero timeout.
  return static_cast<int>(duration_cast<milliseconds>(Wake - Now).count()) + 1;
}

}  // namespace tolvane
