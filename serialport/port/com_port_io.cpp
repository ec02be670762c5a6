// The port's data path: writes, reads, the wait for a transfer and the status queries.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "serialport/base/system_error_codes.h"
#include "serialport/port/com_port.h"
#include "serialport/port/com_port_link_pass.h"

namespace tolvane {
namespace {

// The transfer record of one blocking call: the port's spare record when it is free (so steady
// traffic allocates none), else a new one; given back, or freed, also when the call raises. A
// call made while another holds the spare (a handler writing from inside a write's link
// notification, or another thread) gets a record of its own.
class TOwnedTransfer {
 public:
  explicit TOwnedTransfer(std::atomic<TComTransfer*>& Spare)
      : Spare_(Spare), Transfer_(Spare.exchange(nullptr)) {
    if (Transfer_ == nullptr) NewTransfer(Transfer_);
  }
  ~TOwnedTransfer() {
    TComTransfer* Empty = nullptr;
    if (!Spare_.compare_exchange_strong(Empty, Transfer_)) FreeTransfer(Transfer_);
  }
  TOwnedTransfer(const TOwnedTransfer&) = delete;
  TOwnedTransfer& operator=(const TOwnedTransfer&) = delete;
  PComTransfer& Get() { return Transfer_; }

 private:
  std::atomic<TComTransfer*>& Spare_;
  PComTransfer Transfer_ = nullptr;
};

// A negative count, or a count without a buffer, would make the device touch memory the
// caller does not own; it is refused as an invalid argument before the device sees it.
void CheckBuffer(const void* Buffer, std::int32_t Count, std::int32_t ErrorNumber) {
  if (Count < 0 || (Count > 0 && Buffer == nullptr))
    throw EComPort(ErrorNumber, InvalidArgumentErrorCode);
}

}  // namespace

std::int32_t TCustomComPort::InputQueueCount() {
  std::uint32_t InQueue = 0;
  const int Error = Device_->InputCount(InQueue);
  if (Error != 0) throw DeviceError(CError_ClearComFailed, Error);
  return static_cast<std::int32_t>(InQueue);
}

TComLineSignals TCustomComPort::LineSignals() {
  std::uint32_t Status = 0;
  const int Error = Device_->GetCommModemStatus(Status);
  if (Error != 0) throw DeviceError(CError_ModemStatFailed, Error);
  TComLineSignals Signals;
  if ((Status & MS_CTS_ON) != 0) Signals.Include(TComLineSignal::lsCTS);
  if ((Status & MS_DSR_ON) != 0) Signals.Include(TComLineSignal::lsDSR);
  if ((Status & MS_RING_ON) != 0) Signals.Include(TComLineSignal::lsRing);
  if ((Status & MS_RLSD_ON) != 0) Signals.Include(TComLineSignal::lsRLSD);
  return Signals;
}

TComErrors TCustomComPort::PendingErrors() {
  std::uint32_t Flags = 0;
  std::uint32_t InQueue = 0;
  const int Error = Device_->ClearCommError(Flags, InQueue);
  if (Error != 0) throw DeviceError(CError_ClearComFailed, Error);
  TComErrors Errors;
  if ((Flags & CE_FRAME) != 0) Errors.Include(TComError::ceFrame);
  if ((Flags & CE_RXPARITY) != 0 && Parity_->Check()) Errors.Include(TComError::ceRxParity);
  if ((Flags & CE_OVERRUN) != 0) Errors.Include(TComError::ceOverrun);
  if ((Flags & CE_BREAK) != 0) Errors.Include(TComError::ceBreak);
  if ((Flags & CE_IOE) != 0) Errors.Include(TComError::ceIO);
  if ((Flags & CE_MODE) != 0) Errors.Include(TComError::ceMode);
  if ((Flags & CE_RXOVER) != 0) Errors.Include(TComError::ceRxOver);
  if ((Flags & CE_TXFULL) != 0) Errors.Include(TComError::ceTxFull);
  return Errors;
}

std::int32_t TCustomComPort::StartWrite(const void* Buffer, std::int32_t Count,
                                        PComTransfer& Transfer) {
  if (Transfer == nullptr) throw EComPort(CError_InvalidAsync);
  CheckBuffer(Buffer, Count, CError_WriteFailed);
  // Keep a copy so the links can be given the bytes once the write has ended.
  Transfer->Kind = TTransferKind::xkWrite;
  if (Count > Transfer->Capacity) {
    Transfer->Data = std::make_unique_for_overwrite<std::uint8_t[]>(Count);
    Transfer->Capacity = Count;
  }
  if (Count > 0) std::memcpy(Transfer->Data.get(), Buffer, static_cast<std::size_t>(Count));
  Transfer->Size = Count;
  Transfer->Overlapped = TOverlapped{};
  const int Error =
      Device_->WriteFile(Buffer, static_cast<std::uint32_t>(Count), Transfer->Overlapped);
  if (Error != 0) throw DeviceError(CError_WriteFailed, Error);
  ForEachLink([this](TComLink& Link) {
    if (Link.OnTxActivity) Link.OnTxActivity(this, true);
  });
  return static_cast<std::int32_t>(Transfer->Overlapped.Transferred);
}

std::int32_t TCustomComPort::StartWriteStr(const std::string& Str, PComTransfer& Transfer) {
  if (Str.empty()) return 0;
  return StartWrite(Str.data(), static_cast<std::int32_t>(Str.size()), Transfer);
}

std::int32_t TCustomComPort::WriteString(const std::string& Str) {
  if (Str.empty()) return 0;  // nothing to start, so nothing to wait for or report
  TOwnedTransfer Transfer(SpareWriteTransfer_);
  StartWriteStr(Str, Transfer.Get());
  return WaitTransfer(Transfer.Get());
}

std::int32_t TCustomComPort::StartRead(void* Buffer, std::int32_t Count, PComTransfer& Transfer) {
  if (Transfer == nullptr) throw EComPort(CError_InvalidAsync);
  CheckBuffer(Buffer, Count, CError_ReadFailed);
  Transfer->Kind = TTransferKind::xkRead;
  Transfer->Overlapped = TOverlapped{};
  const int Error =
      Device_->ReadFile(Buffer, static_cast<std::uint32_t>(Count), Transfer->Overlapped);
  if (Error != 0) throw DeviceError(CError_ReadFailed, Error);
  return static_cast<std::int32_t>(Transfer->Overlapped.Transferred);
}

std::int32_t TCustomComPort::ReadData(void* Buffer, std::int32_t Count) {
  TOwnedTransfer Transfer(SpareReadTransfer_);
  StartRead(Buffer, Count, Transfer.Get());
  return WaitTransfer(Transfer.Get());
}

std::int32_t TCustomComPort::WaitTransfer(PComTransfer& Transfer) {
  if (Transfer == nullptr) throw EComPort(CError_InvalidAsync);
  std::uint32_t Transferred = 0;
  const int Error = Device_->GetOverlappedResult(Transfer->Overlapped, Transferred);
  const bool IsRead = Transfer->Kind == TTransferKind::xkRead;
  if (Error != 0) throw DeviceError(IsRead ? CError_ReadFailed : CError_WriteFailed, Error);
  if (IsRead) {
    ReportRxIdle();
  } else if (Transfer->Size > 0) {
    // Only a write reports its bytes: a read on a record that once carried a write must not
    // hand the links that old data again.
    const std::uint8_t* Data = Transfer->Data.get();
    const std::int32_t Size = Transfer->Size;
    ForEachLink([this, Data, Size](TComLink& Link) {
      if (Link.OnTxBuf) Link.OnTxBuf(this, Data, Size);
    });
  }
  return static_cast<std::int32_t>(Transferred);
}

void TCustomComPort::ReportRxIdle() {
  // Only a link that hears of reception activity needs the count.
  if (std::ranges::none_of(LinkList_, [](TComLink* Link) { return bool(Link->OnRxActivity); }))
    return;
  if (InputQueueCount() != 0) return;
  ForEachLink([this](TComLink& Link) {
    if (Link.OnRxActivity) Link.OnRxActivity(this, false);
  });
}

std::int32_t TCustomComPort::ReadQueued(void* Buffer, std::int32_t Count) {
  TOverlapped Overlapped;
  const int Error = Device_->ReadFile(Buffer, static_cast<std::uint32_t>(Count), Overlapped);
  if (Error != 0) throw DeviceError(CError_ReadFailed, Error);
  ReportRxIdle();
  return static_cast<std::int32_t>(Overlapped.Transferred);
}

void TCustomComPort::AbortTransfers() {
  const int Error = Device_->PurgeComm(PURGE_TXABORT | PURGE_RXABORT);
  if (Error != 0) throw DeviceError(CError_PurgeFailed, Error);
}

}  // namespace tolvane
