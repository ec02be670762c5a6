#include "serialport/device/input_queue.h"

#include <algorithm>
#include <cstring>

#include "serialport/device/com_device.h"

namespace tolvane {

void TInputQueue::Configure(const TInputQueueOptions& Options) {
  Options_ = Options;
}

std::size_t TInputQueue::FreeSpace() const {
  return Size() >= Options_.Capacity ? 0 : Options_.Capacity - Size();
}

bool TInputQueue::AtOrAbove80Percent() const {
  return Options_.Capacity > 0 && Size() * 5 >= Options_.Capacity * 4;
}

// Stores a run of plain bytes the way Store would store them one by one, in a single copy.
std::uint32_t TInputQueue::StoreRun(const std::uint8_t* Run, std::size_t Count) {
  const std::size_t Fits = std::min(Count, FreeSpace());
  std::uint32_t Events = 0;
  if (Fits < Count) {
    Errors_ |= CE_RXOVER;
    Events |= EV_ERR;
  }
  if (Fits == 0) return Events;
  if (Head_ == Bytes_.size()) {
    Bytes_.clear();
    Head_ = 0;
  } else if (Head_ > Size()) {
    Bytes_.erase(Bytes_.begin(), Bytes_.begin() + static_cast<std::ptrdiff_t>(Head_));
    Head_ = 0;
  }
  Bytes_.insert(Bytes_.end(), Run, Run + Fits);
  Events |= EV_RXCHAR;
  if (std::memchr(Run, static_cast<std::uint8_t>(Options_.EventChar), Fits)) Events |= EV_RXFLAG;
  return Events;
}

std::uint32_t TInputQueue::Store(std::uint8_t Byte) {
  if (Byte == 0 && Options_.DiscardNull) return 0;
  return StoreRun(&Byte, 1);
}

// One byte of the marked stream that is not part of a plain run: a 0xFF, a NUL to drop, or a
// byte inside a mark.
std::uint32_t TInputQueue::DecodeEscaped(std::uint8_t Byte) {
  switch (Escape_) {
    case TEscape::None:
      if (Byte == 0xFF) {
        Escape_ = TEscape::SawFF;
        return 0;
      }
      return Store(Byte);
    case TEscape::SawFF: {
      if (Byte == 0x00) {
        Escape_ = TEscape::SawFF00;
        return 0;
      }
      // 0xFF 0xFF is a data 0xFF; anything else cannot follow a mark, so the 0xFF was data.
      Escape_ = TEscape::None;
      const std::uint32_t Events = Store(0xFF);  // stored first, then the byte after it
      return Byte == 0xFF ? Events : Events | Store(Byte);
    }
    case TEscape::SawFF00:
      Escape_ = TEscape::None;
      // A break and a NUL received with an error look the same; a break is by far the likelier.
      if (Byte == 0x00) {
        Errors_ |= CE_BREAK;
        return EV_BREAK;
      }
      Errors_ |= Options_.ParityEnabled ? CE_RXPARITY : CE_FRAME;
      return EV_ERR |
             Store(Options_.ReplaceErrors ? static_cast<std::uint8_t>(Options_.ErrorChar) : Byte);
  }
  return 0;
}

std::uint32_t TInputQueue::Accept(const std::uint8_t* Raw, std::size_t Count) {
  const bool WasBelow80 = !AtOrAbove80Percent();
  // The position of the first Byte at or after From, or Count.
  const auto Next = [Raw, Count](std::uint8_t Byte, std::size_t From) {
    const void* Found = std::memchr(Raw + From, Byte, Count - From);
    return Found ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(Found) - Raw) : Count;
  };
  // Bytes before the next 0xFF and the next NUL to drop are plain and stored in one go. Each
  // position is looked for again only once it is passed, so the input is scanned once however
  // densely it holds either byte.
  std::size_t NextMark = Options_.Marked ? Next(0xFF, 0) : Count;
  std::size_t NextNull = Options_.DiscardNull ? Next(0x00, 0) : Count;
  std::uint32_t Events = 0;
  std::size_t Done = 0;
  while (Done < Count) {
    if (NextMark < Done) NextMark = Next(0xFF, Done);
    if (NextNull < Done) NextNull = Next(0x00, Done);
    const std::size_t RunEnd = std::min(NextMark, NextNull);
    if (Escape_ == TEscape::None && RunEnd > Done) {
      Events |= StoreRun(Raw + Done, RunEnd - Done);
      Done = RunEnd;
    } else {
      Events |= DecodeEscaped(Raw[Done]);
      ++Done;
    }
  }
  if (WasBelow80 && AtOrAbove80Percent()) Events |= EV_RX80FULL;
  return Events;
}

std::size_t TInputQueue::Take(std::uint8_t* Out, std::size_t Max) {
  const std::size_t Count = std::min(Max, Size());
  if (Count > 0) std::memcpy(Out, Bytes_.data() + Head_, Count);
  Head_ += Count;
  if (Head_ == Bytes_.size()) {
    Bytes_.clear();
    Head_ = 0;
  }
  return Count;
}

void TInputQueue::Clear() {
  Bytes_.clear();
  Head_ = 0;
  Escape_ = TEscape::None;
}

std::uint32_t TInputQueue::TakeErrors() {
  const std::uint32_t Errors = Errors_;
  Errors_ = 0;
  return Errors;
}

}  // namespace tolvane
