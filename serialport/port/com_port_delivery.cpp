// The port's event delivery: the step of each line event, the opening and closing
// notifications, the links and the hooks that fire the published events.
#include <algorithm>
#include <array>
#include <exception>
#include <memory>

#include "serialport/base/application_exception.h"
#include "serialport/device/event_mask.h"
#include "serialport/port/com_port.h"
#include "serialport/port/com_port_link_pass.h"

namespace tolvane {

// --- Links ---

void TCustomComPort::AttachLink(TComLink* Link) {
  if (Link == nullptr || std::ranges::find(LinkList_, Link) != LinkList_.end()) {
    throw EComPort(CError_RegFailed);
  }
  LinkList_.push_back(Link);
  HasRxBufLink_ = std::ranges::any_of(LinkList_, [](TComLink* L) { return bool(L->OnRxBuf); });
}

void TCustomComPort::DetachLink(TComLink* Link) {
  const auto Found = std::ranges::find(LinkList_, Link);
  if (Link == nullptr || Found == LinkList_.end()) throw EComPort(CError_RegFailed);
  LinkList_.erase(Found);
  HasRxBufLink_ = std::ranges::any_of(LinkList_, [](TComLink* L) { return bool(L->OnRxBuf); });
}

// --- Delivery steps ---

// The buffer of one reception step: the port's kept buffer while no other step holds it.
class TCustomComPort::TRxBufferUse {
 public:
  explicit TRxBufferUse(TCustomComPort& Port) : Port_(Port), Kept_(!Port.RxBufferInUse_) {
    if (Kept_) Port_.RxBufferInUse_ = true;
  }
  ~TRxBufferUse() {
    if (!Kept_) return;
    Port_.RxBufferInUse_ = false;
    // One very large read (a huge input queue) is not worth keeping.
    if (Port_.RxBuffer_.capacity() > LargestKeptBuffer)
      std::vector<std::uint8_t>().swap(Port_.RxBuffer_);
  }
  TRxBufferUse(const TRxBufferUse&) = delete;
  TRxBufferUse& operator=(const TRxBufferUse&) = delete;

  std::uint8_t* Get(std::int32_t Count) {
    std::vector<std::uint8_t>& Buffer = Kept_ ? Port_.RxBuffer_ : Own_;
    if (Buffer.size() < static_cast<std::size_t>(Count)) Buffer.resize(Count);
    return Buffer.data();
  }

 private:
  static constexpr std::size_t LargestKeptBuffer = 256 * 1024;
  TCustomComPort& Port_;
  const bool Kept_;
  std::vector<std::uint8_t> Own_;
};

void TCustomComPort::ProcessRxChar() {
  std::int32_t Count = InputQueueCount();
  if (Count > 0) {
    ForEachLink([this](TComLink& Link) {
      if (Link.OnRxActivity) Link.OnRxActivity(this, true);
    });
  }
  if (Count > 0 && (!RxCharEnabled_ || HasRxBufLink_)) {
    // The waiting bytes are read once, when the first consumer wants them, and shared. They are
    // read into the port's own buffer, kept from one reception to the next, unless a handler's
    // nested reception has it; a buffer of its own goes when this block is left.
    TRxBufferUse Use(*this);
    std::uint8_t* Data = nullptr;
    std::int32_t ReadCount = 0;
    const auto ReadOnce = [&] {
      if (Data != nullptr) return;
      Data = Use.Get(Count);
      // Only the bytes the device actually delivered are handed on.
      ReadCount = ReadQueued(Data, Count);
      FireRxBuf(Data, ReadCount);
    };
    ForEachLink([&](TComLink& Link) {
      if (!Link.OnRxBuf) return;
      ReadOnce();
      Link.OnRxBuf(this, Data, ReadCount);
    });
    if (Data == nullptr && !RxCharEnabled_) ReadOnce();
    if (Data != nullptr) Count = 0;
  }
  if (Count > 0) FireRxChar(Count);
}

void TCustomComPort::ProcessTxEmpty() {
  ForEachLink([this](TComLink& Link) {
    if (Link.OnTxActivity) Link.OnTxActivity(this, false);
  });
  ForEachLink([this](TComLink& Link) {
    if (Link.OnTxEmpty) Link.OnTxEmpty(this);
  });
  FireTxEmpty();
}

void TCustomComPort::ProcessRxFlag() {
  ForEachLink([this](TComLink& Link) {
    if (Link.OnRxFlag) Link.OnRxFlag(this);
  });
  FireRxFlag();
}

void TCustomComPort::ProcessRing() {
  ForEachLink([this](TComLink& Link) {
    if (Link.OnRing) Link.OnRing(this);
  });
  FireRing();
}

void TCustomComPort::ProcessBreak() {
  FireBreak();
}

void TCustomComPort::ProcessCTSChange() {
  const bool OnOff = LineSignals().Contains(TComLineSignal::lsCTS);
  ForEachLink([this, OnOff](TComLink& Link) {
    if (Link.OnCTSChange) Link.OnCTSChange(this, OnOff);
  });
  FireCTSChange(OnOff);
}

void TCustomComPort::ProcessDSRChange() {
  const bool OnOff = LineSignals().Contains(TComLineSignal::lsDSR);
  ForEachLink([this, OnOff](TComLink& Link) {
    if (Link.OnDSRChange) Link.OnDSRChange(this, OnOff);
  });
  FireDSRChange(OnOff);
}

void TCustomComPort::ProcessRLSDChange() {
  const bool OnOff = LineSignals().Contains(TComLineSignal::lsRLSD);
  ForEachLink([this, OnOff](TComLink& Link) {
    if (Link.OnRLSDChange) Link.OnRLSDChange(this, OnOff);
  });
  FireRLSDChange(OnOff);
}

void TCustomComPort::ProcessError() {
  const TComErrors Errors = PendingErrors();
  if (!Errors.Empty()) FireError(Errors);
}

void TCustomComPort::ProcessRx80Full() {
  FireRx80Full();
}

void TCustomComPort::ProcessLineLost(std::int32_t SystemErrorCode) {
  // A closing under way (which serves deliveries still queued) already lets the line go.
  if (!Connected_ || Closing_) return;
  ForEachLink([this, SystemErrorCode](TComLink& Link) {
    if (Link.OnLineLost) Link.OnLineLost(this, SystemErrorCode);
  });
  FireLineLost(SystemErrorCode);
}

// The step of each event, indexed by the event's ordinal: the one mapping from an event to its
// delivery, used by every SyncMethod.
using TEventStep = void (TCustomComPort::*)();
constexpr std::array<TEventStep, 10> EventSteps = {
    &TCustomComPort::ProcessRxChar,     &TCustomComPort::ProcessTxEmpty,
    &TCustomComPort::ProcessRxFlag,     &TCustomComPort::ProcessRing,
    &TCustomComPort::ProcessBreak,      &TCustomComPort::ProcessCTSChange,
    &TCustomComPort::ProcessDSRChange,  &TCustomComPort::ProcessError,
    &TCustomComPort::ProcessRLSDChange, &TCustomComPort::ProcessRx80Full};

void TCustomComPort::RunEventStep(TComEvent Event) {
  (this->*EventSteps[static_cast<std::size_t>(Event)])();
}

void TCustomComPort::EventWindowProc(std::uint32_t Message, std::uint32_t WParam) {
  if (Message != CM_COMPORT) return;
  try {
    // Messages still in flight when the port closed find nothing to deliver to.
    if (!Connected_) return;
    const auto Found = std::ranges::find(EventMaskBits, WParam);
    if (Found == EventMaskBits.end()) return;
    RunEventStep(static_cast<TComEvent>(Found - EventMaskBits.begin()));
  } catch (...) {
    HandleApplicationException(this, std::current_exception());
  }
}

// --- Opening and closing notifications ---

void TCustomComPort::ProcessBeforeOpen() {
  FireBeforeOpen();
}

void TCustomComPort::ProcessAfterOpen() {
  ForEachLink([this](TComLink& Link) {
    if (Link.OnConnChange) Link.OnConnChange(this, true);
  });
  FireAfterOpen();
  ReportSignals(true);
}

void TCustomComPort::ProcessBeforeClose() {
  ReportSignals(false);
  FireBeforeClose();
}

void TCustomComPort::ProcessAfterClose() {
  ForEachLink([this](TComLink& Link) {
    if (Link.OnConnChange) Link.OnConnChange(this, false);
  });
  FireAfterClose();
}

void TCustomComPort::ReportSignals(bool Opening) {
  if (Opening) {
    ProcessCTSChange();
    ProcessDSRChange();
    ProcessRLSDChange();
    return;
  }
  // Closing reports every line off without asking the device.
  ForEachLink([this](TComLink& Link) {
    if (Link.OnCTSChange) Link.OnCTSChange(this, false);
  });
  ForEachLink([this](TComLink& Link) {
    if (Link.OnDSRChange) Link.OnDSRChange(this, false);
  });
  ForEachLink([this](TComLink& Link) {
    if (Link.OnRLSDChange) Link.OnRLSDChange(this, false);
  });
  FireCTSChange(false);
  FireDSRChange(false);
  FireRLSDChange(false);
}

// --- Hooks of the published events ---

void TCustomComPort::FireAfterClose() {
  if (OnAfterClose) OnAfterClose(this);
}
void TCustomComPort::FireAfterOpen() {
  if (OnAfterOpen) OnAfterOpen(this);
}
void TCustomComPort::FireBeforeClose() {
  if (OnBeforeClose) OnBeforeClose(this);
}
void TCustomComPort::FireBeforeOpen() {
  if (OnBeforeOpen) OnBeforeOpen(this);
}
void TCustomComPort::FireRxChar(std::int32_t Count) {
  if (OnRxChar) OnRxChar(this, Count);
}
void TCustomComPort::FireRxBuf(const void* Buffer, std::int32_t Count) {
  if (OnRxBuf) OnRxBuf(this, Buffer, Count);
}
void TCustomComPort::FireTxEmpty() {
  if (OnTxEmpty) OnTxEmpty(this);
}
void TCustomComPort::FireBreak() {
  if (OnBreak) OnBreak(this);
}
void TCustomComPort::FireRing() {
  if (OnRing) OnRing(this);
}
void TCustomComPort::FireRxFlag() {
  if (OnRxFlag) OnRxFlag(this);
}
void TCustomComPort::FireCTSChange(bool OnOff) {
  if (OnCTSChange) OnCTSChange(this, OnOff);
}
void TCustomComPort::FireDSRChange(bool OnOff) {
  if (OnDSRChange) OnDSRChange(this, OnOff);
}
void TCustomComPort::FireError(TComErrors Errors) {
  if (OnError) OnError(this, Errors);
}
void TCustomComPort::FireRLSDChange(bool OnOff) {
  if (OnRLSDChange) OnRLSDChange(this, OnOff);
}
void TCustomComPort::FireRx80Full() {
  if (OnRx80Full) OnRx80Full(this);
}
void TCustomComPort::FireLineLost(std::int32_t SystemErrorCode) {
  if (OnLineLost) OnLineLost(this, SystemErrorCode);
}

}  // namespace tolvane
