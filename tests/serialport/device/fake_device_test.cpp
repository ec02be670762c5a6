// The fake device is itself a tool other tests lean on: its event wait must block until told,
// and end for each documented reason.
#include "tests/support/fake_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>

#include "serialport/dispatch/stop_signal.h"

namespace tolvane {
namespace {

constexpr auto Generous = std::chrono::seconds(20);

class FakeDeviceWaitTest : public ::testing::Test {
 protected:
  FakeDeviceWaitTest() {
    Device.Open("/dev/fake");
    Device.SetCommMask(EV_RXCHAR | EV_ERR);
  }

  // Starts a wait on another thread once nothing is pending, and returns its outcome.
  std::future<std::pair<TWaitResult, std::uint32_t>> StartWait() {
    return std::async(std::launch::async, [this] {
      std::uint32_t Mask = 0;
      const TWaitResult Result = Device.WaitCommEvent(Mask, Stop);
      return std::make_pair(Result, Mask);
    });
  }

  TFakeDevice Device;
  TStopSignal Stop;
};

TEST_F(FakeDeviceWaitTest, RaisedEventsEndTheWaitWithTheSelectedBits) {
  auto Outcome = StartWait();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.RaiseEvents(EV_RING);  // not selected: dropped later, wakes nobody for good
  Device.RaiseEvents(EV_RXCHAR | EV_ERR);
  const auto [Result, Mask] = Outcome.get();
  EXPECT_EQ(Result, TWaitResult::Event);
  EXPECT_EQ(Mask, EV_RXCHAR | EV_ERR);
}

TEST_F(FakeDeviceWaitTest, EventsRaisedBeforeTheWaitAreReportedAtOnce) {
  Device.RaiseEvents(EV_ERR | EV_RING);
  std::uint32_t Mask = 0;
  EXPECT_EQ(Device.WaitCommEvent(Mask, Stop), TWaitResult::Event);
  EXPECT_EQ(Mask, EV_ERR);
}

TEST_F(FakeDeviceWaitTest, TheStopSignalEndsTheWait) {
  auto Outcome = StartWait();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Stop.Set();
  EXPECT_EQ(Outcome.get().first, TWaitResult::Stopped);
}

TEST_F(FakeDeviceWaitTest, AFailedWaitEndsTheWait) {
  auto Outcome = StartWait();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.FailWait();
  EXPECT_EQ(Outcome.get().first, TWaitResult::Failed);
}

TEST_F(FakeDeviceWaitTest, ClearingTheMaskEndsTheWaitWithNoEvents) {
  auto Outcome = StartWait();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.SetCommMask(0);
  const auto [Result, Mask] = Outcome.get();
  EXPECT_EQ(Result, TWaitResult::Event);
  EXPECT_EQ(Mask, 0u);
}

TEST(FakeDeviceTest, AClosedDeviceRefusesEveryCallWithEbadf) {
  TFakeDevice Device;
  std::uint32_t A = 0;
  std::uint32_t B = 0;
  TOverlapped Overlapped;
  char Buffer[2] = {};
  TStopSignal Stop;
  EXPECT_EQ(Device.SetupComm(8, 8), EBADF);
  EXPECT_EQ(Device.SetCommState(TDcb{}), EBADF);
  EXPECT_EQ(Device.WriteFile(Buffer, 2, Overlapped), EBADF);
  EXPECT_EQ(Device.ReadFile(Buffer, 2, Overlapped), EBADF);
  EXPECT_EQ(Device.ClearCommError(A, B), EBADF);
  EXPECT_EQ(Device.GetCommModemStatus(A), EBADF);
  EXPECT_EQ(Device.PurgeComm(PURGE_RXCLEAR), EBADF);
  EXPECT_EQ(Device.Close(), EBADF);
  EXPECT_EQ(Device.WaitCommEvent(A, Stop), TWaitResult::Failed);
  EXPECT_EQ(Device.Calls().size(), 9u);
}

TEST(FakeDeviceTest, FailuresComeOnceOrAlways) {
  TFakeDevice Device;
  Device.FailNext("Open", ENOENT);
  EXPECT_EQ(Device.Open("/a"), ENOENT);
  EXPECT_EQ(Device.Open("/a"), 0);
  EXPECT_EQ(Device.Open("/a"), EBUSY);
  Device.FailAlways("SetupComm", EINVAL);
  EXPECT_EQ(Device.SetupComm(1, 1), EINVAL);
  EXPECT_EQ(Device.SetupComm(1, 1), EINVAL);
  Device.ClearFailures();
  EXPECT_EQ(Device.SetupComm(1, 1), 0);
  EXPECT_EQ(Device.Calls(),
            (std::vector<std::string>{"Open /a", "Open /a", "Open /a", "SetupComm 1 1",
                                      "SetupComm 1 1", "SetupComm 1 1"}));
}

TEST(FakeDeviceTest, PurgeWithClearDiscardsTheInput) {
  TFakeDevice Device;
  Device.Open("/a");
  Device.InjectInput("abc");
  Device.PurgeComm(PURGE_TXABORT | PURGE_RXABORT);
  EXPECT_EQ(Device.InputQueued(), 3u);
  Device.PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR);
  EXPECT_EQ(Device.InputQueued(), 0u);
}

}  // namespace
}  // namespace tolvane
