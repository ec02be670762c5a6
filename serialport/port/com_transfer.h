// The record of one transfer: what was last started on it, the copy of the bytes of the last
// write (handed to the links once the write has ended) and the device's result.
#pragma once

#include <cstdint>
#include <memory>

#include "serialport/device/com_device.h"

namespace tolvane {

enum class TTransferKind : std::uint8_t { xkWrite = 0, xkRead = 1 };

struct TComTransfer {
  TOverlapped Overlapped;
  TTransferKind Kind = TTransferKind::xkWrite;
  std::unique_ptr<std::uint8_t[]> Data;  // none until a write of at least one byte
  std::int32_t Size = 0;                 // bytes of the last write's copy; 0: no copy
  std::int32_t Capacity = 0;             // room in Data: a reused record copies without allocating
};

// The caller owns a record through a pointer; an empty pointer given to a transfer operation is
// the error "Invalid Async parameter".
using PComTransfer = TComTransfer*;

void NewTransfer(PComTransfer& Transfer);
void FreeTransfer(PComTransfer& Transfer);

}  // namespace tolvane
