#include "serialport/device/device_core.h"

#include <algorithm>
#include <chrono>

#include "serialport/base/system_error_codes.h"
#include "serialport/device/read_plan.h"

namespace tolvane {

TDeviceCore::TUse::TUse(TDeviceCore& Device) : Device_(Device) {
  std::lock_guard Lock(Device.Mutex_);
  if (!Device.Open_ || Device.Closing_) {
    Error_ = NotOpenErrorCode;
    return;
  }
  ++Device.Users_;
}

TDeviceCore::TUse::~TUse() {
  if (Error_ != 0) return;
  std::lock_guard Lock(Device_.Mutex_);
  if (--Device_.Users_ == 0) Device_.NoUsers_.notify_all();
}

void TDeviceCore::MarkOpenLocked() {
  Open_ = true;
  Closing_ = false;
  LineError_ = 0;
  Polling_ = false;
  Timeouts_ = {};
  Mask_ = 0;
  PendingEvents_ = 0;
  Queue_.Clear();
  Queue_.TakeErrors();
}

int TDeviceCore::Close() {
  {
    std::unique_lock Lock(Mutex_);
    if (!Open_ || Closing_) return NotOpenErrorCode;
    Closing_ = true;
    WakeAllLocked();
    NoUsers_.wait(Lock, [this] { return Users_ == 0; });
  }
  ReleaseSystem();
  std::lock_guard Lock(Mutex_);
  Open_ = false;
  Closing_ = false;
  LineError_ = 0;
  Queue_.Clear();
  return 0;
}

bool TDeviceCore::IsOpen() const {
  std::lock_guard Lock(Mutex_);
  return Open_ && !Closing_;
}

int TDeviceCore::SetupComm(std::int32_t InputSize, std::int32_t OutputSize) {
  // The output size is the system's business; only nonsense is refused.
  if (InputSize <= 0 || OutputSize < 0) return InvalidArgumentErrorCode;
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  {
    std::lock_guard Lock(Mutex_);
    TInputQueueOptions Options = Queue_.Options();
    Options.Capacity = std::max(static_cast<std::size_t>(InputSize), SmallestInputQueue);
    Queue_.Configure(Options);
  }
  return QueueSizesChanged(InputSize, OutputSize);
}

void TDeviceCore::ConfigureQueueLocked(const TDcb& Dcb) {
  TInputQueueOptions Options = Queue_.Options();
  Options.DiscardNull = Dcb.fNull;
  Options.EventChar = Dcb.EvtChar;
  Options.ReplaceErrors = Dcb.fParity && Dcb.fErrorChar;
  Options.ErrorChar = Dcb.ErrorChar;
  Options.ParityEnabled = Dcb.Parity != NOPARITY;
  Queue_.Configure(Options);
}

int TDeviceCore::SetCommTimeouts(const TCommTimeouts& Timeouts) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  std::lock_guard Lock(Mutex_);
  Timeouts_ = Timeouts;
  return 0;
}

int TDeviceCore::GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) {
  return CompletedTransferResult(Overlapped, Transferred);
}

int TDeviceCore::ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  using TClock = std::chrono::steady_clock;
  Overlapped = {};
  TUse Use(*this);
  if (Use.Error() != 0) return CompleteTransfer(Overlapped, 0, Use.Error());
  auto* Out = static_cast<std::uint8_t*>(Buffer);
  std::uint32_t Got = 0;
  std::unique_lock Lock(Mutex_);
  const TReadPlan Plan = PlanRead(Timeouts_, Count);
  const std::uint64_t Aborts = RxAborts_;
  std::optional<TClock::time_point> TotalDeadline;
  if (Plan.Total) TotalDeadline = TClock::now() + *Plan.Total;
  std::optional<TClock::time_point> IntervalDeadline;
  for (;;) {
    if (Closing_) return CompleteTransfer(Overlapped, Got, NotOpenErrorCode);
    if (RxAborts_ != Aborts) return CompleteTransfer(Overlapped, Got, CancelledErrorCode);
    const std::uint32_t Before = Got;
    Got += static_cast<std::uint32_t>(Queue_.Take(Out + Got, Count - Got));
    if (Got > Before) {
      QueueHasRoomLocked();
      if (Plan.Interval) IntervalDeadline = TClock::now() + *Plan.Interval;
    }
    if (Got == Count) break;
    // Bytes already read are handed over; the loss shows at the next read.
    if (LineError_ != 0) {
      if (Got == 0) return CompleteTransfer(Overlapped, 0, LineError_);
      break;
    }
    if (Plan.ReturnAtOnce || (Plan.ReturnOnFirstByte && Got > 0)) break;
    const std::optional<TClock::time_point> Deadline =
        EarlierDeadline(TotalDeadline, IntervalDeadline);
    if (!Deadline) {
      Changed_.wait(Lock);
    } else if (Changed_.wait_until(Lock, *Deadline) == std::cv_status::timeout) {
      const std::uint32_t Late = static_cast<std::uint32_t>(Queue_.Take(Out + Got, Count - Got));
      if (Late > 0) QueueHasRoomLocked();
      Got += Late;
      break;
    }
  }
  return CompleteTransfer(Overlapped, Got, 0);
}

int TDeviceCore::PurgeComm(std::uint32_t Flags) {
  constexpr std::uint32_t Known = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
  if ((Flags & ~Known) != 0) return InvalidArgumentErrorCode;
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  {
    std::lock_guard Lock(Mutex_);
    if (Flags & PURGE_TXABORT) ++TxAborts_;
    if (Flags & PURGE_RXABORT) ++RxAborts_;
    if (Flags & PURGE_RXCLEAR) Queue_.Clear();
    if (const int Error = PurgeLocked(Flags)) return Error;
  }
  return PurgeUnlocked(Flags);
}

int TDeviceCore::ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  std::lock_guard Lock(Mutex_);
  InQueue = CountInputLocked();
  Errors = Queue_.TakeErrors() | TakeLineErrorsLocked();
  return 0;
}

int TDeviceCore::InputCount(std::uint32_t& InQueue) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  std::lock_guard Lock(Mutex_);
  InQueue = CountInputLocked();
  return 0;
}

int TDeviceCore::SetCommMask(std::uint32_t Mask) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  {
    std::lock_guard Lock(Mutex_);
    Mask_ = Mask & AllEventBits;
    PendingEvents_ &= Mask_;
    ++MaskChanges_;
    // Bytes that came in before the mask asked for them would otherwise wait unannounced until
    // the next byte arrives.
    if (Queue_.Size() > 0) PendingEvents_ |= Mask_ & EV_RXCHAR;
    MaskChangedLocked();
    WakeWaiterLocked();
  }
  return MaskChanged();
}

std::optional<TWaitResult> TDeviceCore::WaitOutcomeLocked(std::uint64_t MaskChanges,
                                                          std::uint32_t& Mask) {
  if (Closing_) return TWaitResult::Failed;
  if (MaskChanges_ != MaskChanges) return TWaitResult::Event;
  // Events that came before the line went are reported first; the next wait reports the loss.
  if (const std::uint32_t Due = PendingEvents_ & Mask_; Due != 0) {
    PendingEvents_ &= ~Due;
    Mask = Due;
    return TWaitResult::Event;
  }
  if (LineError_ != 0) return TWaitResult::LineLost;
  return std::nullopt;
}

bool TDeviceCore::TakeCommEvents(std::uint32_t& Mask) {
  Mask = 0;
  TUse Use(*this);
  if (Use.Error() != 0) return false;
  std::lock_guard Lock(Mutex_);
  Mask = PendingEvents_ & Mask_;
  PendingEvents_ &= ~Mask;
  return Mask != 0;
}

void TDeviceCore::AddEventsLocked(std::uint32_t Events) {
  const std::uint32_t Selected = Events & Mask_;
  if ((Selected & ~PendingEvents_) == 0) return;
  PendingEvents_ |= Selected;
  if (Polling_) WakeWaiterLocked();
}

void TDeviceCore::LoseLineLocked(int Error) {
  if (LineError_ != 0) return;
  LineError_ = Error;
  WakeWaiterLocked();
  LineLostLocked();
}

int TDeviceCore::LineError() const {
  std::lock_guard Lock(Mutex_);
  return LineError_;
}

}  // namespace tolvane
