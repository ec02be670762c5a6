// Reading, writing and purging on the POSIX device, with the classic time-out rules.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>

#include "serialport/device/device_wake_posix.h"
#include "serialport/device/posix/posix_device.h"
#include "serialport/device/read_plan.h"

namespace tolvane {
namespace {

using TClock = std::chrono::steady_clock;
using TMilliseconds = std::chrono::milliseconds;

// Milliseconds left until Deadline for poll(), rounded up so that a wait never ends early and
// then spins on a zero time-out; -1 when there is no deadline.
int PollTimeout(std::optional<TClock::time_point> Deadline) {
  if (!Deadline) return -1;
  const auto Now = TClock::now();
  if (Now >= *Deadline) return 0;
  const auto Left = std::chrono::ceil<TMilliseconds>(*Deadline - Now).count();
  return static_cast<int>(std::min<decltype(Left)>(Left, INT_MAX));
}

constexpr short HangUpEvents = POLLHUP | POLLERR;

}  // namespace

int TPosixDevice::PullLocked() {
  if (LineError_ != 0) return LineError_;
  // Larger than the line discipline's own buffer (4 KiB), so a read that empties it is short.
  std::uint8_t Raw[16 * 1024];
  TtyEmpty_ = false;
  for (;;) {
    const std::size_t Free = Queue_.FreeSpace();
    if (Free == 0) return 0;
    const std::size_t Asked = std::min(Free, sizeof Raw);
    const ssize_t Count = read(Fd_, Raw, Asked);
    if (Count > 0) {
      AddEventsLocked(Queue_.Accept(Raw, static_cast<std::size_t>(Count)));
      // A short read took all there was. Reading again would find the tty empty, and an empty
      // read waits for the kernel to finish moving input it has in flight (a pseudo-terminal
      // always has some during a flood); poll() reports that input when it is there.
      TtyEmpty_ = static_cast<std::size_t>(Count) < Asked;
      if (TtyEmpty_) return 0;
      continue;
    }
    // A tty gives end of file only once its far end has hung up.
    if (Count == 0) {
      LoseLineLocked(EIO);
      return EIO;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      TtyEmpty_ = true;
      return 0;
    }
    // Any other failure would repeat on every try while poll() keeps calling the tty readable;
    // the line counts as gone, so waits fail instead of spinning.
    const int Error = errno;
    LoseLineLocked(Error);
    return Error;
  }
}

void TPosixDevice::ReportWriteEnd() {
  {
    std::lock_guard Lock(Mutex_);
    if ((Mask_ & EV_TXEMPTY) == 0) return;
    if (PseudoTerminal_) {
      AddEventsLocked(EV_TXEMPTY);
      return;
    }
  }
  int Queued = 0;
  if (ioctl(Fd_, TIOCOUTQ, &Queued) == 0 && Queued == 0) {
    std::lock_guard Lock(Mutex_);
    AddEventsLocked(EV_TXEMPTY);
    return;
  }
  SignalWake(DrainKick_);
}

int TPosixDevice::ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  Overlapped = {};
  TUse Use(*this);
  if (Use.Error() != 0) return CompleteTransfer(Overlapped, 0, Use.Error());
  TReadPlan Plan;
  std::uint64_t Aborts = 0;
  {
    std::lock_guard Lock(Mutex_);
    Plan = PlanRead(Timeouts_, Count);
    Aborts = RxAborts_;
  }
  auto* Out = static_cast<std::uint8_t*>(Buffer);
  std::uint32_t Got = 0;
  const auto Start = TClock::now();
  std::optional<TClock::time_point> TotalDeadline;
  if (Plan.Total) TotalDeadline = Start + *Plan.Total;
  std::optional<TClock::time_point> IntervalDeadline;
  bool SawHangUp = false;

  for (;;) {
    int PullError = 0;
    std::uint32_t Before = Got;
    {
      std::lock_guard Lock(Mutex_);
      if (Closing_) return CompleteTransfer(Overlapped, Got, EBADF);
      if (RxAborts_ != Aborts) return CompleteTransfer(Overlapped, Got, ECANCELED);
      Got += static_cast<std::uint32_t>(Queue_.Take(Out + Got, Count - Got));
      // A waiter that stopped watching the tty because the queue was full watches it again.
      if (Got > Before && Polling_ && !PollingInput_) SignalWake(EventWake_);
      // The waiter's own thread takes a busy line's bytes to deliver them itself: by the time it
      // waits again, the kernel has most likely received more, so that wait reads before it
      // polls, one system call instead of two. Should the tty be empty after all, the read
      // says so and the wait polls as ever.
      if (Got - Before >= BusyLineQueue && std::this_thread::get_id() == WaiterThread_)
        TtyEmpty_ = false;
      if (Got < Count) {
        PullError = PullLocked();
        if (PullError == 0 && SawHangUp && Got == Before && Queue_.Size() == 0) {
          LoseLineLocked(EIO);
          PullError = EIO;
        }
        Got += static_cast<std::uint32_t>(Queue_.Take(Out + Got, Count - Got));
      }
    }
    if (Got > Before && Plan.Interval) IntervalDeadline = TClock::now() + *Plan.Interval;
    if (Got == Count) break;
    // Bytes already read are handed over; the failure shows at the next read.
    if (PullError != 0) {
      if (Got == 0) return CompleteTransfer(Overlapped, 0, PullError);
      break;
    }
    if (Plan.ReturnAtOnce || (Plan.ReturnOnFirstByte && Got > 0)) break;
    const int Timeout = PollTimeout(EarlierDeadline(TotalDeadline, IntervalDeadline));
    if (Timeout == 0) break;

    pollfd Polls[2] = {{Fd_, POLLIN, 0}, {RxWake_, POLLIN, 0}};
    if (poll(Polls, 2, Timeout) < 0) {
      if (errno == EINTR) continue;
      return CompleteTransfer(Overlapped, Got, errno);
    }
    if (Polls[1].revents != 0) ConsumeWake(RxWake_);
    if (Polls[0].revents & POLLNVAL) return CompleteTransfer(Overlapped, Got, EBADF);
    SawHangUp = (Polls[0].revents & HangUpEvents) != 0;
  }
  return CompleteTransfer(Overlapped, Got, 0);
}

int TPosixDevice::WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  Overlapped = {};
  TUse Use(*this);
  if (Use.Error() != 0) return CompleteTransfer(Overlapped, 0, Use.Error());
  std::optional<TClock::time_point> Deadline;
  std::uint64_t Aborts = 0;
  {
    std::lock_guard Lock(Mutex_);
    if (const auto Limit = WriteTimeLimit(Timeouts_, Count)) Deadline = TClock::now() + *Limit;
    Aborts = TxAborts_;
  }
  const auto* In = static_cast<const std::uint8_t*>(Buffer);
  std::uint32_t Written = 0;
  int Error = 0;
  while (Written < Count) {
    {
      std::lock_guard Lock(Mutex_);
      if (Closing_) Error = EBADF;
      if (TxAborts_ != Aborts) Error = ECANCELED;
    }
    if (Error != 0) break;
    const ssize_t Sent = write(Fd_, In + Written, Count - Written);
    if (Sent > 0) {
      Written += static_cast<std::uint32_t>(Sent);
      continue;
    }
    if (Sent < 0 && errno == EINTR) continue;
    if (Sent < 0 && errno != EAGAIN) {
      Error = errno;
      break;
    }
    // The kernel's buffer is full: wait for room, an abort or the end of the time-out. Running
    // out of time is not a failure; the caller learns how much went out.
    const int Timeout = PollTimeout(Deadline);
    if (Timeout == 0) break;
    pollfd Polls[2] = {{Fd_, POLLOUT, 0}, {TxWake_, POLLIN, 0}};
    if (poll(Polls, 2, Timeout) < 0) {
      if (errno == EINTR) continue;
      Error = errno;
      break;
    }
    if (Polls[1].revents != 0) ConsumeWake(TxWake_);
    if (Polls[0].revents & POLLNVAL) {
      Error = EBADF;
      break;
    }
    if ((Polls[0].revents & HangUpEvents) && !(Polls[0].revents & POLLOUT)) {
      Error = EIO;
      break;
    }
  }
  if (Written > 0) ReportWriteEnd();
  if (IsLineLostError(Error)) {
    // The event wait may not have noticed yet (a vanished device need not report a hang-up);
    // this ends it, so the port hears of the loss from its event thread either way.
    std::lock_guard Lock(Mutex_);
    LoseLineLocked(Error);
  }
  return CompleteTransfer(Overlapped, Written, Error);
}

int TPosixDevice::PurgeLocked(std::uint32_t Flags) {
  if (Flags & PURGE_TXABORT) SignalWake(TxWake_);
  if (Flags & PURGE_RXABORT) SignalWake(RxWake_);
  if ((Flags & PURGE_TXCLEAR) && tcflush(Fd_, TCOFLUSH) != 0) return errno;
  if ((Flags & PURGE_RXCLEAR) && tcflush(Fd_, TCIFLUSH) != 0) return errno;
  return 0;
}

}  // namespace tolvane
