#include "serialport/device/input_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "serialport/device/com_device.h"

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

// A byte-at-a-time decoder of the marked stream, written for clarity: the queue must keep the
// same bytes and report the same events and errors however its input is cut.
struct TReferenceQueue {
  explicit TReferenceQueue(const TInputQueueOptions& Chosen) : Options(Chosen) {}

  void Accept(std::uint8_t Byte) {
    if (State == 0 && Byte == 0xFF) {
      State = 1;
    } else if (State == 0) {
      Store(Byte);
    } else if (State == 1 && Byte == 0x00) {
      State = 2;
    } else if (State == 1) {
      State = 0;
      Store(0xFF);
      if (Byte != 0xFF) Store(Byte);
    } else if (Byte == 0x00) {
      State = 0;
      Errors |= CE_BREAK;
      Events |= EV_BREAK;
    } else {
      State = 0;
      Errors |= Options.ParityEnabled ? CE_RXPARITY : CE_FRAME;
      Events |= EV_ERR;
      Store(Options.ReplaceErrors ? static_cast<std::uint8_t>(Options.ErrorChar) : Byte);
    }
  }

  void Store(std::uint8_t Byte) {
    if (Byte == 0 && Options.DiscardNull) return;
    if (Bytes.size() >= Options.Capacity) {
      Errors |= CE_RXOVER;
      Events |= EV_ERR;
      return;
    }
    Bytes += static_cast<char>(Byte);
    Events |= EV_RXCHAR;
    if (Byte == static_cast<std::uint8_t>(Options.EventChar)) Events |= EV_RXFLAG;
    if (Bytes.size() * 5 >= Options.Capacity * 4 && (Bytes.size() - 1) * 5 < Options.Capacity * 4)
      Events |= EV_RX80FULL;
  }

  TInputQueueOptions Options;
  std::string Bytes;
  std::uint32_t Events = 0;
  std::uint32_t Errors = 0;
  int State = 0;  // 1 after 0xFF, 2 after 0xFF 0x00
};

TEST(InputQueueTest, DecodesLikeTheReferenceHoweverTheInputIsCut) {
  std::mt19937 Random(20261208);
  const std::uint8_t Alphabet[] = {'S', 'T', '0', ';', 0x00, 0xFF, 0xFF, 0x11, '\n'};
  const std::size_t Capacities[] = {3, 16, 100, 1024};
  for (int Round = 0; Round < 2000; ++Round) {
    TInputQueueOptions Options;
    Options.Capacity = Capacities[Random() % 4];
    Options.DiscardNull = Random() % 2 == 0;
    Options.EventChar = Random() % 2 == 0 ? ';' : '\0';
    Options.ReplaceErrors = Random() % 2 == 0;
    Options.ErrorChar = '?';
    Options.ParityEnabled = Random() % 2 == 0;
    std::string Raw(Random() % 160, '\0');
    for (char& Byte : Raw) Byte = static_cast<char>(Alphabet[Random() % sizeof Alphabet]);

    TReferenceQueue Reference(Options);
    for (char Byte : Raw) Reference.Accept(static_cast<std::uint8_t>(Byte));
    TInputQueue Queue;
    Queue.Configure(Options);
    std::uint32_t Events = 0;
    for (std::size_t Done = 0; Done < Raw.size();) {
      const std::size_t Piece = std::min<std::size_t>(1 + Random() % 40, Raw.size() - Done);
      Events |= Accept(Queue, Raw.substr(Done, Piece));
      Done += Piece;
    }
    SCOPED_TRACE(testing::Message() << "round " << Round << ", capacity " << Options.Capacity);
    EXPECT_EQ(Events, Reference.Events);
    EXPECT_EQ(Queue.TakeErrors(), Reference.Errors);
    EXPECT_EQ(TakeAll(Queue), Reference.Bytes);
  }
}

TEST(InputQueueTest, SpaceFreedByTakingIsUsedAgainInOrder) {
  TInputQueue Queue;
  Queue.Configure(With([](TInputQueueOptions& O) { O.Capacity = 8; }));
  std::string Expected;
  std::string Received;
  for (int I = 0; I < 100; ++I) {
    const std::string Piece = std::to_string(I);
    Accept(Queue, Piece);
    Expected += Piece;
    std::uint8_t Out[3];
    Received.append(reinterpret_cast<char*>(Out), Queue.Take(Out, 1 + I % 3));
    ASSERT_LE(Queue.Size(), 8u);
  }
  Received += TakeAll(Queue);
  EXPECT_EQ(Received, Expected);
  EXPECT_EQ(Queue.TakeErrors(), 0u) << "taking kept pace, so nothing overflowed";
}

}  // namespace
}  // namespace tolvane
