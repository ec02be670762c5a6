#include "serialport/dispatch/com_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "serialport/base/application_exception.h"
#include "serialport/dispatch/stop_signal.h"

namespace tolvane {
namespace {

TEST(ComDispatcherTest, SynchronizeRunsTheWorkOnTheOwnerThreadAndWaitsForIt) {
  TComDispatcher Dispatcher;
  std::atomic<bool> Returned{false};
  std::thread::id RanOn;
  std::thread Worker([&] {
    Dispatcher.Synchronize([&] { RanOn = std::this_thread::get_id(); });
    Returned = true;
    Dispatcher.Notify();
  });
  Dispatcher.ServeUntil([&] { return Returned.load(); });
  Worker.join();
  EXPECT_EQ(RanOn, std::this_thread::get_id());
}

TEST(ComDispatcherTest, SynchronizeCarriesTheExceptionBackToTheCaller) {
  TComDispatcher Dispatcher;
  std::atomic<bool> Returned{false};
  std::string Caught;
  std::thread Worker([&] {
    try {
      Dispatcher.Synchronize([] { throw std::runtime_error("from the owner"); });
    } catch (const std::runtime_error& Error) {
      Caught = Error.what();
    }
    Returned = true;
    Dispatcher.Notify();
  });
  Dispatcher.ServeUntil([&] { return Returned.load(); });
  Worker.join();
  EXPECT_EQ(Caught, "from the owner");
}

TEST(ComDispatcherTest, HandOverReturnsOnceTakenAndTheWorkRunsAfterwards) {
  TComDispatcher Dispatcher;
  std::atomic<int> Accepted{0};
  std::vector<int> Ran;
  std::thread Worker([&] {
    for (int I = 0; I < 3; ++I) {
      Dispatcher.HandOver([&Ran, I] { Ran.push_back(I); });
      ++Accepted;
      Dispatcher.Notify();
    }
  });
  Dispatcher.ServeUntil([&] { return Accepted.load() == 3; });
  Worker.join();
  Dispatcher.Drain();
  EXPECT_EQ(Ran, (std::vector<int>{0, 1, 2}));
}

TEST(ComDispatcherTest, AHandOverThatRaisesGoesToTheApplicationHandler) {
  TComDispatcher Dispatcher;
  std::string Reported;
  SetApplicationExceptionHandler([&](TObject*, std::exception_ptr Error) {
    try {
      std::rethrow_exception(Error);
    } catch (const std::exception& E) {
      Reported = E.what();
    }
  });
  std::atomic<bool> Returned{false};
  std::thread Worker([&] {
    Dispatcher.HandOver([] { throw std::runtime_error("step failed"); });
    Returned = true;
    Dispatcher.Notify();
  });
  Dispatcher.ServeUntil([&] { return Returned.load(); });
  Worker.join();
  SetApplicationExceptionHandler({});
  EXPECT_EQ(Reported, "step failed");
}

// A caller that gives up before its work was taken still leaves the work to the owner: the last
// delivery queued before a port closes must reach its handlers.
TEST(ComDispatcherTest, AnAbandonedSynchronizeStillRunsAndIsWaitedFor) {
  TComDispatcher Dispatcher;
  std::atomic<bool> Returned{false};
  bool Result = false;
  bool Ran = false;
  std::atomic<bool> Queued{false};
  Dispatcher.SetWakeUp([&] { Queued = true; });
  std::thread Worker([&] {
    Result = Dispatcher.Synchronize([&] { Ran = true; }, [] { return true; });
    Returned = true;
    Dispatcher.Notify();
  });
  // The caller has given up before the owner looks at the queue at all.
  while (!Queued) std::this_thread::yield();
  Dispatcher.ServeUntil([&] { return Returned.load(); });
  Worker.join();
  EXPECT_TRUE(Ran);
  EXPECT_TRUE(Result);
}

// The owner, once woken, drains all that is queued: items queued before it begins to drain ride
// on the one wake-up, and an item queued after the drain has begun brings a wake-up of its own.
TEST(ComDispatcherTest, WakeUpIsCalledOnceForAllItemsQueuedBeforeTheOwnerDrains) {
  TComDispatcher Dispatcher;
  std::atomic<int> WakeUps{0};
  Dispatcher.SetWakeUp([&] { ++WakeUps; });
  std::atomic<int> PastWakeUp{0};
  std::atomic<int> Returned{0};
  // The caller's Meanwhile runs once its wake-up, if any, has been called.
  const auto Caller = [&] {
    TStopSignal Finished;
    Dispatcher.SynchronizeMeanwhile([] {}, {}, nullptr, Finished,
                                    [&] {
                                      ++PastWakeUp;
                                      return false;
                                    });
    ++Returned;
    Dispatcher.Notify();
  };
  std::thread First(Caller);
  std::thread Second(Caller);
  while (PastWakeUp.load() < 2) std::this_thread::yield();
  EXPECT_EQ(WakeUps.load(), 1);
  Dispatcher.ServeUntil([&] { return Returned.load() == 2; });
  First.join();
  Second.join();

  std::thread Third(Caller);
  Dispatcher.ServeUntil([&] { return Returned.load() == 3; });
  Third.join();
  EXPECT_EQ(WakeUps.load(), 2);
  EXPECT_EQ(Dispatcher.Counts().OwnerWakeUps, 2u);
}

// Closing serves the deliveries still queued; one that has started is waited for, so the event
// thread cannot run its clean-up while a delivery still reads the device.
TEST(ComDispatcherTest, AStartedSynchronizeIsWaitedForEvenWhenAbandoned) {
  TComDispatcher Dispatcher;
  std::atomic<bool> Stop{false};
  std::atomic<bool> Returned{false};
  bool ReturnedWhileRunning = true;
  std::thread Worker([&] {
    Dispatcher.Synchronize(
        [&] {
          Stop = true;
          Dispatcher.Notify();
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          ReturnedWhileRunning = Returned.load();
        },
        [&] { return Stop.load(); });
    Returned = true;
    Dispatcher.Notify();
  });
  Dispatcher.ServeUntil([&] { return Returned.load(); });
  Worker.join();
  EXPECT_FALSE(ReturnedWhileRunning);
}

// A handler that closes the port waits for the event thread from inside the delivery that
// thread is waiting for; the thread must give up on it instead of both waiting forever.
TEST(ComDispatcherTest, AnOwnerWaitingFromInsideTheItemLetsItsCallerLeave) {
  TComDispatcher Dispatcher;
  std::atomic<bool> Stop{false};
  std::atomic<bool> Returned{false};
  bool Result = true;
  std::thread Worker([&] {
    Result = Dispatcher.Synchronize(
        [&] {
          Stop = true;
          Dispatcher.ServeUntil([&] { return Returned.load(); });
        },
        [&] { return Stop.load(); });
    Returned = true;
    Dispatcher.Notify();
  });
  Dispatcher.ServeUntil([&] { return Returned.load(); });
  Worker.join();
  EXPECT_FALSE(Result);
}

}  // namespace
}  // namespace tolvane
