// Opening, closing, configuring and the status queries of the Windows device, and its watcher.
#include "serialport/device/win32/win32_device.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <system_error>

#include "serialport/base/system_error_cause.h"
#include "serialport/base/system_error_codes.h"
#include "serialport/base/win32_text.h"
// After the component's headers.
#include "serialport/device/win32/win32_operation.h"

namespace tolvane {
namespace {

constexpr std::uint32_t KnownLineErrors =
    CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK | CE_TXFULL | CE_IOE | CE_MODE;

// The driver's events the watcher passes on; received data and what follows from it (the event
// character, 80 percent full) come from the core's queue.
constexpr std::uint32_t DriverEvents =
    EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;

// How often the watcher looks at a driver that gives no events (Wine on a pseudo-terminal
// without modem lines ends every wait at once).
constexpr DWORD LookEveryMs = 10;

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

// What a driver answers for a request it does not have.
bool IsMissingRequest(int Error) {
  return Error == ERROR_INVALID_FUNCTION || Error == ERROR_NOT_SUPPORTED;
}

// The widest mask the driver takes: every hardware event, else those without the modem lines
// (Wine refuses them on a pseudo-terminal), else none.
std::uint32_t SetDriverMask(HANDLE Device) {
  constexpr std::uint32_t Masks[] = {EV_RXCHAR | DriverEvents,
                                     EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_ERR};
  for (const std::uint32_t Mask : Masks) {
    if (::SetCommMask(Device, Mask)) return Mask;
  }
  return 0;
}

// Ends the driver's wait in progress: a new mask does so on Windows and Wine alike, where
// CancelIoEx leaves it pending under Wine.
void EndDriverWait(HANDLE Device, std::uint32_t DriverMask, TOperation& Wait) {
  if (!::SetCommMask(Device, DriverMask)) CancelIoEx(Device, Wait.Get());
  DWORD Unused = 0;
  ::GetOverlappedResult(Device, Wait.Get(), &Unused, TRUE);
}

}  // namespace

TWin32Device::~TWin32Device() {
  if (IsOpen()) Close();
}

void TWin32Device::CloseEvents() {
  for (THandle* Event : {&EventWake_, &TxWake_, &WatchWake_}) {
    if (*Event != nullptr) CloseHandle(*Event);
    *Event = nullptr;
  }
}

int TWin32Device::Open(const std::string& Path) {
  if (IsOpen()) return BusyErrorCode;
  // Exclusive (share mode 0), for overlapped I/O.
  HANDLE Device = CreateFileW(WideText(Path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (Device == INVALID_HANDLE_VALUE) return LastError();
  // The driver's reads return at once with what is queued, and its writes have no limit of
  // their own: the core's time-outs rule both.
  COMMTIMEOUTS AtOnce{MAXDWORD, 0, 0, 0, 0};
  int Error = ::SetCommTimeouts(Device, &AtOnce) ? 0 : LastError();
  for (THandle* Event : {&EventWake_, &TxWake_, &WatchWake_}) {
    if (Error != 0) break;
    *Event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (*Event == nullptr) Error = LastError();
  }
  if (Error != 0) {
    CloseHandle(Device);
    CloseEvents();
    return Error;
  }
  {
    std::lock_guard Lock(Mutex_);
    MarkOpenLocked();
    Handle_ = Device;
    DriverMask_ = SetDriverMask(Device);
    TInputQueueOptions Options = Queue_.Options();
    Options.Marked = false;
    Queue_.Configure(Options);
    WatcherStarved_ = false;
    DriverErrors_ = 0;
  }
  try {
    Watcher_ = std::thread([this] { WatchLoop(); });
  } catch (const std::system_error& Failure) {
    Close();
    return Failure.code().value();
  }
  return 0;
}

void TWin32Device::WakeAllLocked() {
  for (THandle Event : {EventWake_, TxWake_, WatchWake_}) SetEvent(Event);
  Changed_.notify_all();
}

void TWin32Device::QueueHasRoomLocked() {
  if (WatcherStarved_) SetEvent(WatchWake_);
}

void TWin32Device::WakeWaiterLocked() {
  SetEvent(EventWake_);
}

void TWin32Device::LineLostLocked() {
  SetEvent(TxWake_);
  Changed_.notify_all();
}

void TWin32Device::ReleaseSystem() {
  if (Watcher_.joinable()) Watcher_.join();
  std::lock_guard Lock(Mutex_);
  CloseHandle(Handle_);
  Handle_ = nullptr;
  CloseEvents();
}

int TWin32Device::QueueSizesChanged(std::int32_t InputSize, std::int32_t OutputSize) {
  if (::SetupComm(Handle_, static_cast<DWORD>(InputSize), static_cast<DWORD>(OutputSize))) return 0;
  // The sizes are advice: a driver without the request (Wine's, some USB adapters') keeps its
  // own queues, and the line works all the same.
  const int Error = LastError();
  return IsMissingRequest(Error) ? 0 : Error;
}

int TWin32Device::SetCommState(const TDcb& Dcb) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  if (IsNonsense(Dcb)) return InvalidArgumentErrorCode;
  DCB Native = ToDcb(Dcb);
  if (!::SetCommState(Handle_, &Native)) return LastError();
  std::lock_guard Lock(Mutex_);
  ConfigureQueueLocked(Dcb);
  return 0;
}

int TWin32Device::GetCommModemStatus(std::uint32_t& Status) {
  TUse Use(*this);
  if (Use.Error() != 0) return Use.Error();
  DWORD Lines = 0;
  if (!::GetCommModemStatus(Handle_, &Lines)) {
    // A device without modem lines reports every line off rather than failing.
    const int Error = LastError();
    if (!IsMissingRequest(Error)) return Error;
    Lines = 0;
  }
  Status = Lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
  return 0;
}

std::uint32_t TWin32Device::TakeLineErrorsLocked() {
  const std::uint32_t Errors = DriverErrors_;
  DriverErrors_ = 0;
  return Errors;
}

int TWin32Device::NoteFailure(int Error) {
  int Lost = IsLineLostError(Error) ? Error : 0;
  if (Lost == 0) {
    // The failure itself may be a plain one (an aborted wait); the status queries tell.
    DWORD Errors = 0;
    COMSTAT Status{};
    DWORD Lines = 0;
    if (!::ClearCommError(Handle_, &Errors, &Status) || !::GetCommModemStatus(Handle_, &Lines)) {
      if (const int Probe = LastError(); IsLineLostError(Probe)) Lost = Probe;
    }
  }
  if (Lost != 0) {
    std::lock_guard Lock(Mutex_);
    LoseLineLocked(Lost);
  }
  return Error;
}

int TWin32Device::PullInput() {
  std::uint8_t Raw[16 * 1024];
  for (;;) {
    DWORD Errors = 0;
    COMSTAT Status{};
    if (!::ClearCommError(Handle_, &Errors, &Status)) return LastError();
    DWORD Wanted = 0;
    {
      std::lock_guard Lock(Mutex_);
      DriverErrors_ |= Errors & KnownLineErrors;
      Wanted = static_cast<DWORD>(std::min<std::size_t>(Status.cbInQue, Queue_.FreeSpace()));
      WatcherStarved_ = Wanted < Status.cbInQue;
      Wanted = std::min<DWORD>(Wanted, sizeof Raw);
    }
    if (Wanted == 0) return 0;
    TOperation Read;
    if (!Read.Valid()) return LastError();
    DWORD Got = 0;
    const BOOL Started = ::ReadFile(Handle_, Raw, Wanted, &Got, Read.Get());
    const int Error = Finish(Handle_, Read, Started, Got);
    // Wine ends a read that its time-out cut short with ERROR_TIMEOUT; the bytes are there.
    if (Error != 0 && Error != ERROR_TIMEOUT) return Error;
    std::lock_guard Lock(Mutex_);
    if (Got > 0) {
      AddEventsLocked(Queue_.Accept(Raw, Got));
      Changed_.notify_all();
    }
    if (Got < Wanted || Closing_) return 0;
  }
}

void TWin32Device::WatchLoop() {
  int Aborted = 0;  // driver waits in a row that ended at once with ERROR_OPERATION_ABORTED
  for (;;) {
    {
      std::lock_guard Lock(Mutex_);
      if (Closing_ || LineError_ != 0) return;
    }
    TOperation Wait;
    DWORD Occurred = 0;
    bool Pending = false;
    int Error = 0;
    bool Waited = false;
    if (DriverMask_ != 0 && Wait.Valid()) {
      Waited = true;
      if (!::WaitCommEvent(Handle_, &Occurred, Wait.Get())) {
        Error = LastError();
        Pending = Error == ERROR_IO_PENDING;
        if (Pending) Error = 0;
      }
    }
    // Input that came before the wait began is taken now; what comes later ends the wait.
    if (const int PullError = PullInput()) {
      if (Pending) EndDriverWait(Handle_, DriverMask_, Wait);
      NoteFailure(PullError);
      WaitForSingleObject(WatchWake_, LookEveryMs);
      continue;
    }
    if (Pending) {
      const HANDLE Objects[2] = {Wait.Event(), WatchWake_};
      if (WaitForMultipleObjects(2, Objects, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // Room in the queue, a purge or Close: the queue is looked at again.
        EndDriverWait(Handle_, DriverMask_, Wait);
        continue;
      }
      DWORD Unused = 0;
      Error = ::GetOverlappedResult(Handle_, Wait.Get(), &Unused, FALSE) ? 0 : LastError();
    }
    if (!Waited) {
      WaitForSingleObject(WatchWake_, LookEveryMs);
      continue;
    }
    if (Error == 0) {
      Aborted = 0;
      // The line errors behind EV_ERR are taken before the port hears of it.
      if ((Occurred & EV_ERR) != 0) PullInput();
      std::lock_guard Lock(Mutex_);
      AddEventsLocked(Occurred & DriverEvents);
      continue;
    }
    NoteFailure(Error);
    // A driver that ends every wait at once is looked at every few milliseconds instead.
    if (Error != ERROR_OPERATION_ABORTED || ++Aborted > 1) {
      WaitForSingleObject(WatchWake_, LookEveryMs);
    }
  }
}

}  // namespace tolvane
