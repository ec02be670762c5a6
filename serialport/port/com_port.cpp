#include "serialport/port/com_port.h"

#include <stdexcept>
#include <utility>

#include "serialport/base/application_exception.h"
#include "serialport/device/closed_device.h"
#include "serialport/device/device_factory.h"
#include "serialport/dispatch/com_dispatcher.h"
#include "serialport/port/com_port_apply.h"
#include "serialport/port/com_thread.h"

namespace tolvane {
namespace {

TCustomComPort::TPortSetupRunner& InstalledSetupRunner() {
  static TCustomComPort::TPortSetupRunner Runner;
  return Runner;
}

}  // namespace

TCustomComPort::TCustomComPort(TComponent* AOwner)
    : TComponent(AOwner),
      Device_(std::make_unique<TClosedDevice>()),
      Dispatcher_(&TComDispatcher::Default()) {
  Parity_ = std::make_unique<TComParity>();
  FlowControl_ = std::make_unique<TComFlowControl>();
  Timeouts_ = std::make_unique<TComTimeouts>();
  Buffer_ = std::make_unique<TComBuffer>();
  Parity_->SetComPort(this);
  FlowControl_->SetComPort(this);
  Timeouts_->SetComPort(this);
  Buffer_->SetComPort(this);
}

TCustomComPort::~TCustomComPort() {
  try {
    ClosePort();
  } catch (...) {
    HandleApplicationException(this, std::current_exception());
  }
  // A closing that failed leaves the port open; its thread and device must not outlive it.
  if (Connected_) {
    EventThread_.reset();
    CloseDevice();
    Connected_ = false;
  }
  Buffer_.reset();
  FlowControl_.reset();
  Timeouts_.reset();
  Parity_.reset();
  // Components that refer to the port may detach their links while they hear of its removal.
  Destroying();
  LinkList_.clear();
  for (std::atomic<TComTransfer*>* Spare : {&SpareWriteTransfer_, &SpareReadTransfer_}) {
    PComTransfer Transfer = Spare->exchange(nullptr);
    if (Transfer != nullptr) FreeTransfer(Transfer);
  }
}

// --- Opening and closing ---

void TCustomComPort::OpenPort() {
  if (Connected_ || IsDesigning()) return;
  ProcessBeforeOpen();
  OpenDevice();
  Connected_ = true;
  try {
    ApplySettings();
    // Window sync needs no window of its own here: its hand-overs go through the dispatcher.
    if (!Events_.Empty()) EventThread_ = std::make_unique<TComThread>(*this);
  } catch (...) {
    CloseDevice();
    Connected_ = false;
    throw;
  }
  ProcessAfterOpen();
}

void TCustomComPort::OpenPortOn(std::unique_ptr<TComDevice> Device) {
  if (Device == nullptr || !Device->IsOpen())
    throw std::invalid_argument("OpenPortOn needs an open device");
  if (DeviceGiven_) throw std::logic_error("OpenPortOn on a port with a device of its own");
  OpenedDevice_ = std::move(Device);
  // Whatever OpenPort leaves untaken (it was open already, or a handler raised before the device
  // step) is let go.
  struct TLeftOver {
    std::unique_ptr<TComDevice>& Device;
    ~TLeftOver() {
      if (Device != nullptr && Device->IsOpen()) Device->Close();
      Device.reset();
    }
  } LeftOver{OpenedDevice_};
  OpenPort();
}

void TCustomComPort::ClosePort() {
  // A handler run while closing waits for the event thread may close the port as well; the
  // closing already under way finishes the job.
  if (!Connected_ || IsDesigning() || Closing_) return;
  Closing_ = true;
  struct TClosingMark {
    std::atomic<bool>& Closing;
    ~TClosingMark() { Closing = false; }
  } Mark{Closing_};
  ProcessBeforeClose();
  AbortTransfers();
  EventThread_.reset();  // stops the thread, if there is one, and waits for it
  CloseDevice();
  Connected_ = false;
  ProcessAfterClose();
}

void TCustomComPort::OpenDevice() {
  if (OpenedDevice_ != nullptr) {
    Device_ = std::move(OpenedDevice_);
    return;
  }
  if (!DeviceGiven_) Device_ = NewDeviceFor(Port_);
  const int Error = Device_->Open(DeviceAddressFor(Port_));
  if (Error == 0) return;
  EComPort Failure = DeviceError(CError_OpenFailed, Error);
  // A reason the code cannot carry, such as a network server's refusal, replaces the system's.
  if (const std::string Reason = Device_->ErrorReason(); !Reason.empty())
    Failure.SetDetail(DeviceAddressFor(Port_) + ": " + Reason);
  throw Failure;
}

EComPort TCustomComPort::DeviceError(std::int32_t ErrorNumber, int SystemErrorCode) const {
  return EComPort(ErrorNumber, SystemErrorCode, DeviceAddressFor(Port_));
}

void TCustomComPort::CloseDevice() {
  // Releasing the device cannot be refused in a way the port could act on.
  if (Device_->IsOpen()) Device_->Close();
}

void TCustomComPort::Loaded() {
  TComponent::Loaded();
  if (!Connected_ || IsDesigning()) return;
  Connected_ = false;
  try {
    OpenPort();
  } catch (...) {
    HandleApplicationException(this, std::current_exception());
  }
}

void TCustomComPort::ShowPortSetup() {
  const TPortSetupRunner& Runner = InstalledSetupRunner();
  if (Runner) Runner(*this);
}

void TCustomComPort::SetPortSetupRunner(TPortSetupRunner Runner) {
  InstalledSetupRunner() = std::move(Runner);
}

void TCustomComPort::SetDevice(std::unique_ptr<TComDevice> Device) {
  if (Device == nullptr) throw std::invalid_argument("A port needs a device");
  if (Connected_) throw EComPort(CError_ConnChangeProp);
  Device_ = std::move(Device);
  DeviceGiven_ = true;
}

// --- Applying the configuration ---

bool TCustomComPort::CanApply() const {
  return Connected_ && ConfigDepth_ == 0 && !IsLoading() && !IsDesigning();
}

void TCustomComPort::ApplySettings() {
  ApplyBufferSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

void TCustomComPort::ApplyBufferSizes() {
  if (!CanApply()) return;
  const int Error = Device_->SetupComm(Buffer_->InputSize(), Buffer_->OutputSize());
  if (Error != 0) throw DeviceError(CError_SetupComFailed, Error);
}

void TCustomComPort::ApplyLineSettings() {
  if (!CanApply()) return;
  const int Error = Device_->SetCommState(BuildDcb(*this));
  if (Error != 0) throw DeviceError(CError_SetStateFailed, Error);
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!CanApply()) return;
  const int Error = Device_->SetCommTimeouts(BuildCommTimeouts(*Timeouts_));
  if (Error != 0) throw DeviceError(CError_TimeoutsFailed, Error);
}

void TCustomComPort::BeginConfig() {
  ++ConfigDepth_;
}

void TCustomComPort::EndConfig() {
  if (ConfigDepth_ <= 0) return;
  if (--ConfigDepth_ == 0) ApplySettings();
}

// --- Properties ---

void TCustomComPort::SetConnected(bool Value) {
  if (IsLoading() || IsDesigning()) {
    Connected_ = Value;
  } else if (Value != Connected_) {
    if (Value) {
      OpenPort();
    } else {
      ClosePort();
    }
  }
}

namespace {

template <typename T>
bool Store(T& Field, const T& Value) {
  if (Field == Value) return false;
  Field = Value;
  return true;
}

}  // namespace

void TCustomComPort::SetBaudRate(TBaudRate Value) {
  if (Store(BaudRate_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::int32_t Value) {
  if (Store(CustomBaudRate_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits Value) {
  if (Store(StopBits_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits Value) {
  if (Store(DataBits_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool Value) {
  if (Store(DiscardNull_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char Value) {
  if (Store(EventChar_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& Value) {
  if (!Store(Port_, Value)) return;
  if (Connected_ && !IsLoading() && !IsDesigning()) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value) {
  if (Value == SyncMethod_) return;
  if (Connected_ && !IsLoading() && !IsDesigning()) throw EComPort(CError_ConnChangeProp);
  SyncMethod_ = Value;
}

void TCustomComPort::SetParity(const TComParity& Value) {
  Parity_->Assign(Value);
  ApplyLineSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& Value) {
  FlowControl_->Assign(Value);
  ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& Value) {
  Timeouts_->Assign(Value);
  ApplyTimeoutSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer& Value) {
  Buffer_->Assign(Value);
  ApplyBufferSizes();
}

}  // namespace tolvane
