#include "serialport/device/event_mask.h"

namespace tolvane {

std::uint32_t EventsToMask(TComEvents Events) {
  std::uint32_t Mask = 0;
  for (std::size_t Ordinal = 0; Ordinal < EventMaskBits.size(); ++Ordinal) {
    if (Events.Contains(static_cast<TComEvent>(Ordinal))) Mask |= EventMaskBits[Ordinal];
  }
  return Mask;
}

TComEvents MaskToEvents(std::uint32_t Mask) {
  TComEvents Events;
  for (std::size_t Ordinal = 0; Ordinal < EventMaskBits.size(); ++Ordinal) {
    if ((Mask & EventMaskBits[Ordinal]) != 0) Events.Include(static_cast<TComEvent>(Ordinal));
  }
  return Events;
}

}  // namespace tolvane
