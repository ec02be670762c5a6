// The event side of the POSIX device: the event mask, the event wait and the two helper threads
// that turn drained output and modem line changes into events.
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "serialport/device/device_wake_posix.h"
#include "serialport/device/posix/posix_device.h"
#include "serialport/dispatch/stop_signal_posix.h"

namespace tolvane {
namespace {

struct TModemEvent {
  int Line;
  int serial_icounter_struct::*Counter;
  std::uint32_t Event;
};

constexpr TModemEvent ModemEvents[] = {
    {TIOCM_CTS, &serial_icounter_struct::cts, EV_CTS},
    {TIOCM_DSR, &serial_icounter_struct::dsr, EV_DSR},
    {TIOCM_RNG, &serial_icounter_struct::rng, EV_RING},
    {TIOCM_CAR, &serial_icounter_struct::dcd, EV_RLSD},
};

// Lines that differ, and lines whose change counter moved: a ring pulse or a short glitch can be
// over before the lines are read again, but the driver's counters still saw it.
std::uint32_t ModemChanges(int OldLines, int NewLines, const serial_icounter_struct* OldCounts,
                           const serial_icounter_struct* NewCounts) {
  std::uint32_t Events = 0;
  for (const TModemEvent& Entry : ModemEvents) {
    if ((OldLines ^ NewLines) & Entry.Line) Events |= Entry.Event;
    if (OldCounts && NewCounts && OldCounts->*Entry.Counter != NewCounts->*Entry.Counter)
      Events |= Entry.Event;
  }
  return Events;
}

}  // namespace

void TPosixDevice::MaskChangedLocked() {
  if (Mask_ == 0) HasWaiter_ = false;
}

TWaitResult TPosixDevice::WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) {
  Mask = 0;
  TUse Use(*this);
  if (Use.Error() != 0) return TWaitResult::Failed;
  {
    std::lock_guard Lock(Mutex_);
    HasWaiter_ = true;
    WaiterThread_ = std::this_thread::get_id();
  }
  const TWaitResult Result = AwaitEvents(Mask, Stop);
  if (Result != TWaitResult::Event) {
    std::lock_guard Lock(Mutex_);
    HasWaiter_ = false;
  }
  return Result;
}

TWaitResult TPosixDevice::AwaitEvents(std::uint32_t& Mask, const TStopSignal& Stop) {
  std::uint64_t MaskChanges = 0;
  // Input the kernel received since the last read shows in poll(), so a tty found empty then is
  // not read again before poll() says so.
  bool MayHaveInput = false;
  {
    std::lock_guard Lock(Mutex_);
    MaskChanges = MaskChanges_;
    MayHaveInput = !TtyEmpty_;
  }
  for (;;) {
    if (Stop.IsSet()) return TWaitResult::Stopped;
    bool WatchInput = false;
    {
      std::lock_guard Lock(Mutex_);
      if (MayHaveInput && !Closing_) PullLocked();
      MayHaveInput = true;
      // A new mask ends a wait in progress with no events; events that came before a hang-up
      // are reported first, and the next wait reports the loss.
      if (const auto Outcome = WaitOutcomeLocked(MaskChanges, Mask)) return *Outcome;
      // With the queue full the rest stays in the kernel, and the tty is watched only for a
      // hang-up, so that a full queue cannot make this loop spin.
      WatchInput = Queue_.FreeSpace() > 0;
      Polling_ = true;
      PollingInput_ = WatchInput;
    }
    pollfd Polls[3] = {{Fd_, static_cast<short>(WatchInput ? POLLIN : 0), 0},
                       {StopSignalFd(Stop), POLLIN, 0},
                       {EventWake_, POLLIN, 0}};
    const int Ready = poll(Polls, 3, -1);
    const int PollError = errno;
    {
      std::lock_guard Lock(Mutex_);
      Polling_ = false;
      // Input that poll() reports is read by this wait, or, when the stop ends it first (the
      // port's wait during a delivery, say), by the next one without polling again.
      if (Ready > 0 && (Polls[0].revents & POLLIN) != 0) TtyEmpty_ = false;
    }
    if (Ready < 0) {
      if (PollError == EINTR) continue;
      return TWaitResult::Failed;
    }
    if (Polls[1].revents != 0) return TWaitResult::Stopped;
    if (Polls[2].revents != 0) ConsumeWake(EventWake_);
    if (Polls[0].revents & POLLNVAL) return TWaitResult::Failed;
    if (Polls[0].revents & (POLLHUP | POLLERR)) {
      std::lock_guard Lock(Mutex_);
      PullLocked();
      LoseLineLocked(EIO);
    }
    MayHaveInput = (Polls[0].revents & POLLIN) != 0 || !WatchInput;
  }
}

void TPosixDevice::DrainLoop() {
  int Fd = -1;
  {
    std::lock_guard Lock(Mutex_);
    Fd = Fd_;
  }
  for (;;) {
    {
      std::lock_guard Lock(Mutex_);
      if (Closing_) return;
    }
    pollfd Kick{DrainKick_, POLLIN, 0};
    if (poll(&Kick, 1, -1) <= 0) continue;  // interrupted: look at Closing_ again
    ConsumeWake(DrainKick_);
    {
      std::lock_guard Lock(Mutex_);
      if (Closing_) return;
    }
    // Blocks until the last byte has left; a pseudo-terminal returns at once. A failure (a hung
    // up line, or Close interrupting) reports nothing.
    if (tcdrain(Fd) != 0) continue;
    std::lock_guard Lock(Mutex_);
    AddEventsLocked(EV_TXEMPTY);
  }
}

void TPosixDevice::ModemLoop() {
  int Fd = -1;
  {
    std::lock_guard Lock(Mutex_);
    Fd = Fd_;
  }
  int Lines = 0;
  if (ioctl(Fd, TIOCMGET, &Lines) != 0) return;
  serial_icounter_struct Counts{};
  const bool HasCounts = ioctl(Fd, TIOCGICOUNT, &Counts) == 0;
  for (;;) {
    {
      std::lock_guard Lock(Mutex_);
      if (Closing_) return;
    }
    if (ioctl(Fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CAR) != 0) {
      if (errno == EINTR) continue;
      return;  // no change notification on this device, or the line is gone
    }
    int NewLines = 0;
    if (ioctl(Fd, TIOCMGET, &NewLines) != 0) return;
    serial_icounter_struct NewCounts{};
    const bool HaveNewCounts = HasCounts && ioctl(Fd, TIOCGICOUNT, &NewCounts) == 0;
    const std::uint32_t Events = ModemChanges(Lines, NewLines, HaveNewCounts ? &Counts : nullptr,
                                              HaveNewCounts ? &NewCounts : nullptr);
    Lines = NewLines;
    if (HaveNewCounts) Counts = NewCounts;
    std::lock_guard Lock(Mutex_);
    AddEventsLocked(Events);
  }
}

}  // namespace tolvane
