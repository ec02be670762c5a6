// The tty device with a log of every write the port attempts, including those that fail:
// a test can tell what the window tried to send after the line went, when nothing reaches the
// far end any more.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serialport/device/com_device.h"
#include "serialport/device/posix/posix_device.h"
#include "serialport/port/com_port.h"

namespace tolvane {

class TWriteLogDevice final : public TComDevice {
 public:
  TWriteLogDevice() : Device_(std::make_unique<TPosixDevice>()) {}

  // The bytes of every WriteFile call so far, one entry per call.
  std::vector<std::string> Writes() const {
    std::lock_guard Lock(Mutex_);
    return Writes_;
  }

  int WriteFile(const void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override {
    {
      std::lock_guard Lock(Mutex_);
      Writes_.emplace_back(static_cast<const char*>(Buffer), Count);
    }
    return Device_->WriteFile(Buffer, Count, Overlapped);
  }

  int Open(const std::string& Path) override { return Device_->Open(Path); }
  int Close() override { return Device_->Close(); }
  bool IsOpen() const override { return Device_->IsOpen(); }
  int SetupComm(std::int32_t InputSize, std::int32_t OutputSize) override {
    return Device_->SetupComm(InputSize, OutputSize);
  }
  int SetCommState(const TDcb& Dcb) override { return Device_->SetCommState(Dcb); }
  int SetCommTimeouts(const TCommTimeouts& Timeouts) override {
    return Device_->SetCommTimeouts(Timeouts);
  }
  int ReadFile(void* Buffer, std::uint32_t Count, TOverlapped& Overlapped) override {
    return Device_->ReadFile(Buffer, Count, Overlapped);
  }
  int GetOverlappedResult(const TOverlapped& Overlapped, std::uint32_t& Transferred) override {
    return Device_->GetOverlappedResult(Overlapped, Transferred);
  }
  int PurgeComm(std::uint32_t Flags) override { return Device_->PurgeComm(Flags); }
  int ClearCommError(std::uint32_t& Errors, std::uint32_t& InQueue) override {
    return Device_->ClearCommError(Errors, InQueue);
  }
  int InputCount(std::uint32_t& InQueue) override { return Device_->InputCount(InQueue); }
  int GetCommModemStatus(std::uint32_t& Status) override {
    return Device_->GetCommModemStatus(Status);
  }
  int SetCommMask(std::uint32_t Mask) override { return Device_->SetCommMask(Mask); }
  TWaitResult WaitCommEvent(std::uint32_t& Mask, const TStopSignal& Stop) override {
    return Device_->WaitCommEvent(Mask, Stop);
  }
  int LineError() const override { return Device_->LineError(); }

 private:
  std::unique_ptr<TComDevice> Device_;
  mutable std::mutex Mutex_;
  std::vector<std::string> Writes_;
};

// Gives Port (closed) a logging platform device and returns it; the port owns it.
inline TWriteLogDevice& InstallWriteLogDevice(TCustomComPort& Port) {
  auto Device = std::make_unique<TWriteLogDevice>();
  TWriteLogDevice& Installed = *Device;
  Port.SetDevice(std::move(Device));
  return Installed;
}

}  // namespace tolvane
