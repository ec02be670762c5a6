// Writing, purging and the event wait of the Windows device, with the classic time-out
// rules.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

#include "serialport/base/system_error_cause.h"
#include "serialport/base/system_error_codes.h"
#include "serialport/device/read_plan.h"
#include "serialport/device/win32/win32_device.h"
// After the component's headers.
#include "serialport/device/win32/win32_operation.h"
#include "serialport/dispatch/stop_signal_win32.h"

namespace tolvane {
namespace {

using TClock = std::chrono::steady_clock;

// Milliseconds left until Deadline, rounded up so that a wait never ends early; INFINITE when
// there is no deadline.
DWORD WaitTime(std::optional<TClock::time_point> Deadline) {
  if (!Deadline) return INFINITE;
  const auto Now = TClock::now();
  if (Now >= *Deadline) return 0;
  const auto Left = std::chrono::ceil<std::chrono::milliseconds>(*Deadline - Now).count();
  return static_cast<DWORD>(std::min<decltype(Left)>(Left, INFINITE - 1));
}

}  // namespace

int TWin32Device::WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  Overlapped = {};
  TUse Use(*this);
  if (Use.Error() != 0) return CompleteTransfer(Overlapped, 0, Use.Error());
  std::optional<TClock::time_point> Deadline;
  std::uint64_t Aborts = 0;
  {
    std::lock_guard Lock(Mutex_);
    if (LineError_ != 0) return CompleteTransfer(Overlapped, 0, LineError_);
    if (const auto Limit = WriteTimeLimit(Timeouts_, Count)) Deadline = TClock::now() + *Limit;
    Aborts = TxAborts_;
  }
  TOperation Write;
  if (!Write.Valid()) return CompleteTransfer(Overlapped, 0, LastError());
  DWORD Written = 0;
  int Error = 0;
  if (!::WriteFile(Handle_, Buffer, Count, nullptr, Write.Get())) Error = LastError();
  while (Error == ERROR_IO_PENDING) {
    const HANDLE Objects[2] = {Write.Event(), TxWake_};
    const DWORD Ended = WaitForMultipleObjects(2, Objects, FALSE, WaitTime(Deadline));
    if (Ended == WAIT_OBJECT_0) {
      Error = 0;
      break;
    }
    if (Ended == WAIT_OBJECT_0 + 1) {
      std::lock_guard Lock(Mutex_);
      if (Closing_) {
        Error = NotOpenErrorCode;
      } else if (TxAborts_ != Aborts) {
        Error = CancelledErrorCode;
      } else if (LineError_ != 0) {
        Error = LineError_;
      } else {
        continue;  // a wake-up meant for an earlier write
      }
    } else {
      // Running out of time is not a failure; the caller learns how much went out.
      Error = Ended == WAIT_TIMEOUT ? 0 : LastError();
    }
    CancelIoEx(Handle_, Write.Get());
    ::GetOverlappedResult(Handle_, Write.Get(), &Written, TRUE);
    return CompleteTransfer(Overlapped, Written, Error);
  }
  if (Error == 0 && !::GetOverlappedResult(Handle_, Write.Get(), &Written, TRUE)) {
    Error = LastError();
  }
  if (Error != 0) NoteFailure(Error);
  return CompleteTransfer(Overlapped, Written, Error);
}

int TWin32Device::PurgeLocked(std::uint32_t Flags) {
  if (Flags & PURGE_TXABORT) SetEvent(TxWake_);
  if ((Flags & PURGE_RXCLEAR) && WatcherStarved_) SetEvent(WatchWake_);
  Changed_.notify_all();
  if (::PurgeComm(Handle_, Flags)) return 0;
  // A lost line is reported by the event wait; a dead line's buffers have nothing left to fail.
  const int Error = LastError();
  return LineError_ != 0 || IsLineLostError(Error) ? 0 : Error;
}

TWaitResult TWin32Device::WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) {
  Mask = 0;
  TUse Use(*this);
  if (Use.Error() != 0) return TWaitResult::Failed;
  std::uint64_t MaskChanges = 0;
  {
    std::lock_guard Lock(Mutex_);
    MaskChanges = MaskChanges_;
  }
  const HANDLE Objects[2] = {StopSignalEvent(Stop), EventWake_};
  for (;;) {
    if (Stop.IsSet()) return TWaitResult::Stopped;
    {
      std::lock_guard Lock(Mutex_);
      if (const auto Outcome = WaitOutcomeLocked(MaskChanges, Mask)) return *Outcome;
      Polling_ = true;
    }
    const DWORD Ended = WaitForMultipleObjects(2, Objects, FALSE, INFINITE);
    {
      std::lock_guard Lock(Mutex_);
      Polling_ = false;
    }
    if (Ended == WAIT_OBJECT_0) return TWaitResult::Stopped;
    if (Ended != WAIT_OBJECT_0 + 1) return TWaitResult::Failed;
  }
}

}  // namespace tolvane
