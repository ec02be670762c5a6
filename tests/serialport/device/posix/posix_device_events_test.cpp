#include <time.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "serialport/device/posix/posix_device.h"
#include "serialport/dispatch/stop_signal.h"
#include "tests/support/pty_pair.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

struct TWaitOutcome {
  TWaitResult Result;
  std::uint32_t Mask;
  double CpuSeconds;  // spent by the waiting thread
};

double ThreadCpuSeconds() {
  timespec Now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
  return static_cast<double>(Now.tv_sec) + static_cast<double>(Now.tv_nsec) * 1e-9;
}

class PosixDeviceEventsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
    ASSERT_EQ(Device.SetupComm(1024, 1024), 0);
    Dcb.BaudRate = 9600;
    Dcb.fBinary = true;
    Dcb.XonChar = 17;
    Dcb.XoffChar = 19;
    Dcb.EvtChar = ';';
    ASSERT_EQ(Device.SetCommState(Dcb), 0);
    ASSERT_EQ(Device.SetCommTimeouts({MAXDWORD, 0, 0, 100, 1000}), 0);
  }

  // Waits on another thread, as the port's event thread does.
  std::future<TWaitOutcome> StartWait() {
    return std::async(std::launch::async, [this] {
      const double CpuBefore = ThreadCpuSeconds();
      std::uint32_t Mask = 0;
      const TWaitResult Result = Device.WaitCommEvent(Mask, Stop);
      return TWaitOutcome{Result, Mask, ThreadCpuSeconds() - CpuBefore};
    });
  }

  // Events reported until every one of Wanted has been seen (or a generous deadline stops it).
  std::uint32_t WaitUntilSeen(std::uint32_t Wanted) {
    std::uint32_t Seen = 0;
    const auto Deadline = std::chrono::steady_clock::now() + 5s;
    while ((Seen & Wanted) != Wanted && std::chrono::steady_clock::now() < Deadline) {
      auto Wait = StartWait();
      if (Wait.wait_for(5s) != std::future_status::ready) {
        Stop.Set();
        Wait.wait();
        break;
      }
      const TWaitOutcome Outcome = Wait.get();
      if (Outcome.Result != TWaitResult::Event) break;
      Seen |= Outcome.Mask;
    }
    return Seen;
  }

  test::TPtyPair Pty;
  TPosixDevice Device;
  TDcb Dcb;
  TStopSignal Stop;
};

TEST_F(PosixDeviceEventsTest, ReceivedBytesRaiseRxChar) {
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR | EV_RXFLAG), 0);
  auto Wait = StartWait();
  EXPECT_EQ(Wait.wait_for(100ms), std::future_status::timeout) << "nothing came yet";
  Pty.Send("ID2");
  ASSERT_EQ(Wait.wait_for(10s), std::future_status::ready);
  const TWaitOutcome Outcome = Wait.get();
  EXPECT_EQ(Outcome.Result, TWaitResult::Event);
  EXPECT_EQ(Outcome.Mask, static_cast<std::uint32_t>(EV_RXCHAR)) << "no event char among them";
}

TEST_F(PosixDeviceEventsTest, EventCharRaisesRxFlag) {
  ASSERT_EQ(Device.SetCommMask(EV_RXFLAG), 0);
  Pty.Send("ID200;");
  EXPECT_EQ(WaitUntilSeen(EV_RXFLAG), static_cast<std::uint32_t>(EV_RXFLAG));
}

TEST_F(PosixDeviceEventsTest, EightyPercentFullIsReported) {
  ASSERT_EQ(Device.SetupComm(20000, 10), 0);  // 80 percent is 16,000 bytes
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR | EV_RX80FULL), 0);
  // More than the kernel holds of a pseudo-terminal's input: sent while the queue pulls it in.
  auto Sending = std::async(std::launch::async, [this] { Pty.Send(std::string(15999, 'x')); });
  std::uint32_t Errors = 0, Queued = 0;
  for (int I = 0; I < 2500 && Queued < 15999; ++I) {
    ASSERT_EQ(Device.ClearCommError(Errors, Queued), 0);
    std::this_thread::sleep_for(2ms);
  }
  Sending.get();
  ASSERT_EQ(Queued, 15999u);
  EXPECT_EQ(WaitUntilSeen(EV_RXCHAR), static_cast<std::uint32_t>(EV_RXCHAR)) << "not yet 80%";
  Pty.Send("8");
  EXPECT_EQ(WaitUntilSeen(EV_RX80FULL) & EV_RX80FULL, static_cast<std::uint32_t>(EV_RX80FULL));
}

TEST_F(PosixDeviceEventsTest, WriteRaisesTxEmptyOncePtyHasTakenIt) {
  ASSERT_EQ(Device.SetCommMask(EV_TXEMPTY), 0);
  TOverlapped Overlapped;
  ASSERT_EQ(Device.WriteFile("ID;", 3, Overlapped), 0);
  EXPECT_EQ(WaitUntilSeen(EV_TXEMPTY), static_cast<std::uint32_t>(EV_TXEMPTY));
}

TEST_F(PosixDeviceEventsTest, BytesQueuedBeforeTheMaskAreAnnounced) {
  Pty.Send("early");
  std::uint32_t Errors = 0, Queued = 0;
  for (int I = 0; I < 2500 && Queued < 5; ++I) {
    ASSERT_EQ(Device.ClearCommError(Errors, Queued), 0);
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_EQ(Queued, 5u);
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR), 0);
  EXPECT_EQ(WaitUntilSeen(EV_RXCHAR), static_cast<std::uint32_t>(EV_RXCHAR));
}

TEST_F(PosixDeviceEventsTest, StopSignalEndsTheWaitPromptly) {
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR), 0);
  auto Wait = StartWait();
  EXPECT_EQ(Wait.wait_for(100ms), std::future_status::timeout);
  Stop.Set();
  ASSERT_EQ(Wait.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(Wait.get().Result, TWaitResult::Stopped);
}

TEST_F(PosixDeviceEventsTest, NewMaskEndsTheWaitWithNoEvents) {
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR), 0);
  auto Wait = StartWait();
  EXPECT_EQ(Wait.wait_for(100ms), std::future_status::timeout);
  ASSERT_EQ(Device.SetCommMask(0), 0);
  ASSERT_EQ(Wait.wait_for(10s), std::future_status::ready);
  const TWaitOutcome Outcome = Wait.get();
  EXPECT_EQ(Outcome.Result, TWaitResult::Event);
  EXPECT_EQ(Outcome.Mask, 0u);
}

TEST_F(PosixDeviceEventsTest, UnselectedEventsDoNotEndTheWait) {
  ASSERT_EQ(Device.SetCommMask(EV_RXFLAG), 0);
  auto Wait = StartWait();
  Pty.Send("no flag here");
  EXPECT_EQ(Wait.wait_for(300ms), std::future_status::timeout);
  Stop.Set();
  ASSERT_EQ(Wait.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(Wait.get().Result, TWaitResult::Stopped);
}

TEST_F(PosixDeviceEventsTest, FarEndHangingUpEndsTheWaitAsALostLineWithoutSpinning) {
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD), 0);
  EXPECT_EQ(Device.LineError(), 0);
  auto Wait = StartWait();
  std::this_thread::sleep_for(100ms);
  Pty.CloseMaster();
  ASSERT_EQ(Wait.wait_for(10s), std::future_status::ready);
  const TWaitOutcome Outcome = Wait.get();
  EXPECT_EQ(Outcome.Result, TWaitResult::LineLost);
  EXPECT_EQ(Device.LineError(), EIO);
  EXPECT_LT(Outcome.CpuSeconds, 1.0);
  auto Again = StartWait();
  ASSERT_EQ(Again.wait_for(10s), std::future_status::ready) << "a later wait ends too";
  EXPECT_EQ(Again.get().Result, TWaitResult::LineLost);
  // Closing forgets the loss with the descriptor.
  ASSERT_EQ(Device.Close(), 0);
  EXPECT_EQ(Device.LineError(), 0);
}

// A write that finds the line gone ends a wait in progress even if the wait had not seen it.
TEST_F(PosixDeviceEventsTest, AWriteToAHungUpLineEndsTheWaitAsALostLine) {
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR), 0);
  Pty.CloseMaster();
  TOverlapped Overlapped;
  EXPECT_EQ(Device.WriteFile("DI;", 3, Overlapped), EIO);
  EXPECT_EQ(Device.LineError(), EIO);
  auto Wait = StartWait();
  ASSERT_EQ(Wait.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(Wait.get().Result, TWaitResult::LineLost);
}

TEST_F(PosixDeviceEventsTest, CloseEndsAWaitInProgress) {
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR), 0);
  auto Wait = StartWait();
  std::this_thread::sleep_for(50ms);
  ASSERT_EQ(Device.Close(), 0);
  ASSERT_EQ(Wait.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(Wait.get().Result, TWaitResult::Failed);
}

TEST_F(PosixDeviceEventsTest, IdleWaitUsesNoProcessor) {
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RING | EV_RLSD), 0);
  auto Wait = StartWait();
  std::this_thread::sleep_for(500ms);
  Stop.Set();
  ASSERT_EQ(Wait.wait_for(10s), std::future_status::ready);
  const TWaitOutcome Outcome = Wait.get();
  EXPECT_EQ(Outcome.Result, TWaitResult::Stopped);
  EXPECT_LT(Outcome.CpuSeconds, 0.25) << "a wait that polls in a loop burns the processor";
}

}  // namespace
}  // namespace tolvane
