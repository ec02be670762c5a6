#include "serialport/device/event_mask.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

struct TEventBit {
  TComEvent Event;
  std::uint32_t DeviceBit;
};

// The set bit and the device bit differ for most events; each row pins one pair.
constexpr TEventBit EventBits[] = {{TComEvent::evRxChar, 0x0001}, {TComEvent::evTxEmpty, 0x0004},
                                   {TComEvent::evRxFlag, 0x0002}, {TComEvent::evRing, 0x0100},
                                   {TComEvent::evBreak, 0x0040},  {TComEvent::evCTS, 0x0008},
                                   {TComEvent::evDSR, 0x0010},    {TComEvent::evError, 0x0080},
                                   {TComEvent::evRLSD, 0x0020},   {TComEvent::evRx80Full, 0x0400}};

TEST(EventMaskTest, EachEventMapsToItsOwnDeviceBitBothWays) {
  for (const TEventBit& Row : EventBits) {
    EXPECT_EQ(EventsToMask(TComEvents{Row.Event}), Row.DeviceBit);
    EXPECT_EQ(MaskToEvents(Row.DeviceBit), TComEvents{Row.Event});
  }
}

TEST(EventMaskTest, AllEventsAndNoEvents) {
  EXPECT_EQ(EventsToMask(AllComEvents), 0x05FFu);
  EXPECT_EQ(MaskToEvents(0x05FF), AllComEvents);
  EXPECT_EQ(EventsToMask(TComEvents{}), 0u);
}

TEST(EventMaskTest, DeviceBitsWithoutAnEventAreIgnored) {
  // 0x0200 (printer error), 0x0800/0x1000 (provider events) and higher bits stand for nothing.
  EXPECT_EQ(MaskToEvents(0xFFFFFE00u), TComEvents{TComEvent::evRx80Full});
}

}  // namespace
}  // namespace tolvane
