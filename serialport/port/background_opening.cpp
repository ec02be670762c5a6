#include "serialport/port/background_opening.h"

#include <utility>

#include "serialport/base/com_error.h"
#include "serialport/base/system_error_codes.h"
#include "serialport/device/device_factory.h"
#include "serialport/port/com_port.h"
#include "serialport/port/com_port_apply.h"

namespace tolvane {

TBackgroundOpening::TBackgroundOpening(const TCustomComPort& Port, TDone Done)
    : PortName_(Port.Port()),
      Address_(DeviceAddressFor(Port.Port())),
      Device_(NewDeviceFor(Port.Port())),
      InputSize_(Port.Buffer().InputSize()),
      OutputSize_(Port.Buffer().OutputSize()),
      Dcb_(BuildDcb(Port)),
      Timeouts_(BuildCommTimeouts(Port.Timeouts())),
      Done_(std::move(Done)) {
  Thread_ = std::thread([this] { Run(); });
}

TBackgroundOpening::~TBackgroundOpening() {
  Cancel();
}

void TBackgroundOpening::Run() {
  TComDevice& Device = *Device_;
  Error_ = Device.Open(Address_);
  FailedStep_ = CError_OpenFailed;
  if (Error_ == 0) {
    // The settings in ApplySettings' order, each with the port error that names its failure.
    const std::pair<std::int32_t, std::function<int()>> Steps[] = {
        {CError_SetupComFailed, [&] { return Device.SetupComm(InputSize_, OutputSize_); }},
        {CError_SetStateFailed, [&] { return Device.SetCommState(Dcb_); }},
        {CError_TimeoutsFailed, [&] { return Device.SetCommTimeouts(Timeouts_); }},
    };
    for (const auto& [Step, Call] : Steps) {
      FailedStep_ = Step;
      Error_ = Cancelled_ ? CancelledErrorCode : Call();
      if (Error_ != 0) break;
    }
    if (Error_ != 0) Device.Close();
  } else {
    Reason_ = Device.ErrorReason();
  }
  if (Error_ == 0) FailedStep_ = 0;
  Finished_ = true;
  if (Done_) Done_();
}

void TBackgroundOpening::Cancel() {
  if (!Thread_.joinable()) return;
  Cancelled_ = true;
  Device_->CancelOpening();
  Thread_.join();
  if (Device_ && Device_->IsOpen()) Device_->Close();
}

void TBackgroundOpening::Finish(TCustomComPort& Port) {
  if (Thread_.joinable()) Thread_.join();
  if (FailedStep_ != 0) {
    EComPort Failure(FailedStep_, Error_, Address_);
    // A reason the code cannot carry, such as a network server's refusal, replaces the system's.
    if (!Reason_.empty()) Failure.SetDetail(Address_ + ": " + Reason_);
    throw Failure;
  }
  Port.OpenPortOn(std::move(Device_));
}

}  // namespace tolvane
