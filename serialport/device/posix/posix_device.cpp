// Opening, closing, configuring and the status queries of the POSIX device.
#include "serialport/device/posix/posix_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serialport/device/device_wake_posix.h"
#include "serialport/device/posix/termios2_rate.h"
#include "serialport/device/posix/termios_settings.h"

namespace tolvane {
namespace {

// The slave side of a Unix 98 pseudo-terminal (/dev/pts/N): majors 136 to 143.
bool IsPseudoTerminalSlave(int Fd) {
  struct stat Status {};
  if (fstat(Fd, &Status) != 0 || !S_ISCHR(Status.st_mode)) return false;
  const unsigned int Major = major(Status.st_rdev);
  return Major >= 136 && Major <= 143;
}

// A pseudo-terminal never receives a break or a byte with a parity or framing error, so there is
// nothing to mark in its input; unmarked, the kernel's line discipline copies what arrives whole
// instead of looking at every byte, which is most of a busy line's cost there.
void UnmarkedOnPseudoTerminal(termios& Settings, bool PseudoTerminal) {
  if (PseudoTerminal) Settings.c_iflag &= ~static_cast<tcflag_t>(PARMRK);
}

// Exclusive, raw, and a tty at all. flock keeps out a second opener even when it runs as root,
// which TIOCEXCL does not. Exclusive tells whether TIOCEXCL was set, so that a failure after it
// can clear it again (and a failure before it leaves another holder's exclusive mode alone).
int PrepareTty(int Fd, bool PseudoTerminal, bool& Exclusive) {
  Exclusive = false;
  if (!isatty(Fd)) return ENOTTY;
  if (flock(Fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
  if (ioctl(Fd, TIOCEXCL) != 0) return errno;
  Exclusive = true;
  // Until the first SetCommState the line keeps its rate but must not echo or translate.
  termios Settings{};
  if (tcgetattr(Fd, &Settings) != 0) return errno;
  ApplyRawMode(Settings);
  UnmarkedOnPseudoTerminal(Settings, PseudoTerminal);
  if (tcsetattr(Fd, TCSANOW, &Settings) != 0) return errno;
  return 0;
}

// A pseudo-terminal has no modem lines and answers their ioctls with one of these.
bool HasNoModemLines(int Error) {
  return Error == ENOTTY || Error == EINVAL;
}

int SetModemLine(int Fd, TLineLevel Level, int Line) {
  if (Level == TLineLevel::KernelDriven) return 0;
  if (ioctl(Fd, Level == TLineLevel::On ? TIOCMBIS : TIOCMBIC, &Line) == 0) return 0;
  return HasNoModemLines(errno) ? 0 : errno;
}

}  // namespace

TPosixDevice::~TPosixDevice() {
  if (IsOpen()) Close();
}

int TPosixDevice::OpenWakeups() {
  for (int* Wake : {&RxWake_, &TxWake_, &EventWake_, &DrainKick_}) {
    *Wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (*Wake < 0) return errno;
  }
  return 0;
}

void TPosixDevice::CloseWakeups() {
  for (int* Wake : {&RxWake_, &TxWake_, &EventWake_, &DrainKick_}) {
    if (*Wake >= 0) close(*Wake);
    *Wake = -1;
  }
}

int TPosixDevice::Open(const std::string& Path) {
  if (IsOpen()) return EBUSY;
  if (Path.empty()) return ENOENT;
  const int Fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Fd < 0) return errno;
  bool Exclusive = false;
  const bool PseudoTerminal = IsPseudoTerminalSlave(Fd);
  int Error = PrepareTty(Fd, PseudoTerminal, Exclusive);
  if (Error == 0) Error = OpenWakeups();
  if (Error != 0) {
    // Exclusive mode belongs to the tty and would outlive the descriptor (see Close).
    if (Exclusive) ioctl(Fd, TIOCNXCL);
    close(Fd);
    CloseWakeups();
    return Error;
  }
  {
    std::lock_guard Lock(Mutex_);
    MarkOpenLocked();
    Fd_ = Fd;
    TtyEmpty_ = false;
    HasWaiter_ = false;
    PseudoTerminal_ = PseudoTerminal;
    TInputQueueOptions Options = Queue_.Options();
    Options.Marked = !PseudoTerminal;
    Queue_.Configure(Options);
    serial_icounter_struct Counters{};
    HasCounters_ = ioctl(Fd, TIOCGICOUNT, &Counters) == 0;
    TakeLineErrorsLocked();
  }
  Error = StartHelpers();
  if (Error != 0) Close();
  return Error;
}

int TPosixDevice::StartHelpers() {
  if (int Error = Drainer_.Start([this] { DrainLoop(); })) return Error;
  int Lines = 0;
  if (ioctl(Fd_, TIOCMGET, &Lines) == 0) return ModemWatcher_.Start([this] { ModemLoop(); });
  return 0;
}

void TPosixDevice::WakeAllLocked() {
  for (int Wake : {RxWake_, TxWake_, EventWake_, DrainKick_}) SignalWake(Wake);
}

void TPosixDevice::WakeWaiterLocked() {
  SignalWake(EventWake_);
}

void TPosixDevice::ReleaseSystem() {
  int Fd = -1;
  {
    std::lock_guard Lock(Mutex_);
    Fd = Fd_;
  }
  Drainer_.StopAndJoin();
  ModemWatcher_.StopAndJoin();
  // The exclusive mode belongs to the tty, not to the descriptor: it would outlive this close
  // while anyone else still holds the tty open and keep even this device from opening it again.
  ioctl(Fd, TIOCNXCL);
  // Closing releases the flock with the descriptor. An error of close() on a tty (say, EIO after
  // a hang-up) leaves nothing to retry: the descriptor is gone.
  close(Fd);
  std::lock_guard Lock(Mutex_);
  CloseWakeups();
  Fd_ = -1;
}

// XonLim and XoffLim are not used: the kernel sends XOFF and drops RTS by its own thresholds when
// its buffer fills, and bytes beyond the input queue's size wait in that buffer. EofChar has no
// meaning in binary mode, the only mode there is.
int TPosixDevice::SetCommState(const TDcb& Dcb) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  termios Old{};
  if (tcgetattr(Fd_, &Old) != 0) return errno;
  termios New = Old;
  bool NeedsCustomRate = false;
  if (int Error = TermiosForDcb(Dcb, New, NeedsCustomRate)) return Error;
  UnmarkedOnPseudoTerminal(New, PseudoTerminal_);
  if (tcsetattr(Fd_, TCSANOW, &New) != 0) return errno;
  if (NeedsCustomRate) {
    if (int Error = SetCustomRate(Fd_, Dcb.BaudRate)) {
      tcsetattr(Fd_, TCSANOW, &Old);
      return Error;
    }
  }
  const TModemOutputs Outputs = ModemOutputsFor(Dcb);
  if (int Error = SetModemLine(Fd_, Outputs.Dtr, TIOCM_DTR)) return Error;
  if (int Error = SetModemLine(Fd_, Outputs.Rts, TIOCM_RTS)) return Error;

  std::lock_guard Lock(Mutex_);
  ConfigureQueueLocked(Dcb);
  return 0;
}

std::uint32_t TPosixDevice::TakeLineErrorsLocked() {
  if (!HasCounters_) return 0;
  serial_icounter_struct Counters{};
  if (ioctl(Fd_, TIOCGICOUNT, &Counters) != 0) return 0;
  const int Now[5] = {Counters.frame, Counters.parity, Counters.overrun, Counters.brk,
                      Counters.buf_overrun};
  constexpr std::uint32_t Flags[5] = {CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_BREAK, CE_RXOVER};
  std::uint32_t Errors = 0;
  for (int I = 0; I < 5; ++I) {
    if (static_cast<std::uint32_t>(Now[I]) != LastCounters_[I]) Errors |= Flags[I];
    LastCounters_[I] = static_cast<std::uint32_t>(Now[I]);
  }
  return Errors;
}

std::uint32_t TPosixDevice::CountInputLocked() {
  // While an event thread waits for input events, it moves the kernel's input into the queue
  // and announces it, so the count is what has been announced, and asking the kernel again here
  // would mostly cost a read that finds it empty. Not so on a busy line: a queue that holds a
  // kilobyte or more means more bytes are on their way, and taking them now lets them ride on
  // the delivery under way instead of costing one of their own. A hang-up is not a line error; the
  // next read or wait reports it.
  if (!HasWaiter_ || (Mask_ & EV_RXCHAR) == 0 || Queue_.Size() >= BusyLineQueue) PullLocked();
  return static_cast<std::uint32_t>(Queue_.Size());
}

int TPosixDevice::GetCommModemStatus(std::uint32_t& Status) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  int Lines = 0;
  if (ioctl(Fd_, TIOCMGET, &Lines) != 0) {
    // A device without modem lines (a pseudo-terminal) reports every line off rather than
    // failing, as the port expects of such a device.
    if (!HasNoModemLines(errno)) return errno;
    Lines = 0;
  }
  Status = 0;
  if (Lines & TIOCM_CTS) Status |= MS_CTS_ON;
  if (Lines & TIOCM_DSR) Status |= MS_DSR_ON;
  if (Lines & TIOCM_RNG) Status |= MS_RING_ON;
  if (Lines & TIOCM_CAR) Status |= MS_RLSD_ON;
  return 0;
}

}  // namespace tolvane
