#include "serialport/device/win32/win32_device.h"

#include <algorithm>

#include "serialport/base/system_error_cause.h"
#include "serialport/base/win32_text.h"
#include "serialport/device/read_plan.h"

// After the component's headers: windows.h defines the communications constants of
// com_device.h, with the same values, as macros.
#include <windows.h>

#include "serialport/dispatch/stop_signal_win32.h"

namespace tolvane {
namespace {

constexpr std::uint32_t KnownLineErrors =
    CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK | CE_TXFULL | CE_IOE | CE_MODE;

int LastError() {
  return static_cast<int>(GetLastError());
}

// An OVERLAPPED with its own manual-reset event, for one operation.
class TOperation {
 public:
  TOperation() { Overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~TOperation() {
    if (Overlapped_.hEvent != nullptr) CloseHandle(Overlapped_.hEvent);
  }
  TOperation(const TOperation&) = delete;
  TOperation& operator=(const TOperation&) = delete;
  bool Valid() const { return Overlapped_.hEvent != nullptr; }
  OVERLAPPED* Get() { return &Overlapped_; }
  HANDLE Event() const { return Overlapped_.hEvent; }

 private:
  OVERLAPPED Overlapped_{};
};

// A started call's result, waited for when it is pending: 0 or the failure's code.
int Finish(HANDLE Device, TOperation& Operation, BOOL Started, DWORD& Moved) {
  if (!Started) {
    const DWORD Error = GetLastError();
    if (Error != ERROR_IO_PENDING) return static_cast<int>(Error);
  }
  if (!::GetOverlappedResult(Device, Operation.Get(), &Moved, TRUE)) return LastError();
  return 0;
}

DCB ToDcb(const TDcb& From) {
  DCB Dcb{};
  Dcb.DCBlength = sizeof Dcb;
  Dcb.BaudRate = From.BaudRate;
  Dcb.fBinary = From.fBinary;
  Dcb.fParity = From.fParity;
  Dcb.fOutxCtsFlow = From.fOutxCtsFlow;
  Dcb.fOutxDsrFlow = From.fOutxDsrFlow;
  Dcb.fDtrControl = From.fDtrControl;
  Dcb.fDsrSensitivity = From.fDsrSensitivity;
  Dcb.fTXContinueOnXoff = From.fTXContinueOnXoff;
  Dcb.fOutX = From.fOutX;
  Dcb.fInX = From.fInX;
  Dcb.fErrorChar = From.fErrorChar;
  Dcb.fNull = From.fNull;
  Dcb.fRtsControl = From.fRtsControl;
  Dcb.fAbortOnError = From.fAbortOnError;
  Dcb.XonLim = From.XonLim;
  Dcb.XoffLim = From.XoffLim;
  Dcb.ByteSize = From.ByteSize;
  Dcb.Parity = From.Parity;
  Dcb.StopBits = From.StopBits;
  Dcb.XonChar = From.XonChar;
  Dcb.XoffChar = From.XoffChar;
  Dcb.ErrorChar = From.ErrorChar;
  Dcb.EofChar = From.EofChar;
  Dcb.EvtChar = From.EvtChar;
  return Dcb;
}

// Values no line has: the driver would take some of them and do something else.
bool IsNonsense(const TDcb& Dcb) {
  return Dcb.BaudRate == 0 || Dcb.ByteSize < 5 || Dcb.ByteSize > 8 || Dcb.Parity > SPACEPARITY ||
         Dcb.StopBits > TWOSTOPBITS || Dcb.fDtrControl > DTR_CONTROL_HANDSHAKE ||
         Dcb.fRtsControl > RTS_CONTROL_TOGGLE;
}

}  // namespace

TWin32Device::~TWin32Device() {
  if (IsOpen()) Close();
}

int TWin32Device::Open(const std::string& Path) {
  if (IsOpen()) return ERROR_BUSY;
  // Exclusive (share mode 0), for overlapped I/O.
  HANDLE Device = CreateFileW(WideText(Path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (Device == INVALID_HANDLE_VALUE) return LastError();
  Handle_ = Device;
  Mask_ = 0;
  LineError_ = 0;
  Timeouts_ = {};
  const std::lock_guard Lock(PendingMutex_);
  Pending_ = 0;
  return 0;
}

int TWin32Device::Close() {
  if (!IsOpen()) return ERROR_INVALID_HANDLE;
  const BOOL Closed = CloseHandle(Handle_);
  const int Error = Closed ? 0 : LastError();
  Handle_ = INVALID_HANDLE_VALUE;
  LineError_ = 0;
  return Error;
}

bool TWin32Device::IsOpen() const {
  return Handle_ != INVALID_HANDLE_VALUE;
}

int TWin32Device::SetupComm(std::int32_t InputSize, std::int32_t OutputSize) {
  if (::SetupComm(Handle_, static_cast<DWORD>(InputSize), static_cast<DWORD>(OutputSize))) return 0;
  // The sizes are advice: a driver without the request (Wine's, some USB adapters') keeps its
  // own queues, and the line works all the same.
  const int Error = LastError();
  return Error == ERROR_INVALID_FUNCTION || Error == ERROR_NOT_SUPPORTED ? 0 : Error;
}

int TWin32Device::SetCommState(const TDcb& Dcb) {
  if (!IsOpen()) return ERROR_INVALID_HANDLE;
  if (IsNonsense(Dcb)) return ERROR_INVALID_PARAMETER;
  DCB Native = ToDcb(Dcb);
  if (!::SetCommState(Handle_, &Native)) return LastError();
  return 0;
}

int TWin32Device::SetCommTimeouts(const TCommTimeouts& Timeouts) {
  COMMTIMEOUTS Native{Timeouts.ReadIntervalTimeout, Timeouts.ReadTotalTimeoutMultiplier,
                      Timeouts.ReadTotalTimeoutConstant, Timeouts.WriteTotalTimeoutMultiplier,
                      Timeouts.WriteTotalTimeoutConstant};
  if (!::SetCommTimeouts(Handle_, &Native)) return LastError();
  Timeouts_ = Timeouts;
  return 0;
}

int TWin32Device::Transfer(bool Reading, void* Buffer, std::uint32_t Count, std::uint32_t& Moved) {
  TOperation Operation;
  if (!Operation.Valid()) return LastError();
  DWORD Done = 0;
  const BOOL Started = Reading ? ::ReadFile(Handle_, Buffer, Count, &Done, Operation.Get())
                               : ::WriteFile(Handle_, Buffer, Count, &Done, Operation.Get());
  const int Error = Finish(Handle_, Operation, Started, Done);
  Moved = Done;
  // A read that its time-out ended: Windows says so with success, Wine with ERROR_TIMEOUT.
  if (Reading && Error == ERROR_TIMEOUT) return 0;
  return Error == 0 ? 0 : NoteFailure(Error);
}

int TWin32Device::WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  if (!IsOpen()) return ERROR_INVALID_HANDLE;
  std::uint32_t Moved = 0;
  const int Error = Transfer(false, const_cast<void*>(Buffer), Count, Moved);
  return CompleteTransfer(Overlapped, Moved, Error);
}

int TWin32Device::ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) {
  if (!IsOpen()) return ERROR_INVALID_HANDLE;
  std::uint32_t Wanted = Count;
  if (PlanRead(Timeouts_, Count).ReturnAtOnce) {
    std::uint32_t Queued = 0;
    if (const int Error = QueryQueue(Queued)) return CompleteTransfer(Overlapped, 0, Error);
    Wanted = std::min(Count, Queued);
    if (Wanted == 0) return CompleteTransfer(Overlapped, 0, 0);
  }
  std::uint32_t Moved = 0;
  const int Error = Transfer(true, Buffer, Wanted, Moved);
  return CompleteTransfer(Overlapped, Moved, Error);
}

int TWin32Device::GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) {
  return CompletedTransferResult(Overlapped, Transferred);
}

int TWin32Device::PurgeComm(std::uint32_t Flags) {
  if (!::PurgeComm(Handle_, Flags)) return LastError();
  return 0;
}

int TWin32Device::QueryQueue(std::uint32_t& InQueue) {
  DWORD Errors = 0;
  COMSTAT Status{};
  if (!::ClearCommError(Handle_, &Errors, &Status)) return LastError();
  InQueue = Status.cbInQue;
  const std::lock_guard Lock(PendingMutex_);
  Pending_ |= Errors & KnownLineErrors;
  return 0;
}

int TWin32Device::ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) {
  if (const int Error = QueryQueue(InQueue)) return Error;
  const std::lock_guard Lock(PendingMutex_);
  Errors = Pending_;
  Pending_ = 0;
  return 0;
}

int TWin32Device::InputCount(std::uint32_t& InQueue) {
  return QueryQueue(InQueue);
}

int TWin32Device::GetCommModemStatus(std::uint32_t& Status) {
  DWORD Lines = 0;
  if (!::GetCommModemStatus(Handle_, &Lines)) return LastError();
  Status = Lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
  return 0;
}

int TWin32Device::SetCommMask(std::uint32_t Mask) {
  Mask_ = Mask & AllEventBits;
  // A new mask also ends a wait in progress.
  if (!::SetCommMask(Handle_, Mask_)) return LastError();
  return 0;
}

int TWin32Device::ProbeLine() {
  DWORD Errors = 0;
  COMSTAT Status{};
  if (!::ClearCommError(Handle_, &Errors, &Status)) return LastError();
  {
    const std::lock_guard Lock(PendingMutex_);
    Pending_ |= Errors & KnownLineErrors;
  }
  DWORD Lines = 0;
  if (!::GetCommModemStatus(Handle_, &Lines)) return LastError();
  return 0;
}

int TWin32Device::NoteFailure(int Error) {
  if (LineError_ != 0) return Error;
  if (IsLineLostError(Error)) {
    LineError_ = Error;
  } else if (const int Probe = ProbeLine(); IsLineLostError(Probe)) {
    LineError_ = Probe;
  }
  return Error;
}

TWaitResult TWin32Device::WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) {
  HANDLE StopEvent = StopSignalEvent(Stop);
  int Aborted = 0;  // waits in a row that ended with ERROR_OPERATION_ABORTED
  for (;;) {
    if (!IsOpen()) return TWaitResult::Failed;
    if (LineError_ != 0) return TWaitResult::LineLost;
    if (Stop.IsSet()) return TWaitResult::Stopped;
    TOperation Operation;
    if (!Operation.Valid()) return TWaitResult::Failed;
    DWORD Occurred = 0;
    DWORD Unused = 0;
    int Error = 0;
    if (!::WaitCommEvent(Handle_, &Occurred, Operation.Get())) {
      Error = LastError();
      if (Error == ERROR_IO_PENDING) {
        const HANDLE Objects[2] = {StopEvent, Operation.Event()};
        const DWORD Ended = WaitForMultipleObjects(2, Objects, FALSE, INFINITE);
        if (Ended != WAIT_OBJECT_0 + 1) {
          // The stop signal (or a failed wait): the same mask ends the device's wait.
          ::SetCommMask(Handle_, Mask_);
          ::GetOverlappedResult(Handle_, Operation.Get(), &Unused, TRUE);
          return Ended == WAIT_OBJECT_0 ? TWaitResult::Stopped : TWaitResult::Failed;
        }
        Error = ::GetOverlappedResult(Handle_, Operation.Get(), &Unused, FALSE) ? 0 : LastError();
      }
    }
    if (Error == 0) {
      Aborted = 0;
      Mask = Occurred & Mask_;
      if (Mask != 0) return TWaitResult::Event;
      continue;  // a new mask ended the wait
    }
    if (Stop.IsSet()) return TWaitResult::Stopped;
    NoteFailure(Error);
    if (LineError_ != 0) return TWaitResult::LineLost;
    if (Error != ERROR_OPERATION_ABORTED) return TWaitResult::Failed;
    // Another thread's SetCommMask ends a wait this way; the wait is made again. A device that
    // keeps ending every wait so is given a short rest between them.
    if (++Aborted > 1) Sleep(10);
  }
}

}  // namespace tolvane
