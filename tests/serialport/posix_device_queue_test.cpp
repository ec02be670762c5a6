#include "serialport/posix_device_queue.h"

#include <gtest/gtest.h>

#include <string>

#include "serialport/com_device.h"

namespace tolvane {
namespace {

std::uint32_t Accept(TInputQueue& Queue, const std::string& Raw) {
  return Queue.Accept(reinterpret_cast<const std::uint8_t*>(Raw.data()), Raw.size());
}

std::string TakeAll(TInputQueue& Queue) {
  std::string Out(Queue.Size(), '\0');
  Out.resize(Queue.Take(reinterpret_cast<std::uint8_t*>(Out.data()), Out.size()));
  return Out;
}

struct TDecodeCase {
  const char* Name;
  TInputQueueOptions Options;
  std::string Raw;
  std::string Queued;
  std::uint32_t Events;
  std::uint32_t Errors;
};

class InputQueueDecodeTest : public testing::TestWithParam<TDecodeCase> {};

TEST_P(InputQueueDecodeTest, DecodesMarkedInput) {
  TInputQueue Queue;
  Queue.Configure(GetParam().Options);
  EXPECT_EQ(Accept(Queue, GetParam().Raw), GetParam().Events);
  EXPECT_EQ(TakeAll(Queue), GetParam().Queued);
  EXPECT_EQ(Queue.TakeErrors(), GetParam().Errors);
  EXPECT_EQ(Queue.TakeErrors(), 0u) << "errors are reported once";
}

TInputQueueOptions With(void (*Change)(TInputQueueOptions&)) {
  TInputQueueOptions Options;
  Change(Options);
  return Options;
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, InputQueueDecodeTest,
    testing::Values(
        TDecodeCase{"Plain", {}, "ID;", "ID;", EV_RXCHAR, 0},
        TDecodeCase{"DoubledFFIsOneDataByte",
                    {},
                    "a\xff\xff"s
                    "b",
                    "a\xff"
                    "b",
                    EV_RXCHAR,
                    0},
        TDecodeCase{"BreakQueuesNothing", {}, "\xff\x00\x00"s, "", EV_BREAK, CE_BREAK},
        TDecodeCase{
            "FramingErrorWithoutParity", {}, "\xff\x00x"s, "x", EV_RXCHAR | EV_ERR, CE_FRAME},
        TDecodeCase{"ParityError", With([](TInputQueueOptions& O) { O.ParityEnabled = true; }),
                    "a\xff\x00x"s, "ax", EV_RXCHAR | EV_ERR, CE_RXPARITY},
        TDecodeCase{"ErrorByteReplaced", With([](TInputQueueOptions& O) {
                      O.ParityEnabled = true;
                      O.ReplaceErrors = true;
                      O.ErrorChar = '?';
                    }),
                    "\xff\x00x"s
                    "y",
                    "?y", EV_RXCHAR | EV_ERR, CE_RXPARITY},
        TDecodeCase{"NullsDiscarded", With([](TInputQueueOptions& O) { O.DiscardNull = true; }),
                    "A\0B\0"s, "AB", EV_RXCHAR, 0},
        TDecodeCase{"OnlyNullsRaiseNoEvent",
                    With([](TInputQueueOptions& O) { O.DiscardNull = true; }), "\0\0"s, "", 0, 0},
        // The event character defaults to NUL, so a NUL is also the event character.
        TDecodeCase{"NullsKept", {}, "A\0"s, "A\0"s, EV_RXCHAR | EV_RXFLAG, 0},
        TDecodeCase{"EventChar", With([](TInputQueueOptions& O) { O.EventChar = ';'; }), "ST0012;",
                    "ST0012;", EV_RXCHAR | EV_RXFLAG, 0},
        TDecodeCase{"NoEventCharInData", With([](TInputQueueOptions& O) { O.EventChar = ';'; }),
                    "ST0012", "ST0012", EV_RXCHAR, 0}),
    [](const testing::TestParamInfo<TDecodeCase>& Info) { return std::string(Info.param.Name); });

TEST(InputQueueTest, EscapeSplitAcrossReadsIsStillDecoded) {
  TInputQueue Queue;
  EXPECT_EQ(Accept(Queue, "a\xff"), EV_RXCHAR);
  EXPECT_EQ(Accept(Queue, "\xff"), EV_RXCHAR);
  EXPECT_EQ(Accept(Queue, "\xff\x00"s), 0u);
  EXPECT_EQ(Accept(Queue, "\x00"s), static_cast<std::uint32_t>(EV_BREAK));
  EXPECT_EQ(TakeAll(Queue), "a\xff");
  EXPECT_EQ(Queue.TakeErrors(), static_cast<std::uint32_t>(CE_BREAK));
}

TEST(InputQueueTest, ClearForgetsHalfReadEscape) {
  TInputQueue Queue;
  Accept(Queue, "x\xff");
  Queue.Clear();
  EXPECT_EQ(Queue.Size(), 0u);
  Accept(Queue, "\x00\x00"s);
  EXPECT_EQ(TakeAll(Queue), "\0\0"s) << "the old 0xFF must not turn these into a break";
}

TEST(InputQueueTest, EightyPercentIsReportedWhenCrossed) {
  TInputQueue Queue;
  Queue.Configure(With([](TInputQueueOptions& O) { O.Capacity = 10; }));
  EXPECT_EQ(Accept(Queue, "1234567"), EV_RXCHAR);
  EXPECT_EQ(Accept(Queue, "8"), EV_RXCHAR | EV_RX80FULL);
  EXPECT_EQ(Accept(Queue, "9"), EV_RXCHAR) << "already above, not crossed again";
  std::uint8_t Out[5];
  Queue.Take(Out, 5);
  EXPECT_EQ(Accept(Queue, "abcd"), EV_RXCHAR | EV_RX80FULL);
}

TEST(InputQueueTest, HoldsCapacityAndSaysHowMuchMoreFits) {
  TInputQueue Queue;
  Queue.Configure(With([](TInputQueueOptions& O) { O.Capacity = 4; }));
  EXPECT_EQ(Queue.FreeSpace(), 4u);
  Accept(Queue, "abc");
  EXPECT_EQ(Queue.FreeSpace(), 1u);
  Accept(Queue, "d");
  EXPECT_EQ(Queue.FreeSpace(), 0u);
  EXPECT_EQ(Accept(Queue, "e"), static_cast<std::uint32_t>(EV_ERR)) << "overflow is reported";
  EXPECT_EQ(Queue.TakeErrors(), static_cast<std::uint32_t>(CE_RXOVER));
  EXPECT_EQ(TakeAll(Queue), "abcd");
}

TEST(InputQueueTest, TakeLeavesTheRestInOrder) {
  TInputQueue Queue;
  Accept(Queue, "ST001203200;");
  std::uint8_t Out[4];
  ASSERT_EQ(Queue.Take(Out, 4), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Out), 4), "ST00");
  EXPECT_EQ(TakeAll(Queue), "1203200;");
}

}  // namespace
}  // namespace tolvane
