// The port, its event thread, the tty device and the packet assembler together on a
// pseudo-terminal whose master plays the far end: delivery in each SyncMethod, closing under
// load, many open/close cycles, and a far end that hangs up.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "serialport/dispatch/com_dispatcher.h"
#include "serialport/packet/com_data_packet.h"
#include "serialport/port/com_port.h"
#include "tests/support/port_recorder.h"
#include "tests/support/pty_pair.h"

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

std::size_t EntriesIn(const char* Directory) {
  std::size_t Count = 0;
  DIR* Dir = opendir(Directory);
  while (dirent* Entry = readdir(Dir)) {
    if (Entry->d_name[0] != '.') ++Count;
  }
  closedir(Dir);
  return Count;
}

double ProcessCpuSeconds() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
         static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

struct TReceived {
  std::mutex Mutex;
  std::vector<std::string> Packets;
  std::vector<std::thread::id> Threads;

  std::size_t Count() {
    std::lock_guard Lock(Mutex);
    return Packets.size();
  }
};

class ComPortLifecycleTest : public ::testing::Test {
 protected:
  ComPortLifecycleTest() {
    Port.SetDispatcher(Dispatcher);
    Port.SetPort(Pty.SlavePath());
    Assembler.SetComPort(&Port);
    Assembler.SetStopString(";");
    Assembler.OnPacket = [this](TObject*, const std::string& Str) {
      {
        std::lock_guard Lock(Received.Mutex);
        Received.Packets.push_back(Str);
        Received.Threads.push_back(std::this_thread::get_id());
      }
      Dispatcher.Notify();  // the owner may be waiting for packets delivered on another thread
    };
  }

  // The far end sends "ST001203200;" over and over until Stop is set. Non-blocking: once the
  // port is closed nobody drains the line, and the flood must end.
  void FloodUntil(const std::atomic<bool>& Stop) {
    std::string Chunk;
    for (int I = 0; I < 100; ++I) Chunk += "ST001203200;";
    std::size_t Offset = 0;
    while (!Stop) {
      const ssize_t Written = write(Pty.MasterFd(), Chunk.data() + Offset, Chunk.size() - Offset);
      if (Written > 0) {
        Offset = (Offset + static_cast<std::size_t>(Written)) % Chunk.size();
      } else {
        pollfd Poll{Pty.MasterFd(), POLLOUT, 0};
        poll(&Poll, 1, 10);
      }
    }
  }

  // Serves deliveries until Count packets have arrived or a generous deadline has passed.
  bool ServeUntilPackets(std::size_t Count) {
    return ServeUntil([this, Count] { return Received.Count() >= Count; });
  }

  // Serves deliveries until Done() holds or a generous deadline has passed; Done is looked at
  // whenever the dispatcher is notified, and by a watchdog that only ends a hanging wait.
  bool ServeUntil(const std::function<bool()>& Done) {
    const Clock::time_point Deadline = Clock::now() + std::chrono::seconds(20);
    std::atomic<bool> TimedOut{false};
    std::thread Watchdog([&] {
      while (!Done() && Clock::now() < Deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      TimedOut = !Done();
      Dispatcher.Notify();
    });
    Dispatcher.ServeUntil([&] { return Done() || Clock::now() >= Deadline; });
    Watchdog.join();
    return !TimedOut;
  }

  test::TPtyPair Pty;
  TComDispatcher Dispatcher;
  TReceived Received;
  TComPort Port{nullptr};
  TComDataPacket Assembler{nullptr};
};

class ComPortSyncModeTest : public ComPortLifecycleTest,
                            public ::testing::WithParamInterface<TSyncMethod> {};

TEST_P(ComPortSyncModeTest, PacketsSplitAndMergedAcrossReadsReachOnPacketOnTheRightThread) {
  Port.SetSyncMethod(GetParam());
  Port.OpenPort();
  Pty.Send("ID200;ST0012");
  ASSERT_TRUE(ServeUntilPackets(1));
  Pty.Send("03200;;ST00");
  Pty.Send("14");
  Pty.Send("00999;");
  ASSERT_TRUE(ServeUntilPackets(4));
  Port.ClosePort();

  EXPECT_EQ(Received.Packets,
            (std::vector<std::string>{"ID200", "ST001203200", "", "ST001400999"}));
  const bool OnOwner = GetParam() != TSyncMethod::smNone;
  for (std::thread::id Thread : Received.Threads) {
    EXPECT_EQ(Thread == std::this_thread::get_id(), OnOwner);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryMode, ComPortSyncModeTest,
                         ::testing::Values(TSyncMethod::smThreadSync, TSyncMethod::smWindowSync,
                                           TSyncMethod::smNone));

TEST_F(ComPortLifecycleTest, ClosingWhileTheFarEndFloodsReturnsPromptlyWithWholePackets) {
  Port.OpenPort();
  std::atomic<bool> StopFlood{false};
  std::thread Flood([&] { FloodUntil(StopFlood); });
  ASSERT_TRUE(ServeUntilPackets(2000));
  const Clock::time_point Start = Clock::now();
  Port.ClosePort();
  const auto Took = Clock::now() - Start;
  StopFlood = true;
  Flood.join();

  EXPECT_FALSE(Port.Connected());
  EXPECT_LT(Took, std::chrono::seconds(5));
  std::lock_guard Lock(Received.Mutex);
  for (std::size_t I = 0; I < Received.Packets.size(); ++I) {
    ASSERT_EQ(Received.Packets[I], "ST001203200")
        << "packet " << I << " of " << Received.Packets.size();
  }
}

TEST_F(ComPortLifecycleTest, OpeningAndClosingAThousandTimesLeavesNoDescriptorOrThread) {
  // One cycle first: a sanitizer's runtime starts its own helper thread with the first thread.
  Port.OpenPort();
  Port.ClosePort();
  const std::size_t Descriptors = EntriesIn("/proc/self/fd");
  const std::size_t Threads = EntriesIn("/proc/self/task");
  for (int Cycle = 0; Cycle < 1000; ++Cycle) {
    Port.OpenPort();
    Port.ClosePort();
  }
  EXPECT_EQ(EntriesIn("/proc/self/fd"), Descriptors);
  EXPECT_EQ(EntriesIn("/proc/self/task"), Threads);
  // The port still works afterwards.
  Port.OpenPort();
  Pty.Send("ID200;");
  EXPECT_TRUE(ServeUntilPackets(1));
  Port.ClosePort();
}

TEST_F(ComPortLifecycleTest, AFarEndThatHangsUpLeavesNoSpinningLoopAndThePortCloses) {
  Port.OpenPort();
  Pty.CloseMaster();
  const double CpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Dispatcher.Drain();
  const double Cpu = ProcessCpuSeconds() - CpuBefore;
  EXPECT_LT(Cpu, 0.25) << "the event loop spins after the hang-up";
  EXPECT_NO_THROW(Port.ClosePort());
  EXPECT_FALSE(Port.Connected());
}

// When the far end goes away the port tells its owner once, lets the line go on ClosePort and
// opens the next line as if nothing had happened.
enum class TLossMoment { Idle, DuringFlood, DuringBlockedWrite };

std::string MomentName(const ::testing::TestParamInfo<TLossMoment>& Info) {
  constexpr const char* Names[] = {"Idle", "DuringFlood", "DuringBlockedWrite"};
  return Names[static_cast<int>(Info.param)];
}

// Whether Thread sleeps in poll(), by the kernel's name for where it sleeps.
bool SleepsInPoll(pid_t Thread) {
  std::ifstream Wchan("/proc/self/task/" + std::to_string(Thread) + "/wchan");
  std::string Where;
  Wchan >> Where;
  return Where.find("poll") != std::string::npos;
}

class ComPortLineLossTest : public ComPortLifecycleTest,
                            public ::testing::WithParamInterface<TLossMoment> {
 protected:
  ComPortLineLossTest() {
    Port.OnLineLost = [this](TObject*, std::int32_t Error) {
      HeardAt = Clock::now().time_since_epoch().count();
      HeardError = Error;
      ++Heard;
      Dispatcher.Notify();
    };
  }

  // The far end floods the line and, once packets are flowing, hangs up in the middle of it.
  void LoseTheLineDuringAFlood() {
    std::atomic<bool> HangUp{false};
    std::thread Flood([&] {
      FloodUntil(HangUp);
      LostAt = Clock::now().time_since_epoch().count();
      Pty.CloseMaster();
    });
    const bool Flowing = ServeUntilPackets(500);
    HangUp = true;
    ServeUntil([this] { return Heard > 0; });
    Flood.join();
    ASSERT_TRUE(Flowing);
  }

  // The far end reads nothing, so a write without a time-out blocks; then it hangs up.
  void LoseTheLineDuringABlockedWrite() {
    TComTimeouts NoLimit;
    NoLimit.SetWriteTotalMultiplier(0);
    NoLimit.SetWriteTotalConstant(0);
    Port.SetTimeouts(NoLimit);
    const pid_t Writer = gettid();
    std::thread FarEnd([&] {
      const Clock::time_point Bound = Clock::now() + std::chrono::seconds(20);
      int Pending = 0;
      while (Clock::now() < Bound && !(ioctl(Pty.MasterFd(), FIONREAD, &Pending) == 0 &&
                                       Pending > 0 && SleepsInPoll(Writer))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      LostAt = Clock::now().time_since_epoch().count();
      Pty.CloseMaster();
    });
    const EComPort Error =
        CatchComPortError([this] { Port.WriteString(std::string(1 << 20, 'x')); });
    FarEnd.join();
    EXPECT_EQ(Error.ErrorNumber(), 2);
    EXPECT_EQ(Error.SystemErrorCode(), EIO);
  }

  std::atomic<int> Heard{0};
  std::atomic<int> HeardError{0};
  std::atomic<Clock::rep> HeardAt{0};
  std::atomic<Clock::rep> LostAt{0};
};

TEST_P(ComPortLineLossTest, TheOwnerHearsOnceThenClosesAndOpensTheNextLine) {
  test::TPtyPair Next;  // the line as it comes back, under a name of its own
  // One cycle first: a sanitizer's runtime starts its own helper thread with the first thread.
  Port.OpenPort();
  Port.ClosePort();
  const std::size_t Descriptors = EntriesIn("/proc/self/fd");
  const std::size_t Threads = EntriesIn("/proc/self/task");

  Port.OpenPort();
  switch (GetParam()) {
    case TLossMoment::Idle:
      LostAt = Clock::now().time_since_epoch().count();
      Pty.CloseMaster();
      break;
    case TLossMoment::DuringFlood:
      LoseTheLineDuringAFlood();
      break;
    case TLossMoment::DuringBlockedWrite:
      LoseTheLineDuringABlockedWrite();
      break;
  }
  ASSERT_TRUE(ServeUntil([this] { return Heard > 0; }));
  EXPECT_TRUE(Port.Connected()) << "the handler decides when to close";
  const Clock::time_point Closing = Clock::now();
  Port.ClosePort();
  const auto HeardAfter = Clock::duration(HeardAt - LostAt);
  std::printf("line lost %s: heard after %.2f ms, ClosePort took %.2f ms\n",
              MomentName({GetParam(), 0}).c_str(),
              std::chrono::duration<double, std::milli>(HeardAfter).count(),
              std::chrono::duration<double, std::milli>(Clock::now() - Closing).count());
  RecordProperty(
      "HeardAfterMicroseconds",
      static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(HeardAfter).count()));
  EXPECT_EQ(Heard, 1);
  EXPECT_EQ(HeardError, EIO);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(EntriesIn("/proc/self/fd"), Descriptors - 1) << "only the far end's master is gone";
  EXPECT_EQ(EntriesIn("/proc/self/task"), Threads);

  const std::size_t Before = Received.Count();
  Port.SetPort(Next.SlavePath());
  Port.OpenPort();
  Next.Send("ID200;");
  EXPECT_TRUE(ServeUntilPackets(Before + 1));
  Port.ClosePort();
  EXPECT_EQ(Heard, 1);
  EXPECT_EQ(EntriesIn("/proc/self/fd"), Descriptors - 1);
  EXPECT_EQ(EntriesIn("/proc/self/task"), Threads);
}

INSTANTIATE_TEST_SUITE_P(EveryMoment, ComPortLineLossTest,
                         ::testing::Values(TLossMoment::Idle, TLossMoment::DuringFlood,
                                           TLossMoment::DuringBlockedWrite),
                         MomentName);

}  // namespace
}  // namespace tolvane
