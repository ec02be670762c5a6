#include "serialport/device/posix/posix_device_helper.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

namespace tolvane {
namespace {

using namespace std::chrono_literals;

// A body stuck in a blocking call that no descriptor of ours can wake, like tcdrain on a line
// held back by flow control.
struct TBlockedBody {
  int Pipe[2] = {-1, -1};
  std::atomic<bool> Stop{false};
  std::atomic<int> Interruptions{0};

  TBlockedBody() { EXPECT_EQ(pipe(Pipe), 0); }
  ~TBlockedBody() {
    close(Pipe[0]);
    close(Pipe[1]);
  }
  void Run() {
    while (!Stop) {
      char Byte;
      if (read(Pipe[0], &Byte, 1) < 0 && errno == EINTR) ++Interruptions;
    }
  }
};

TEST(InterruptibleThreadTest, StopInterruptsABlockingCall) {
  TBlockedBody Body;
  TInterruptibleThread Thread;
  ASSERT_EQ(Thread.Start([&] { Body.Run(); }), 0);
  std::this_thread::sleep_for(50ms);
  Body.Stop = true;
  auto Stopped = std::async(std::launch::async, [&] { Thread.StopAndJoin(); });
  ASSERT_EQ(Stopped.wait_for(20s), std::future_status::ready) << "the body never got EINTR";
  EXPECT_GE(Body.Interruptions.load(), 1);
}

TEST(InterruptibleThreadTest, InterruptGetsThroughWhenTheCreatorBlocksIt) {
  sigset_t Blocked, Old;
  sigemptyset(&Blocked);
  sigaddset(&Blocked, SIGURG);
  pthread_sigmask(SIG_BLOCK, &Blocked, &Old);
  TBlockedBody Body;
  TInterruptibleThread Thread;
  ASSERT_EQ(Thread.Start([&] { Body.Run(); }), 0);
  pthread_sigmask(SIG_SETMASK, &Old, nullptr);
  std::this_thread::sleep_for(50ms);  // let the body block in its call
  Body.Stop = true;
  auto Stopped = std::async(std::launch::async, [&] { Thread.StopAndJoin(); });
  ASSERT_EQ(Stopped.wait_for(20s), std::future_status::ready);
}

TEST(InterruptibleThreadTest, StopWithoutStartAndTwiceIsHarmless) {
  TInterruptibleThread Thread;
  Thread.StopAndJoin();
  std::atomic<bool> Ran{false};
  ASSERT_EQ(Thread.Start([&] { Ran = true; }), 0);
  Thread.StopAndJoin();
  Thread.StopAndJoin();
  EXPECT_TRUE(Ran);
}

}  // namespace
}  // namespace tolvane
