// The device of a port name this build has no backend for (the network names on Windows, whose
// backend is not built there yet): it never opens, and says why with ERROR_NOT_SUPPORTED.
#pragma once

#include "serialport/device/closed_device.h"

namespace tolvane {

class TUnsupportedDevice final : public TComDevice {
 public:
  static constexpr int NotSupported = 50;  // ERROR_NOT_SUPPORTED
  int Open(const std::string&) override { return NotSupported; }
  int Close() override { return Closed_.Close(); }
  bool IsOpen() const override { return false; }
  int SetupComm(std::int32_t In, std::int32_t Out) override { return Closed_.SetupComm(In, Out); }
  int SetCommState(const TDcb& Dcb) override { return Closed_.SetCommState(Dcb); }
  int SetCommTimeouts(const TCommTimeouts& Timeouts) override {
    return Closed_.SetCommTimeouts(Timeouts);
  }
  int WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override {
    return Closed_.WriteFile(Buffer, Count, Overlapped);
  }
  int ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override {
    return Closed_.ReadFile(Buffer, Count, Overlapped);
  }
  int GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) override {
    return Closed_.GetOverlappedResult(Overlapped, Transferred);
  }
  int PurgeComm(std::uint32_t Flags) override { return Closed_.PurgeComm(Flags); }
  int ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) override {
    return Closed_.ClearCommError(Errors, InQueue);
  }
  int InputCount(std::uint32_t& InQueue) override { return Closed_.InputCount(InQueue); }
  int GetCommModemStatus(std::uint32_t& Status) override {
    return Closed_.GetCommModemStatus(Status);
  }
  int SetCommMask(std::uint32_t Mask) override { return Closed_.SetCommMask(Mask); }
  TWaitResult WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) override {
    return Closed_.WaitCommEvent(Mask, Stop);
  }
  int LineError() const override { return 0; }
  std::string ErrorReason() const override {
    return "network ports are not supported on Windows yet";
  }

 private:
  TClosedDevice Closed_;
};

}  // namespace tolvane
