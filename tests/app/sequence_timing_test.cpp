// The sequencer paced by the window's real 100 ms timer on a real pseudo-terminal: the far end
// timestamps what arrives. Only generous bounds are asserted; the measured figures are printed.
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "main_window_fixture.h"
#include "tests/support/pty_pair.h"

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t ReadRequestLength = 6;   // "ST0012"
constexpr std::size_t WritePacketLength = 11;  // "ST001203200"

// Reads the master side on its own thread and notes when each register packet arrived.
class TTimestampingFarEnd {
 public:
  explicit TTimestampingFarEnd(int MasterFd) : Thread_([this, MasterFd] { Run(MasterFd); }) {}
  ~TTimestampingFarEnd() {
    Stop_ = true;
    Thread_.join();
  }

  // The arrival times of the register packets of this length (without the ";").
  std::vector<Clock::time_point> Arrivals(std::size_t PacketLength) {
    std::lock_guard Lock(Mutex_);
    std::vector<Clock::time_point> Times;
    for (const auto& [Time, Length] : Registers_) {
      if (Length == PacketLength) Times.push_back(Time);
    }
    return Times;
  }

 private:
  void Run(int MasterFd) {
    std::string Pending;
    while (!Stop_) {
      pollfd Readable{MasterFd, POLLIN, 0};
      if (poll(&Readable, 1, 20) <= 0) continue;
      char Chunk[256];
      const ssize_t Count = read(MasterFd, Chunk, sizeof Chunk);
      if (Count <= 0) continue;
      const Clock::time_point Now = Clock::now();
      Pending.append(Chunk, static_cast<std::size_t>(Count));
      for (std::size_t End; (End = Pending.find(';')) != std::string::npos;) {
        const std::string Packet = Pending.substr(0, End);
        Pending.erase(0, End + 1);
        if (Packet.starts_with("ST")) {
          std::lock_guard Lock(Mutex_);
          Registers_.emplace_back(Now, Packet.size());
        }
      }
    }
  }

  std::atomic<bool> Stop_{false};
  std::mutex Mutex_;
  std::vector<std::pair<Clock::time_point, std::size_t>> Registers_;
  std::thread Thread_;
};

class SequenceTiming : public MainWindowTest {
 protected:
  SequenceTiming() { Form->ComPort().SetPort(Controller.SlavePath()); }

  // Connects and lets the controller's identification arrive, as the packet reaction hears it.
  void ConnectAndIdentify() {
    Find<QToolButton>("Button_Open")->click();
    ASSERT_TRUE(Form->ComPort().Connected());
    Form->ComDataPacket1Packet(nullptr, "ID200");
  }

  test::TPtyPair Controller;
};

// Lets the window run until eleven packets of the length have arrived; returns the gaps
// between them in milliseconds, printed as min, median and max after Label.
std::vector<double> SpacingOfEleven(TTimestampingFarEnd& FarEnd, std::size_t PacketLength,
                                    const char* Label) {
  const Clock::time_point Deadline = Clock::now() + std::chrono::seconds(10);
  while (FarEnd.Arrivals(PacketLength).size() < 11 && Clock::now() < Deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  const std::vector<Clock::time_point> Arrivals = FarEnd.Arrivals(PacketLength);
  EXPECT_EQ(Arrivals.size(), 11u);
  std::vector<double> GapsMs;
  for (std::size_t I = 1; I < Arrivals.size(); ++I) {
    GapsMs.push_back(
        std::chrono::duration<double, std::milli>(Arrivals[I] - Arrivals[I - 1]).count());
  }
  if (GapsMs.empty()) return GapsMs;
  std::vector<double> Sorted = GapsMs;
  std::sort(Sorted.begin(), Sorted.end());
  std::printf("%s spacing: min %.1f ms, median %.1f ms, max %.1f ms\n", Label, Sorted.front(),
              Sorted[Sorted.size() / 2], Sorted.back());
  return GapsMs;
}

TEST_F(SequenceTiming, ReadRequestsGoOutOnePerTimerTick) {
  ConnectAndIdentify();
  TTimestampingFarEnd FarEnd(Controller.MasterFd());
  Find<QToolButton>("Button6")->click();

  for (double Gap : SpacingOfEleven(FarEnd, ReadRequestLength, "read request")) {
    EXPECT_GT(Gap, 30.0);  // never two requests in one tick
    EXPECT_LT(Gap, 1000.0);
  }
}

// Write saves the settings file before the first register goes out. The save must be short
// enough not to hold a tick back until the next one is due: a save that did (many fsyncs on
// the window's thread) sent the first registers 10-30 ms apart.
TEST_F(SequenceTiming, RegisterWritesLeaveOnePerTimerTickAfterTheSave) {
  ConnectAndIdentify();
  ReadTheController();  // the backup before the Write is then made from these values
  TTimestampingFarEnd FarEnd(Controller.MasterFd());
  // Pressed just before a tick is due, where a long save holds that tick back the most.
  while (Form->Status->remainingTime() > 5) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  QElapsedTimer Press;
  Press.start();
  Find<QToolButton>("Button7")->click();
  std::printf("Write press, settings file saved: %.1f ms\n", Press.nsecsElapsed() / 1e6);

  for (double Gap : SpacingOfEleven(FarEnd, WritePacketLength, "register write")) {
    EXPECT_GT(Gap, 50.0);
    EXPECT_LT(Gap, 1000.0);
  }
  EXPECT_TRUE(Messages.Boxes.empty());
}

// A far end that reads nothing fills the line; a tick's write then ends at the write time-out
// (100 ms per byte plus 1000 ms for "ID;") instead of holding the window indefinitely.
TEST_F(SequenceTiming, ATickOnAStalledLineEndsWithinTheWriteTimeout) {
  Find<QToolButton>("Button_Open")->click();
  ASSERT_TRUE(Form->ComPort().Connected());
  TComTimeouts Filling;
  Filling.SetWriteTotalMultiplier(0);
  Filling.SetWriteTotalConstant(200);
  const TComTimeouts Defaults = Form->ComPort().Timeouts();
  Form->ComPort().SetTimeouts(Filling);
  while (Form->ComPort().WriteString(std::string(4096, 'x')) == 4096) {
  }
  Form->ComPort().SetTimeouts(Defaults);

  QElapsedTimer Tick;
  Tick.start();
  Form->StatusTimer();  // identification is pending: the tick writes "ID;"
  const qint64 TookMs = Tick.elapsed();
  std::printf("tick on a stalled line: %lld ms (write time-out 1300 ms)\n",
              static_cast<long long>(TookMs));
  EXPECT_LT(TookMs, 5000);
  EXPECT_TRUE(Messages.Boxes.empty());  // a short write is no error
}

}  // namespace
}  // namespace tolvane
