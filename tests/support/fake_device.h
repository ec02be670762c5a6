// A recording stand-in for the serial device, for tests of the port and of anything built on
// it. Link the `fake_device` library and install it with InstallFakeDevice(Port).
//
// What it does:
// - Records every call with its arguments, in order, as readable lines (Calls()):
//     "Open <path>", "Close", "SetupComm <in> <out>", "SetCommState", "SetCommTimeouts",
//     "WriteFile <count>", "ReadFile <count>", "GetOverlappedResult", "PurgeComm <flags>",
//     "ClearCommError", "InputCount", "GetCommModemStatus", "SetCommMask <mask>", "WaitCommEvent".
//   The last TDcb and TCommTimeouts handed over are kept (LastDcb(), LastTimeouts()); a TDcb
//   that no line can carry (data bits outside 5 to 8, an unknown parity or stop-bit code) is
//   refused with EINVAL.
// - Behaves like an open device after a successful Open: written bytes are collected
//   (Written()), received bytes come from an input queue the test fills (InjectInput()), which
//   ReadFile empties and ClearCommError and InputCount count; line error flags (SetLineErrors())
//   are reported and cleared by ClearCommError; GetCommModemStatus reports SetModemStatus()'s bits.
// - Every call other than Open fails with EBADF while the device is closed, like a real one.
// - Any call can be made to fail with a chosen errno, once (FailNext) or until cleared
//   (FailAlways); the name is the first word of its log line. A failing call is still logged.
// - WaitCommEvent blocks (without holding the lock) until the test raises events that the
//   mask selects (RaiseEvents), the wait is made to fail (FailWait), the line is lost
//   (LoseLine: this and every later wait ends with LineLost), the mask is set to 0, or the stop
//   signal is set.
//
// Thread-safe: the event thread may wait and read while the test thread injects and inspects.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serialport/device/com_device.h"

namespace tolvane {

class TCustomComPort;

class TFakeDevice : public TComDevice {
 public:
  TFakeDevice();
  ~TFakeDevice() override;
  TFakeDevice(const TFakeDevice&) = delete;
  TFakeDevice& operator=(const TFakeDevice&) = delete;

  // --- TComDevice ---
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
  int LineError() const override;

  // --- Inspection ---
  std::vector<std::string> Calls() const;
  // The recorded calls whose name (first word) is Name, e.g. CallsNamed("SetCommState").
  std::vector<std::string> CallsNamed(const std::string& Name) const;
  void ClearCalls();
  TDcb LastDcb() const;
  TCommTimeouts LastTimeouts() const;
  std::uint32_t EventMask() const;
  std::string Written() const;  // every byte written since construction
  std::size_t InputQueued() const;

  // --- The far end and the line ---
  void InjectInput(const std::string& Bytes);
  void SetLineErrors(std::uint32_t CeFlags);  // ORed into the pending flags
  void SetModemStatus(std::uint32_t MsBits);
  // Each ReadFile delivers at most Limit bytes (a short read), while the queue keeps the rest.
  void LimitReads(std::uint32_t Limit);
  // Each WriteFile accepts at most Limit bytes, as if the write time-out ended it.
  void LimitWrites(std::uint32_t Limit);

  // --- Failures ---
  void FailNext(const std::string& Name, int Error);
  void FailAlways(const std::string& Name, int Error);
  void ClearFailures();

  // --- Events ---
  // Adds EV_ bits; a waiter returns with those its mask selects (others are dropped).
  void RaiseEvents(std::uint32_t Mask);
  // Makes the current or next WaitCommEvent return Failed.
  void FailWait();
  // The line is gone with the system error code Error, until the device is closed.
  void LoseLine(int Error);
  // Waits until a thread is blocked in WaitCommEvent; false if none came within Limit.
  bool WaitForWaiter(std::chrono::milliseconds Limit) const;

 private:
  // Logs the call and returns the error it must fail with (0: none), under the lock.
  int Enter(const std::string& Line, bool NeedsOpen);
  void Wake() const;

  mutable std::mutex Mutex_;
  mutable std::condition_variable WaiterChanged_;
  int WakeFd_;
  bool Open_ = false;
  std::vector<std::string> Calls_;
  std::map<std::string, int> FailOnce_;
  std::map<std::string, int> FailAlways_;
  TDcb LastDcb_;
  TCommTimeouts LastTimeouts_;
  std::uint32_t EventMask_ = 0;
  std::uint32_t PendingEvents_ = 0;
  bool WaitMustFail_ = false;
  int LineError_ = 0;
  bool MaskCleared_ = false;
  int Waiters_ = 0;
  std::string Written_;
  std::string Input_;
  std::uint32_t LineErrors_ = 0;
  std::uint32_t ModemStatus_ = 0;
  std::uint32_t ReadLimit_ = UINT32_MAX;
  std::uint32_t WriteLimit_ = UINT32_MAX;
};

// Gives Port a new fake device (the port must be closed) and returns it; the port owns it.
TFakeDevice& InstallFakeDevice(TCustomComPort& Port);

}  // namespace tolvane
