#include "serialport/device/posix/posix_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "tests/support/pty_pair.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr TCommTimeouts PortDefaults{MAXDWORD, 0, 0, 100, 1000};

class PosixDeviceIoTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
    ASSERT_EQ(Device.SetupComm(1024, 1024), 0);
    Dcb.BaudRate = 9600;
    Dcb.fBinary = true;
    Dcb.fDtrControl = DTR_CONTROL_ENABLE;
    Dcb.XonChar = 17;
    Dcb.XoffChar = 19;
    ASSERT_EQ(Device.SetCommState(Dcb), 0);
    ASSERT_EQ(Device.SetCommTimeouts(PortDefaults), 0);
  }

  std::string Read(std::uint32_t Count, int ExpectedError = 0) {
    std::string Bytes(Count, '\0');
    TOverlapped Overlapped;
    EXPECT_EQ(Device.ReadFile(Bytes.data(), Count, Overlapped), ExpectedError);
    EXPECT_TRUE(Overlapped.Completed);
    EXPECT_EQ(Overlapped.Error, ExpectedError);
    Bytes.resize(Overlapped.Transferred);
    return Bytes;
  }

  // Bytes sent by the far end arrive on the slave side a moment later.
  std::uint32_t WaitForQueued(std::uint32_t Count) {
    std::uint32_t Errors = 0, Queued = 0;
    const auto Deadline = TClock::now() + 5s;
    do {
      EXPECT_EQ(Device.ClearCommError(Errors, Queued), 0);
      if (Queued >= Count) break;
      std::this_thread::sleep_for(2ms);
    } while (TClock::now() < Deadline);
    return Queued;
  }

  // Sends more than the queue holds and checks that it fills to Capacity without an overrun
  // and that the rest still arrives, in order, once the queue is read.
  void ExpectQueueHolds(std::uint32_t Capacity) {
    std::string Sent;
    for (std::uint32_t I = 0; I < Capacity + 40; ++I) Sent += static_cast<char>('A' + I % 26);
    // The kernel holds only some kilobytes of a pseudo-terminal's input, so the far end sends
    // while the queue fills.
    auto Sending = std::async(std::launch::async, [&] { Pty.Send(Sent); });
    EXPECT_EQ(WaitForQueued(Capacity), Capacity);
    std::uint32_t Errors = 0, Queued = 0;
    ASSERT_EQ(Device.ClearCommError(Errors, Queued), 0);
    EXPECT_EQ(Queued, Capacity);
    EXPECT_EQ(Errors, 0u) << "holding back is flow control, not an overrun";
    std::string Received;
    const auto Deadline = TClock::now() + 5s;
    while (Received.size() < Sent.size() && TClock::now() < Deadline) Received += Read(4096);
    Sending.get();
    EXPECT_EQ(Received, Sent);
  }

  test::TPtyPair Pty;
  TPosixDevice Device;
  TDcb Dcb;
};

TEST_F(PosixDeviceIoTest, WriteHandsTheFarEndExactlyTheBytes) {
  TOverlapped Overlapped;
  ASSERT_EQ(Device.WriteFile("ID;", 3, Overlapped), 0);
  EXPECT_TRUE(Overlapped.Completed);
  EXPECT_EQ(Overlapped.Transferred, 3u);
  std::uint32_t Transferred = 0;
  EXPECT_EQ(Device.GetOverlappedResult(Overlapped, Transferred), 0);
  EXPECT_EQ(Transferred, 3u);
  EXPECT_EQ(Pty.Receive(3), "ID;");
  EXPECT_EQ(Pty.Receive(1, 100ms), "") << "nothing more than the three bytes";
}

TEST_F(PosixDeviceIoTest, GetOverlappedResultOfAnUnfinishedRecordIsAnError) {
  TOverlapped Overlapped;
  std::uint32_t Transferred = 0;
  EXPECT_NE(Device.GetOverlappedResult(Overlapped, Transferred), 0);
}

TEST_F(PosixDeviceIoTest, DefaultTimeoutsReturnAtOnceWithWhatIsQueued) {
  const auto Start = TClock::now();
  EXPECT_EQ(Read(16), "");
  EXPECT_LT(TClock::now() - Start, 2s);
  Pty.Send("ST001203200;");
  ASSERT_EQ(WaitForQueued(12), 12u);
  EXPECT_EQ(Read(16), "ST001203200;");
  EXPECT_EQ(Read(16), "");
}

TEST_F(PosixDeviceIoTest, BinaryBytesPassUnchanged) {
  const std::string Bytes("\xff\x00\x11\x13\r\n\x03\xff\xff\x7f", 10);
  Pty.Send(Bytes);
  ASSERT_EQ(WaitForQueued(10), 10u);
  EXPECT_EQ(Read(32), Bytes);
  TOverlapped Overlapped;
  ASSERT_EQ(Device.WriteFile(Bytes.data(), 10, Overlapped), 0);
  EXPECT_EQ(Pty.Receive(10), Bytes);
}

TEST_F(PosixDeviceIoTest, TotalTimeoutEndsARead) {
  ASSERT_EQ(Device.SetCommTimeouts({0, 0, 200, 0, 0}), 0);
  Pty.Send("AB");
  const auto Start = TClock::now();
  EXPECT_EQ(Read(10), "AB");
  const auto Took = TClock::now() - Start;
  EXPECT_GE(Took, 150ms);
  EXPECT_LT(Took, 5s);
}

TEST_F(PosixDeviceIoTest, IntervalTimeoutEndsAReadAfterTheLastByte) {
  ASSERT_EQ(Device.SetCommTimeouts({100, 0, 0, 0, 0}), 0);
  Pty.Send("xyz");
  const auto Start = TClock::now();
  EXPECT_EQ(Read(10), "xyz");
  EXPECT_LT(TClock::now() - Start, 5s);
}

TEST_F(PosixDeviceIoTest, WaitForFirstByteReturnsWithIt) {
  ASSERT_EQ(Device.SetCommTimeouts({MAXDWORD, MAXDWORD, 10000, 0, 0}), 0);
  std::thread FarEnd([&] {
    std::this_thread::sleep_for(100ms);
    Pty.Send("Q");
  });
  const auto Start = TClock::now();
  EXPECT_EQ(Read(10), "Q");
  EXPECT_LT(TClock::now() - Start, 8s);
  FarEnd.join();
}

TEST_F(PosixDeviceIoTest, ReadReturnsWhenAllBytesCame) {
  const TCommTimeouts Unlimited[] = {
      {0, 0, 0, 0, 0},                    // no time-out at all
      {0, MAXDWORD, MAXDWORD - 1, 0, 0},  // a total far too long for the clock to add
  };
  const std::string Half(3000, 'h');
  for (const TCommTimeouts& Timeouts : Unlimited) {
    ASSERT_EQ(Device.SetCommTimeouts(Timeouts), 0);
    std::thread FarEnd([&] {
      Pty.Send(Half);
      std::this_thread::sleep_for(50ms);
      Pty.Send(Half);
    });
    EXPECT_EQ(Read(6000), Half + Half);
    FarEnd.join();
  }
}

TEST_F(PosixDeviceIoTest, WriteTimeoutReportsThePartWrittenNotAnError) {
  ASSERT_EQ(Device.SetCommTimeouts({MAXDWORD, 0, 0, 0, 300}), 0);
  const std::string Big(4 << 20, 'x');  // far more than the pty buffers; the far end never reads
  TOverlapped Overlapped;
  const auto Start = TClock::now();
  EXPECT_EQ(Device.WriteFile(Big.data(), static_cast<std::uint32_t>(Big.size()), Overlapped), 0);
  const auto Took = TClock::now() - Start;
  EXPECT_TRUE(Overlapped.Completed);
  EXPECT_EQ(Overlapped.Error, 0);
  EXPECT_GT(Overlapped.Transferred, 0u);
  EXPECT_LT(Overlapped.Transferred, Big.size());
  EXPECT_GE(Took, 250ms);
  EXPECT_LT(Took, 10s);
}

TEST_F(PosixDeviceIoTest, DiscardNullDropsNulBytes) {
  Dcb.fNull = true;
  ASSERT_EQ(Device.SetCommState(Dcb), 0);
  Pty.Send(std::string("A\0B\0\0C", 6));
  ASSERT_EQ(WaitForQueued(3), 3u);
  EXPECT_EQ(Read(10), "ABC");
}

TEST_F(PosixDeviceIoTest, ClearCommErrorCountsQueuedBytes) {
  Pty.Send("1234567");
  EXPECT_EQ(WaitForQueued(7), 7u);
  std::uint32_t Errors = 99, Queued = 0;
  ASSERT_EQ(Device.ClearCommError(Errors, Queued), 0);
  EXPECT_EQ(Errors, 0u);
  EXPECT_EQ(Queued, 7u);
  Read(3);
  ASSERT_EQ(Device.ClearCommError(Errors, Queued), 0);
  EXPECT_EQ(Queued, 4u);
}

TEST_F(PosixDeviceIoTest, QueueHoldsAtLeastItsSmallestSizeAndTheRestWaitsInTheKernel) {
  ASSERT_EQ(Device.SetupComm(16, 16), 0);
  ExpectQueueHolds(TPosixDevice::SmallestInputQueue);
}

TEST_F(PosixDeviceIoTest, QueueHoldsALargerInputSize) {
  const std::uint32_t Size = TPosixDevice::SmallestInputQueue + 1000;
  ASSERT_EQ(Device.SetupComm(static_cast<std::int32_t>(Size), 16), 0);
  ExpectQueueHolds(Size);
}

TEST_F(PosixDeviceIoTest, PurgeRxClearDiscardsQueuedInput) {
  Pty.Send("stale");
  ASSERT_EQ(WaitForQueued(5), 5u);
  ASSERT_EQ(Device.PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR), 0);
  std::uint32_t Errors = 0, Queued = 1;
  ASSERT_EQ(Device.ClearCommError(Errors, Queued), 0);
  EXPECT_EQ(Queued, 0u);
  EXPECT_EQ(Read(10), "");
  EXPECT_EQ(Device.PurgeComm(0x10), EINVAL);
}

TEST_F(PosixDeviceIoTest, PurgeAbortEndsAReadBlockedInAnotherThread) {
  ASSERT_EQ(Device.SetCommTimeouts({0, 0, 0, 0, 0}), 0);  // would wait for ever
  auto Blocked = std::async(std::launch::async, [&] {
    char Buffer[8];
    TOverlapped Overlapped;
    return Device.ReadFile(Buffer, sizeof Buffer, Overlapped);
  });
  EXPECT_EQ(Blocked.wait_for(100ms), std::future_status::timeout) << "the read must block";
  ASSERT_EQ(Device.PurgeComm(PURGE_RXABORT | PURGE_TXABORT), 0);
  ASSERT_EQ(Blocked.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(Blocked.get(), ECANCELED);
  ASSERT_EQ(Device.SetCommTimeouts(PortDefaults), 0);
  Pty.Send("ok");
  ASSERT_EQ(WaitForQueued(2), 2u);
  EXPECT_EQ(Read(4), "ok") << "a later read is not aborted";
}

TEST_F(PosixDeviceIoTest, PurgeAbortEndsAWriteBlockedInAnotherThread) {
  ASSERT_EQ(Device.SetCommTimeouts({MAXDWORD, 0, 0, 0, 0}), 0);  // writes without a limit
  const std::string Big(4 << 20, 'x');  // the far end never reads, so this cannot finish
  auto Blocked = std::async(std::launch::async, [&] {
    TOverlapped Overlapped;
    Device.WriteFile(Big.data(), static_cast<std::uint32_t>(Big.size()), Overlapped);
    return Overlapped;
  });
  EXPECT_EQ(Blocked.wait_for(200ms), std::future_status::timeout) << "the write must block";
  ASSERT_EQ(Device.PurgeComm(PURGE_TXABORT), 0);
  ASSERT_EQ(Blocked.wait_for(10s), std::future_status::ready);
  const TOverlapped Overlapped = Blocked.get();
  EXPECT_EQ(Overlapped.Error, ECANCELED);
  EXPECT_GT(Overlapped.Transferred, 0u);
  EXPECT_LT(Overlapped.Transferred, Big.size());
}

TEST_F(PosixDeviceIoTest, CloseEndsAReadBlockedInAnotherThread) {
  ASSERT_EQ(Device.SetCommTimeouts({0, 0, 0, 0, 0}), 0);
  auto Blocked = std::async(std::launch::async, [&] {
    char Buffer[8];
    TOverlapped Overlapped;
    return Device.ReadFile(Buffer, sizeof Buffer, Overlapped);
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Device.Close(), 0);
  ASSERT_EQ(Blocked.wait_for(10s), std::future_status::ready);
  EXPECT_NE(Blocked.get(), 0);
}

TEST_F(PosixDeviceIoTest, HangUpIsAFailureNotNoData) {
  Pty.Send("last");
  ASSERT_EQ(WaitForQueued(4), 4u);
  Pty.CloseMaster();
  EXPECT_EQ(Read(10), "last") << "what was queued is still handed over";
  EXPECT_EQ(Read(10, EIO), "");
  TOverlapped Overlapped;
  EXPECT_EQ(Device.WriteFile("ID;", 3, Overlapped), EIO);
}

}  // namespace
}  // namespace tolvane
