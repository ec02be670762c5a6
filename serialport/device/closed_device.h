// The device of a port that has not opened yet. It is never open, so every call fails with EBADF
// as on any closed device and a wait fails; the port's first opening replaces it by the device
// its name calls for.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

#include "serialport/device/com_device.h"

namespace tolvane {

class TClosedDevice final : public TComDevice {
 public:
  int Open(const std::string&) override { return EBADF; }
  int Close() override { return EBADF; }
  bool IsOpen() const override { return false; }
  int SetupComm(std::int32_t, std::int32_t) override { return EBADF; }
  int SetCommState(const TDcb&) override { return EBADF; }
  int SetCommTimeouts(const TCommTimeouts&) override { return EBADF; }
  int WriteFile(const void*, std::uint32_t, TOverlapped&) override { return EBADF; }
  int ReadFile(void*, std::uint32_t, TOverlapped&) override { return EBADF; }
  int GetOverlappedResult(const TOverlapped&, std::uint32_t&) override { return EBADF; }
  int PurgeComm(std::uint32_t) override { return EBADF; }
  int ClearCommError(std::uint32_t&, std::uint32_t&) override { return EBADF; }
  int InputCount(std::uint32_t&) override { return EBADF; }
  int GetCommModemStatus(std::uint32_t&) override { return EBADF; }
  int SetCommMask(std::uint32_t) override { return EBADF; }
  TWaitResult WaitCommEvent(std::uint32_t&, const TStopSignal&) override {
    return TWaitResult::Failed;
  }
  int LineError() const override { return 0; }
};

}  // namespace tolvane
