// Conversion between the port's event set and the device's EV_ mask.
#pragma once

#include <array>
#include <cstdint>

#include "serialport/base/com_types.h"
#include "serialport/device/com_device.h"

namespace tolvane {

// The device bit of each event, indexed by the event's ordinal.
inline constexpr std::array<std::uint32_t, 10> EventMaskBits = {
    EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK,
    EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD, EV_RX80FULL};

std::uint32_t EventsToMask(TComEvents Events);
// Bits that stand for no event are ignored.
TComEvents MaskToEvents(std::uint32_t Mask);

}  // namespace tolvane
