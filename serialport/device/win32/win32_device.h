// The serial device on Windows, on the system's own communications calls: a handle opened for
// overlapped I/O, the line through SetCommState, the time-outs through SetCommTimeouts, the
// queues through SetupComm and PurgeComm, the input count and the line errors through
// ClearCommError, the modem lines through GetCommModemStatus, and the event wait on
// WaitCommEvent together with the stop signal's event. Every failure is GetLastError's code.
//
// Reads follow the time-out rules of read_plan.h: a read that returns at once asks
// ClearCommError what is queued and reads exactly that much (some drivers, and Wine, keep an
// "at once" read pending until its whole count arrives); the other rules go to the driver, and
// a read that the driver's time-out ends with ERROR_TIMEOUT (as Wine reports it) returns what
// came. Every transfer has its own OVERLAPPED and event and has ended when its call returns.
//
// An adapter that is unplugged makes the handle's calls fail with the driver's codes
// (ERROR_GEN_FAILURE, ERROR_BAD_COMMAND, ERROR_DEVICE_NOT_CONNECTED, ERROR_BROKEN_PIPE, ...):
// the first such failure of a read, write or wait is the lost line, until the device closes.
//
// Threads: as com_device.h says. The handle is set by Open and cleared by Close on the owner
// thread while no other thread uses the device; the pending line errors that InputCount leaves
// for ClearCommError are kept under a mutex, the mask and the line error are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "serialport/device/com_device.h"

namespace tolvane {

class TWin32Device final : public TComDevice {
 public:
  TWin32Device() = default;
  ~TWin32Device() override;
  TWin32Device(const TWin32Device&) = delete;
  TWin32Device& operator=(const TWin32Device&) = delete;

  int Open(const std::string& Path) override;
  int Close() override;
  bool IsOpen() const override;

  int SetupComm(std::int32_t InputSize, std::int32_t OutputSize) override;
  int SetCommState(const TDcb& Dcb) override;
  int SetCommTimeouts(const TCommTimeouts& Timeouts) override;

  int WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;
  int ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override;
  int GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) override;

  int PurgeComm(std::uint32_t Flags) override;
  int ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) override;
  int InputCount(std::uint32_t& InQueue) override;
  int GetCommModemStatus(std::uint32_t& Status) override;

  int SetCommMask(std::uint32_t Mask) override;
  TWaitResult WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) override;

  int LineError() const override { return LineError_.load(); }

 private:
  // One overlapped read or write of Count bytes, waited for to its end; the bytes moved.
  int Transfer(bool Reading, void* Buffer, std::uint32_t Count, std::uint32_t& Moved);
  // The queued byte count and the new line errors, which are added to Pending_.
  int QueryQueue(std::uint32_t& InQueue);
  // A failure of the handle's transfer or wait: when it, or a query made now, says the line is
  // gone, that code becomes the line error. Returns the code.
  int NoteFailure(int Error);
  int ProbeLine();

  // The device's HANDLE; INVALID_HANDLE_VALUE (all bits set) while closed.
  void* Handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
  TCommTimeouts Timeouts_;
  std::atomic<std::uint32_t> Mask_{0};
  std::atomic<int> LineError_{0};
  std::mutex PendingMutex_;
  std::uint32_t Pending_ = 0;  // CE_ flags read by InputCount, not yet handed out
};

}  // namespace tolvane
