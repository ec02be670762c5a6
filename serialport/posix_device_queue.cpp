#include "serialport/posix_device_queue.h"

#include <algorithm>

#include "serialport/com_device.h"

namespace tolvane {

void TInputQueue::Configure(const TInputQueueOptions& Options) {
  Options_ = Options;
}

std::size_t TInputQueue::FreeSpace() const {
  return Bytes_.size() >= Options_.Capacity ? 0 : Options_.Capacity - Bytes_.size();
}

bool TInputQueue::AtOrAbove80Percent() const {
  return Options_.Capacity > 0 && Bytes_.size() * 5 >= Options_.Capacity * 4;
}

std::uint32_t TInputQueue::Store(std::uint8_t Byte) {
  if (Byte == 0 && Options_.DiscardNull) return 0;
  if (Bytes_.size() >= Options_.Capacity) {
    Errors_ |= CE_RXOVER;
    return EV_ERR;
  }
  Bytes_.push_back(Byte);
  std::uint32_t Events = EV_RXCHAR;
  if (Byte == static_cast<std::uint8_t>(Options_.EventChar)) Events |= EV_RXFLAG;
  return Events;
}

std::uint32_t TInputQueue::Accept(const std::uint8_t* Raw, std::size_t Count) {
  const bool WasBelow80 = !AtOrAbove80Percent();
  std::uint32_t Events = 0;
  for (std::size_t I = 0; I < Count; ++I) {
    const std::uint8_t Byte = Raw[I];
    switch (Escape_) {
      case TEscape::None:
        if (Byte == 0xFF)
          Escape_ = TEscape::SawFF;
        else
          Events |= Store(Byte);
        break;
      case TEscape::SawFF:
        if (Byte == 0x00) {
          Escape_ = TEscape::SawFF00;
        } else {
          // 0xFF 0xFF is a data 0xFF; anything else cannot follow a mark, so the 0xFF was data.
          Escape_ = TEscape::None;
          Events |= Store(0xFF);
          if (Byte != 0xFF) Events |= Store(Byte);
        }
        break;
      case TEscape::SawFF00:
        Escape_ = TEscape::None;
        // A break and a NUL received with an error look the same; a break is by far the likelier.
        if (Byte == 0x00) {
          Errors_ |= CE_BREAK;
          Events |= EV_BREAK;
        } else {
          Errors_ |= Options_.ParityEnabled ? CE_RXPARITY : CE_FRAME;
          Events |= EV_ERR;
          Events |=
              Store(Options_.ReplaceErrors ? static_cast<std::uint8_t>(Options_.ErrorChar) : Byte);
        }
        break;
    }
  }
  if (WasBelow80 && AtOrAbove80Percent()) Events |= EV_RX80FULL;
  return Events;
}

std::size_t TInputQueue::Take(std::uint8_t* Out, std::size_t Max) {
  const std::size_t Count = std::min(Max, Bytes_.size());
  std::copy_n(Bytes_.begin(), Count, Out);
  Bytes_.erase(Bytes_.begin(), Bytes_.begin() + static_cast<std::ptrdiff_t>(Count));
  return Count;
}

void TInputQueue::Clear() {
  Bytes_.clear();
  Escape_ = TEscape::None;
}

std::uint32_t TInputQueue::TakeErrors() {
  const std::uint32_t Errors = Errors_;
  Errors_ = 0;
  return Errors;
}

}  // namespace tolvane
