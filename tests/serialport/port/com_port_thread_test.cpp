// The port with its event thread: what opening and closing do to the device, and the delivery
// of received bytes in each SyncMethod.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <future>
#include <mutex>
#include <thread>

#include "serialport/dispatch/com_dispatcher.h"
#include "serialport/port/com_port.h"
#include "tests/support/fake_device.h"
#include "tests/support/port_recorder.h"

namespace tolvane {
namespace {

using TCalls = std::vector<std::string>;
constexpr auto Generous = std::chrono::seconds(20);

class ComPortThreadTest : public ::testing::Test {
 protected:
  ComPortThreadTest() { Port.SetDispatcher(Dispatcher); }

  // The device calls without the event thread's waits, whose moment is not fixed.
  TCalls CallsWithoutWaits() const {
    TCalls Calls = Device.Calls();
    std::erase(Calls, "WaitCommEvent");
    return Calls;
  }

  TComDispatcher Dispatcher;
  TEventLog Log;
  TComLink Link;
  TComPort Port{nullptr};
  TFakeDevice& Device = InstallFakeDevice(Port);
};

TEST_F(ComPortThreadTest, TheThreadSelectsTheEventsAndDiscardsUnreadInputBeforeTheDeviceCloses) {
  Port.OpenPort();
  const TCalls Opening = CallsWithoutWaits();
  ASSERT_EQ(Opening.size(), 8u);
  EXPECT_EQ(Opening[4], "SetCommMask 1535");  // all ten events, before the line report
  EXPECT_EQ(Opening[5], "GetCommModemStatus");

  Device.InjectInput("unread");
  Device.ClearCalls();
  Port.ClosePort();
  EXPECT_EQ(CallsWithoutWaits(), (TCalls{"PurgeComm 3", "SetCommMask 0", "PurgeComm 8", "Close"}));
  EXPECT_EQ(Device.InputQueued(), 0u);
}

TEST_F(ComPortThreadTest, ThreadSyncDeliversReceivedBytesOnTheOwnerThread) {
  std::string Received;
  const std::thread::id Owner = std::this_thread::get_id();
  bool OnOwnerThread = false;
  Link.OnRxBuf = [&](TObject*, const void* Buffer, std::int32_t Count) {
    Received.append(static_cast<const char*>(Buffer), Count);
    OnOwnerThread = std::this_thread::get_id() == Owner;
  };
  Port.AttachLink(&Link);
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.InjectInput("ST001203200;");
  Device.RaiseEvents(EV_RXCHAR);
  Dispatcher.ServeUntil([&] { return Received.size() == 12; });
  EXPECT_EQ(Received, "ST001203200;");
  EXPECT_TRUE(OnOwnerThread);
  Port.ClosePort();
  EXPECT_FALSE(Port.Connected());
}

// While the owner thread delivers a busy line's bytes, the event thread goes on waiting on the
// device, so that what arrives meanwhile is taken in and carried by the next hand-over.
TEST_F(ComPortThreadTest, ThreadSyncWaitsOnTheDeviceWhileTheOwnerDeliversABusyLine) {
  const std::string Busy(1024, 'x');
  std::string Received;
  bool WaitedDuringDelivery = false;
  Link.OnRxBuf = [&](TObject*, const void* Buffer, std::int32_t Count) {
    Received.append(static_cast<const char*>(Buffer), Count);
    if (Received == Busy) {
      WaitedDuringDelivery = Device.WaitForWaiter(Generous);
      Device.InjectInput("ID200;");
      Device.RaiseEvents(EV_RXCHAR);
    }
  };
  Port.AttachLink(&Link);
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.InjectInput(Busy);
  Device.RaiseEvents(EV_RXCHAR);
  Dispatcher.ServeUntil([&] { return Received.size() == Busy.size() + 6; });
  EXPECT_TRUE(WaitedDuringDelivery);
  EXPECT_EQ(Received, Busy + "ID200;");
  Port.ClosePort();
}

// What the event thread hears while the owner thread delivers a busy line's bytes is delivered by
// the owner thread right after them, in the same hand-over.
TEST_F(ComPortThreadTest, WhatABusyLineBringsDuringADeliveryRidesOnTheSameHandOver) {
  const std::string Busy(1024, 'x');
  std::string Received;
  bool Heard = false;
  Link.OnRxBuf = [&](TObject*, const void* Buffer, std::int32_t Count) {
    Received.append(static_cast<const char*>(Buffer), Count);
    if (Received != Busy || !Device.WaitForWaiter(Generous)) return;
    const std::size_t Waits = Device.CallsNamed("WaitCommEvent").size();
    Device.InjectInput("ID200;");
    Device.RaiseEvents(EV_RXCHAR);
    // The event thread has heard the report once it waits again.
    const auto Deadline = std::chrono::steady_clock::now() + Generous;
    while (!(Heard = Device.CallsNamed("WaitCommEvent").size() > Waits) &&
           std::chrono::steady_clock::now() < Deadline) {
      std::this_thread::yield();
    }
  };
  Port.AttachLink(&Link);
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  const std::uint64_t QueuedBefore = Dispatcher.Counts().Queued;
  Device.InjectInput(Busy);
  Device.RaiseEvents(EV_RXCHAR);
  Dispatcher.ServeUntil([&] { return Received.size() == Busy.size() + 6; });
  EXPECT_TRUE(Heard);
  EXPECT_EQ(Received, Busy + "ID200;");
  EXPECT_EQ(Dispatcher.Counts().Queued - QueuedBefore, 1u);
  Port.ClosePort();
}

TEST_F(ComPortThreadTest, AHandlerMayCloseThePortDuringADelivery) {
  Port.OnRxBuf = [&](TObject*, const void*, std::int32_t) { Port.ClosePort(); };
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.InjectInput("x");
  Device.RaiseEvents(EV_RXCHAR | EV_RING);
  Dispatcher.ServeUntil([&] { return !Port.Connected(); });
  EXPECT_FALSE(Port.Connected());
  EXPECT_FALSE(Device.IsOpen());
  // The link still got the bytes read before the closing; the rest of the batch found the port
  // closed.
  EXPECT_EQ(std::ranges::count(Log, "L RxBuf x"), 1);
  EXPECT_EQ(std::ranges::count(Log, "L Ring"), 0);
}

// A delivery queued but not yet run when the port closes still runs (the last reply before a
// disconnect must reach its handler); a handler among them that closes the port too finds it
// already closing, so the close events fire once.
TEST_F(ComPortThreadTest, AHandlerClosingThePortWhileItClosesAddsNothing) {
  int BeforeClose = 0;
  int AfterClose = 0;
  int Rings = 0;
  Port.OnBeforeClose = [&](TObject*) { ++BeforeClose; };
  Port.OnAfterClose = [&](TObject*) { ++AfterClose; };
  Port.OnRing = [&](TObject*) {
    ++Rings;
    EXPECT_TRUE(Port.Connected());
    Port.ClosePort();
  };
  const auto WaitUntilQueued = [&](std::uint64_t Count) {
    const auto Deadline = std::chrono::steady_clock::now() + Generous;
    while (Dispatcher.Counts().Queued < Count && std::chrono::steady_clock::now() < Deadline) {
      std::this_thread::yield();
    }
    return Dispatcher.Counts().Queued >= Count;
  };
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  // Ahead of the delivery in the queue, closing first serves an item that holds the owner
  // thread until the event thread has ended its loop (which a withdrawn delivery lets it do at
  // once) or for a quarter of a second; either way the delivery is still queued behind it.
  std::thread Ahead([&] {
    Dispatcher.Synchronize([&] {
      const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
      while (std::ranges::count(Device.Calls(), "SetCommMask 0") == 0 &&
             std::chrono::steady_clock::now() < Deadline) {
        std::this_thread::yield();
      }
    });
  });
  ASSERT_TRUE(WaitUntilQueued(1));
  Device.RaiseEvents(EV_RING);
  ASSERT_TRUE(WaitUntilQueued(2));

  Port.ClosePort();
  Ahead.join();
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Rings, 1);
  EXPECT_EQ(BeforeClose, 1);
  EXPECT_EQ(AfterClose, 1);
}

// One message per event, in delivery order, all of one batch carried by one hand-over.
TEST_F(ComPortThreadTest, WindowSyncSendsOneMessagePerEventInDeliveryOrderInOneHandOver) {
  Port.SetSyncMethod(TSyncMethod::smWindowSync);
  RecordPortEvents(Port, Log);
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Log.clear();
  const std::uint64_t QueuedBefore = Dispatcher.Counts().Queued;
  Device.RaiseEvents(EV_RING | EV_RLSD);
  Dispatcher.ServeUntil([&] { return Log.size() >= 2; });
  EXPECT_EQ(Log, (TEventLog{"Ring", "RLSDChange false"}));
  EXPECT_EQ(Dispatcher.Counts().Queued - QueuedBefore, 1u);
  Port.ClosePort();
}

// A report of received data whose bytes an earlier delivery already took costs no hand-over:
// the event thread goes back to its wait without the owner thread, and the next report is
// delivered as ever.
TEST_F(ComPortThreadTest, AReceptionReportWithNothingQueuedIsNotHandedOver) {
  RecordPortEvents(Port, Log);
  for (const TSyncMethod Sync : {TSyncMethod::smThreadSync, TSyncMethod::smWindowSync}) {
    Port.SetSyncMethod(Sync);
    Port.OpenPort();
    ASSERT_TRUE(Device.WaitForWaiter(Generous));
    Log.clear();
    const std::uint64_t QueuedBefore = Dispatcher.Counts().Queued;
    const std::size_t WaitsBefore = Device.CallsNamed("WaitCommEvent").size();
    Device.RaiseEvents(EV_RXCHAR);
    const auto Deadline = std::chrono::steady_clock::now() + Generous;
    while (Device.CallsNamed("WaitCommEvent").size() == WaitsBefore &&
           std::chrono::steady_clock::now() < Deadline) {
      std::this_thread::yield();
    }
    ASSERT_GT(Device.CallsNamed("WaitCommEvent").size(), WaitsBefore);
    Device.RaiseEvents(EV_RING);
    Dispatcher.ServeUntil([&] { return !Log.empty(); });
    EXPECT_EQ(Log, (TEventLog{"Ring"}));
    EXPECT_EQ(Dispatcher.Counts().Queued - QueuedBefore, 1u);
    Port.ClosePort();
  }
}

TEST_F(ComPortThreadTest, WithoutSyncTheEventThreadRunsTheHandlers) {
  Port.SetSyncMethod(TSyncMethod::smNone);
  std::promise<std::pair<std::int32_t, std::thread::id>> Heard;
  Port.OnRxChar = [&Heard](TObject*, std::int32_t Count) {
    Heard.set_value({Count, std::this_thread::get_id()});
  };
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.InjectInput("abcd");
  Device.RaiseEvents(EV_RXCHAR);
  auto Result = Heard.get_future();
  ASSERT_EQ(Result.wait_for(Generous), std::future_status::ready);
  const auto [Count, Thread] = Result.get();
  EXPECT_EQ(Count, 4);
  EXPECT_NE(Thread, std::this_thread::get_id());
  Port.ClosePort();
}

TEST_F(ComPortThreadTest, AFailedDeliveryEndsTheThreadButClosingStillWorks) {
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.FailAlways("InputCount", EIO);
  Device.RaiseEvents(EV_RXCHAR);
  bool Ended = false;
  // The thread's clean-up purges with the clear flags once its loop has ended.
  Dispatcher.ServeUntil([&] {
    Ended = !Device.CallsNamed("PurgeComm").empty();
    return Ended;
  });
  EXPECT_TRUE(Ended);
  Port.ClosePort();
  EXPECT_FALSE(Port.Connected());
}

// A lost line reaches a link and then the port, once, on the thread SyncMethod names, after the
// events that came before it; the port stays open until the handler closes it.
class ComPortLineLostTest : public ComPortThreadTest,
                            public ::testing::WithParamInterface<TSyncMethod> {};

TEST_P(ComPortLineLostTest, TheLossIsHeardOnceAfterTheEventsBeforeIt) {
  Port.SetSyncMethod(GetParam());
  std::mutex Mutex;
  TEventLog Heard;
  std::vector<std::thread::id> Threads;
  const auto Note = [&](const std::string& What) {
    {
      std::lock_guard Lock(Mutex);
      Heard.push_back(What);
      Threads.push_back(std::this_thread::get_id());
    }
    Dispatcher.Notify();
  };
  Link.OnLineLost = [&](TObject*, std::int32_t Error) {
    Note("L LineLost " + std::to_string(Error));
  };
  Port.AttachLink(&Link);
  Port.OnRing = [&](TObject*) { Note("Ring"); };
  Port.OnLineLost = [&](TObject*, std::int32_t Error) {
    Note("LineLost " + std::to_string(Error));
  };
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.RaiseEvents(EV_RING);
  Device.LoseLine(ENXIO);
  const auto HeardCount = [&] {
    std::lock_guard Lock(Mutex);
    return Heard.size();
  };
  Dispatcher.ServeUntil(
      [&] { return HeardCount() >= 3 || !Device.CallsNamed("PurgeComm").empty(); });
  EXPECT_TRUE(Port.Connected());
  Port.ClosePort();  // the thread has ended: nothing can follow

  EXPECT_EQ(Heard, (TEventLog{"Ring", "L LineLost 6", "LineLost 6"}));
  const bool OnOwner = GetParam() != TSyncMethod::smNone;
  for (std::thread::id Thread : Threads) EXPECT_EQ(Thread == std::this_thread::get_id(), OnOwner);
}

INSTANTIATE_TEST_SUITE_P(EveryMode, ComPortLineLostTest,
                         ::testing::Values(TSyncMethod::smThreadSync, TSyncMethod::smWindowSync,
                                           TSyncMethod::smNone));

// A delivery that fails because the line is gone is the news of the loss, not a quiet end.
TEST_F(ComPortThreadTest, ADeliveryThatMeetsTheLostLineReportsTheLoss) {
  std::vector<std::int32_t> Lost;
  Port.OnLineLost = [&](TObject*, std::int32_t Error) { Lost.push_back(Error); };
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.FailAlways("GetCommModemStatus", ENODEV);
  Device.RaiseEvents(EV_CTS);
  Dispatcher.ServeUntil([&] { return !Lost.empty(); });
  Port.ClosePort();
  EXPECT_EQ(Lost, std::vector<std::int32_t>{ENODEV});
}

TEST_F(ComPortThreadTest, AWaitThatFailsForAnotherReasonEndsTheThreadQuietly) {
  bool Lost = false;
  Port.OnLineLost = [&](TObject*, std::int32_t) { Lost = true; };
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.FailWait();
  Dispatcher.ServeUntil([&] { return !Device.CallsNamed("PurgeComm").empty(); });
  Dispatcher.Drain();
  EXPECT_FALSE(Lost);
  EXPECT_TRUE(Port.Connected());
  Port.ClosePort();
}

// A handler that closes the port (as the main window's does) ends the thread it was called from.
TEST_F(ComPortThreadTest, TheLossHandlerMayCloseThePort) {
  int AfterClose = 0;
  Port.OnAfterClose = [&](TObject*) { ++AfterClose; };
  Port.OnLineLost = [&](TObject*, std::int32_t) { Port.ClosePort(); };
  Port.OpenPort();
  ASSERT_TRUE(Device.WaitForWaiter(Generous));
  Device.LoseLine(EIO);
  Dispatcher.ServeUntil([&] { return !Port.Connected(); });
  EXPECT_FALSE(Device.IsOpen());
  EXPECT_EQ(AfterClose, 1);
}

}  // namespace
}  // namespace tolvane
