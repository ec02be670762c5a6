// The device of a port that has not opened yet. It is never open, so every call fails with
// NotOpenErrorCode as on any closed device and a wait fails; the port's first opening replaces
// it by the device its name calls for.
#pragma once

#include <cstdint>
#include <string>

#include "serialport/base/system_error_codes.h"
#include "serialport/device/com_device.h"

namespace tolvane {

class TClosedDevice final : public TComDevice {
 public:
  int Open(const std::string&) override { return NotOpenErrorCode; }
  int Close() override { return NotOpenErrorCode; }
  bool IsOpen() const override { return false; }
  int SetupComm(std::int32_t, std::int32_t) override { return NotOpenErrorCode; }
  int SetCommState(const TDcb&) override { return NotOpenErrorCode; }
  int SetCommTimeouts(const TCommTimeouts&) override { return NotOpenErrorCode; }
  int WriteFile(const void*, std::uint32_t, TOverlapped&) override { return NotOpenErrorCode; }
  int ReadFile(void*, std::uint32_t, TOverlapped&) override { return NotOpenErrorCode; }
  int GetOverlappedResult(const TOverlapped&, std::uint32_t&) override { return NotOpenErrorCode; }
  int PurgeComm(std::uint32_t) override { return NotOpenErrorCode; }
  int ClearCommError(std::uint32_t&, std::uint32_t&) override { return NotOpenErrorCode; }
  int InputCount(std::uint32_t&) override { return NotOpenErrorCode; }
  int GetCommModemStatus(std::uint32_t&) override { return NotOpenErrorCode; }
  int SetCommMask(std::uint32_t) override { return NotOpenErrorCode; }
  TWaitResult WaitCommEvent(std::uint32_t&, const TStopSignal&) override {
    return TWaitResult::Failed;
  }
  int LineError() const override { return 0; }
};

}  // namespace tolvane
