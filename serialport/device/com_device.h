// The device interface the port drives. It keeps the shape of the classic communications calls
// the port was designed around (a device control block, time-outs, purge, error and modem
// status queries, an event mask and an event wait), so the port's logic reads the same on every
// platform. Each backend lives in a folder below this one (the tty device in posix/); the
// factory (device_factory.h) picks one by port name when a port opens. The tests have a
// recording fake.
//
// Every call returns 0 on success or the system error code (errno, or GetLastError's on Windows)
// of the failure, read once right after the failing system call. A call on a device that is not
// open fails with NotOpenErrorCode (system_error_codes.h names the codes of such refusals).
//
// Threads: the owner thread opens, closes, configures and writes; the event thread waits for
// events; reads and status queries run on whichever thread delivers events. An implementation
// keeps its own state consistent across those threads; it never calls back into the port.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

#include "serialport/base/system_error_cause.h"
#include "serialport/base/system_error_codes.h"

namespace tolvane {

class TStopSignal;

// Event mask bits.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;
inline constexpr std::uint32_t AllEventBits = EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR |
                                              EV_RLSD | EV_BREAK | EV_ERR | EV_RING | EV_RX80FULL;

// Line error flags reported by ClearCommError.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;
inline constexpr std::uint32_t CE_TXFULL = 0x0100;
inline constexpr std::uint32_t CE_IOE = 0x0400;
inline constexpr std::uint32_t CE_MODE = 0x8000;

// Modem status bits reported by GetCommModemStatus.
inline constexpr std::uint32_t MS_CTS_ON = 0x0010;
inline constexpr std::uint32_t MS_DSR_ON = 0x0020;
inline constexpr std::uint32_t MS_RING_ON = 0x0040;
inline constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// PurgeComm flags: the two aborts end transfers in progress, the two clears discard the queues.
inline constexpr std::uint32_t PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

inline constexpr std::uint8_t DTR_CONTROL_DISABLE = 0;
inline constexpr std::uint8_t DTR_CONTROL_ENABLE = 1;
inline constexpr std::uint8_t DTR_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint8_t RTS_CONTROL_DISABLE = 0;
inline constexpr std::uint8_t RTS_CONTROL_ENABLE = 1;
inline constexpr std::uint8_t RTS_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint8_t RTS_CONTROL_TOGGLE = 3;
inline constexpr std::uint8_t NOPARITY = 0;
inline constexpr std::uint8_t ODDPARITY = 1;
inline constexpr std::uint8_t EVENPARITY = 2;
inline constexpr std::uint8_t MARKPARITY = 3;
inline constexpr std::uint8_t SPACEPARITY = 4;
inline constexpr std::uint8_t ONESTOPBIT = 0;
inline constexpr std::uint8_t ONE5STOPBITS = 1;
inline constexpr std::uint8_t TWOSTOPBITS = 2;

inline constexpr std::uint32_t MAXDWORD = 0xFFFFFFFFu;

// The device control block: every line setting in one value, built by the port from its
// properties alone.
struct TDcb {
  std::uint32_t DCBlength = 28;
  std::uint32_t BaudRate = 0;
  bool fBinary = false;
  bool fParity = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  std::uint8_t fDtrControl = DTR_CONTROL_DISABLE;
  bool fDsrSensitivity = false;
  bool fTXContinueOnXoff = false;
  bool fOutX = false;
  bool fInX = false;
  bool fErrorChar = false;
  bool fNull = false;
  std::uint8_t fRtsControl = RTS_CONTROL_DISABLE;
  bool fAbortOnError = false;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = NOPARITY;
  std::uint8_t StopBits = ONESTOPBIT;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;

  friend bool operator==(const TDcb&, const TDcb&) = default;
};

// Read and write time-outs in milliseconds. A read with ReadIntervalTimeout MAXDWORD and both
// read totals 0 returns at once with what is queued; a write of n bytes ends after at most
// WriteTotalTimeoutMultiplier * n + WriteTotalTimeoutConstant ms (0 and 0: no limit) and then
// reports the bytes written so far, which is not a failure.
struct TCommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;

  friend bool operator==(const TCommTimeouts&, const TCommTimeouts&) = default;
};

// The result of one transfer as the device reports it when the transfer has ended.
struct TOverlapped {
  bool Completed = false;
  std::uint32_t Transferred = 0;
  std::int32_t Error = 0;
};

// Ends a transfer: its result goes into Overlapped, and Error is returned as well.
inline int CompleteTransfer(TOverlapped& Overlapped, std::uint32_t Transferred, int Error) {
  Overlapped.Completed = true;
  Overlapped.Transferred = Transferred;
  Overlapped.Error = Error;
  return Error;
}

// GetOverlappedResult of a device whose transfers have always ended when their call returns.
inline int CompletedTransferResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) {
  if (!Overlapped.Completed) return InProgressErrorCode;
  Transferred = Overlapped.Transferred;
  return Overlapped.Error;
}

enum class TWaitResult : std::uint8_t {
  Event,     // a selected event occurred; the mask says which
  Stopped,   // the stop signal is set
  LineLost,  // the line is gone (LineError says why); every later wait reports it too
  Failed,    // the wait could not be made (the device is not open, or is closing)
};

class TComDevice {
 public:
  virtual ~TComDevice() = default;

  // Opens Path exclusively for reading and writing. A second open of a device that someone
  // already holds fails with BusyErrorCode; a missing path with the system's "not found".
  virtual int Open(const std::string& Path) = 0;
  virtual int Close() = 0;
  virtual bool IsOpen() const = 0;

  virtual int SetupComm(std::int32_t InputSize, std::int32_t OutputSize) = 0;
  // A setting the platform cannot express is refused (InvalidArgumentErrorCode), never silently
  // dropped.
  virtual int SetCommState(const TDcb& Dcb) = 0;
  virtual int SetCommTimeouts(const TCommTimeouts& Timeouts) = 0;

  // Transfers run to their end within the time-outs and leave their result in Overlapped; a
  // hang-up of the line is a failure (EIO), never "no data".
  virtual int WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) = 0;
  virtual int ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) = 0;
  virtual int GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) = 0;

  virtual int PurgeComm(std::uint32_t Flags) = 0;
  // Reads and clears the pending CE_ flags; InQueue is the number of bytes waiting to be read.
  virtual int ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) = 0;
  // The number of bytes waiting to be read, as ClearCommError counts them, leaving the pending
  // CE_ flags for it.
  virtual int InputCount(std::uint32_t& InQueue) = 0;
  // MS_ bits of the modem input lines; a device without modem lines reports them all off.
  virtual int GetCommModemStatus(std::uint32_t& Status) = 0;

  // Selects the EV_ events that end a wait; 0 also ends a wait in progress.
  virtual int SetCommMask(std::uint32_t Mask) = 0;
  // Blocks until a selected event occurs (Mask receives the EV_ bits that did) or Stop is set.
  // Events that occurred before the line went are reported first; then the wait ends with
  // LineLost.
  virtual TWaitResult WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) = 0;

  // 0 while the line is there. Once a read, write or wait has seen it go (end of file or a
  // hang-up on the tty, or a failure that IsLineLostError names), the system error code that
  // said so, until the device is closed. Safe on any thread.
  virtual int LineError() const = 0;

  // The reason of the last failed Open in words, when the device learnt one that the system
  // error code cannot carry (a network server's refusal, say); empty otherwise.
  virtual std::string ErrorReason() const { return {}; }
  // A remark for the operator's log, made at most once per opening and handed out once: a line
  // that works, but not quite as asked (a network server that did not answer a change of line
  // settings). Empty when there is none.
  virtual std::string TakeNote() { return {}; }

  // Makes an Open under way on another thread give up at once (CancelledErrorCode), and the
  // settings calls after it too; for an opening that must not hold up the thread that waits for it.
  // Safe on any thread; a device whose Open is always quick leaves it as this default, which does
  // nothing.
  virtual void CancelOpening() {}

  // The selected events that a wait would report at once, taken without waiting; false when
  // there are none (or the device cannot tell, as this default).
  virtual bool TakeCommEvents(std::uint32_t& Mask) {
    Mask = 0;
    return false;
  }
};

}  // namespace tolvane
