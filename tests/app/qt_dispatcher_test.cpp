#include "app/qt_dispatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <thread>

#include "serialport/dispatch/com_dispatcher.h"

namespace tolvane {
namespace {

TEST(QtDispatcher, RunsWorkOfAnotherThreadOnTheGuiThreadFromTheEventLoop) {
  TComDispatcher Dispatcher;
  BindDispatcherToQt(Dispatcher);
  std::thread::id RanOn;
  std::atomic<bool> Done = false;

  std::thread EventThread([&] {
    Dispatcher.Synchronize([&] { RanOn = std::this_thread::get_id(); });
    Done = true;
  });
  // Only the event loop drains the dispatcher here; the queued call wakes it.
  while (RanOn == std::thread::id()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EventThread.join();

  EXPECT_EQ(RanOn, std::this_thread::get_id());
  EXPECT_TRUE(Done);
}

}  // namespace
}  // namespace tolvane
