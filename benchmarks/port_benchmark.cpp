// Measures the port as the main window uses it: default settings, thread-sync delivery through a
// real Qt event loop, the packet assembler with the stop string ";", all on a pseudo-terminal
// whose master plays the far end. Absolute times follow the machine, so every figure is also
// given as a ratio to floors measured in the same run on a pseudo-terminal of their own:
//   - "bare echo": one thread in a blocking read()/write() loop, one wake-up per packet;
//   - "architecture floor": a thread waits with poll() and hands the event through the Qt loop
//     to the GUI thread, which reads the bytes and writes the reply: the least an event thread
//     with thread-sync delivery allows.
// Prints, does not judge:
//   - the round trip from the far end writing a packet to it reading the answer that the
//     OnPacket handler writes back (median and 99th percentile), with the context switches,
//     system calls and heap allocations per round trip on the port's side (not the far end's);
//   - the receive throughput of a flood of 12-byte and of 200-byte packets, every packet
//     counted, with the port in each SyncMethod against a bare read loop that splits on ";" on
//     the same pseudo-terminal, in five interleaved rounds, with what each spends per 1000
//     packets (processor time, context switches, reads or deliveries, hand-overs and wake-ups);
//   - the assembler's own throughput for both sizes, against a bare memchr pass over the same
//     bytes;
//   - the processor time of the process while the port is open and silent;
//   - the cost of one empty hand-over from another thread to the Qt loop and back;
//   - the same round trip with the port reaching its pseudo-terminal through ser2net on
//     loopback (RFC 2217, chardelay off), against the port on a pseudo-terminal of its own
//     (skipped, and said so, where ser2net is not installed).
// Run it from an optimised build: cmake --preset release && cmake --build --preset release
// && build-release/benchmarks/port_benchmark [roundtrip] [flood] [assembler] [idle] [handover]
// [remote]
// With --short every measurement runs a hundredth of its work (CI's smoke run): the figures are
// then too few to mean anything. --flood-partner=bare|threadsync|windowsync|none runs the flood
// with that partner alone, for counting its system calls from outside (strace -c -f).
// --flood-rounds=N splits the flood's volume into N rounds instead of five: on a machine whose
// load changes from second to second, shorter rounds pair the partners more closely in time,
// and more of them steady the median.
#include <fcntl.h>
#include <linux/futex.h>
#include <linux/perf_event.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/qt_dispatcher.h"
#include "serialport/dispatch/com_dispatcher.h"
#include "serialport/packet/com_data_packet.h"
#include "serialport/port/com_port.h"
#include "tests/support/ser2net_server.h"
#include "tests/support/temp_directory.h"

// --- Counting heap allocations (every thread of the process) ---

namespace {
std::atomic<long long> AllocationCount{0};

void* CountedAllocation(std::size_t Size) {
  AllocationCount.fetch_add(1, std::memory_order_relaxed);
  if (void* Block = std::malloc(Size == 0 ? 1 : Size)) return Block;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t Size) {
  return CountedAllocation(Size);
}
void* operator new[](std::size_t Size) {
  return CountedAllocation(Size);
}
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept {
  AllocationCount.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(Size == 0 ? 1 : Size);
}
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept {
  AllocationCount.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(Size == 0 ? 1 : Size);
}
void operator delete(void* Block) noexcept {
  std::free(Block);
}
void operator delete[](void* Block) noexcept {
  std::free(Block);
}
void operator delete(void* Block, std::size_t) noexcept {
  std::free(Block);
}
void operator delete[](void* Block, std::size_t) noexcept {
  std::free(Block);
}

namespace {

using Clock = std::chrono::steady_clock;
using tolvane::TComDataPacket;
using tolvane::TComPort;
using tolvane::TObject;

// How much each measurement does.
struct TWork {
  int RoundTrips;
  int HandOvers;
  int FloodPackets;
  int AssemblerChunks;
  int IdleMilliseconds;
};
constexpr TWork FullWork = {5000, 20000, 4000000, 25000, 5000};
constexpr TWork ShortWork = {50, 200, 20000, 250, 50};
TWork Work = FullWork;
std::string FloodPartnerOnly;  // empty: every partner
int FloodRounds = 5;
constexpr const char* Packet = "ST001203200;";  // 12 bytes, a controller reply
constexpr std::size_t PacketSize = 12;
constexpr char Reply[] = "OK;";
constexpr char EndOfRun = 'X';  // tells a floor's echo thread to stop

// --- Counting system calls and context switches ---

// Counts the system calls of the calling thread and of every thread it creates afterwards, or
// of the calling thread alone; not available without access to the kernel's trace points.
class TSyscallCounter {
 public:
  explicit TSyscallCounter(bool WithLaterThreads) {
    std::ifstream IdFile("/sys/kernel/tracing/events/raw_syscalls/sys_enter/id");
    if (!IdFile) IdFile.open("/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id");
    unsigned long long Id = 0;
    if (!(IdFile >> Id)) return;
    perf_event_attr Attr{};
    Attr.type = PERF_TYPE_TRACEPOINT;
    Attr.size = sizeof Attr;
    Attr.config = Id;
    Attr.inherit = WithLaterThreads ? 1 : 0;
    Attr.exclude_kernel = 0;
    Fd_ = static_cast<int>(syscall(SYS_perf_event_open, &Attr, 0, -1, -1, PERF_FLAG_FD_CLOEXEC));
  }
  ~TSyscallCounter() {
    if (Fd_ >= 0) close(Fd_);
  }
  TSyscallCounter(const TSyscallCounter&) = delete;
  TSyscallCounter& operator=(const TSyscallCounter&) = delete;
  bool Available() const { return Fd_ >= 0; }
  long long Read() const {
    long long Count = 0;
    if (Fd_ < 0 || read(Fd_, &Count, sizeof Count) != sizeof Count) return 0;
    return Count;
  }

 private:
  int Fd_ = -1;
};

TSyscallCounter* ProcessSyscalls = nullptr;  // opened in main before any thread exists

long long VoluntarySwitches(int Who) {
  rusage Usage{};
  getrusage(Who, &Usage);
  return Usage.ru_nvcsw;
}

// Counters of the whole process, of which the far end's thread takes its own share out.
struct TCounts {
  long long Switches = 0;
  long long Syscalls = 0;
  long long Allocations = 0;

  static TCounts OfProcess() {
    return {VoluntarySwitches(RUSAGE_SELF), ProcessSyscalls ? ProcessSyscalls->Read() : 0,
            AllocationCount.load()};
  }
  TCounts& operator+=(const TCounts& Other) {
    Switches += Other.Switches;
    Syscalls += Other.Syscalls;
    Allocations += Other.Allocations;
    return *this;
  }
  TCounts operator-(const TCounts& Other) const {
    return {Switches - Other.Switches, Syscalls - Other.Syscalls, Allocations - Other.Allocations};
  }
};

// Runs on the far end's thread: what that thread spent, to leave out of the port's figures.
class TFarEndShare {
 public:
  TFarEndShare() : Switches_(VoluntarySwitches(RUSAGE_THREAD)), Syscalls_(Counter_.Read()) {}
  TCounts Spent() const {
    return {VoluntarySwitches(RUSAGE_THREAD) - Switches_, Counter_.Read() - Syscalls_, 0};
  }

 private:
  TSyscallCounter Counter_{false};
  long long Switches_;
  long long Syscalls_;
};

// --- The far end ---

class TFarEnd {
 public:
  TFarEnd() {
    char Name[256] = {};
    if (openpty(&Master_, &Slave_, Name, nullptr, nullptr) != 0)
      throw std::runtime_error("openpty");
    SlavePath_ = Name;
  }
  ~TFarEnd() {
    close(Master_);
    close(Slave_);
  }
  const std::string& SlavePath() const { return SlavePath_; }
  // The slave end for a floor, in raw mode like the port's.
  int OpenRawSlave() const {
    const int Fd = open(SlavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios Settings{};
    tcgetattr(Fd, &Settings);
    cfmakeraw(&Settings);
    tcsetattr(Fd, TCSANOW, &Settings);
    return Fd;
  }

  void Send(const char* Bytes, std::size_t Count) const {
    while (Count > 0) {
      const ssize_t Written = write(Master_, Bytes, Count);
      if (Written < 0) throw std::runtime_error("write to the pty master failed");
      Bytes += Written;
      Count -= static_cast<std::size_t>(Written);
    }
  }
  // Reads until the stop character has arrived.
  void ReceiveUntil(char Stop) const {
    char Buffer[256];
    for (;;) {
      const ssize_t Read = read(Master_, Buffer, sizeof Buffer);
      if (Read <= 0) throw std::runtime_error("read from the pty master failed");
      if (std::find(Buffer, Buffer + Read, Stop) != Buffer + Read) return;
    }
  }

 private:
  int Master_ = -1;
  int Slave_ = -1;  // kept open so the line never hangs up between our opens
  std::string SlavePath_;
};

double Seconds(Clock::duration Duration) {
  return std::chrono::duration<double>(Duration).count();
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

double ProcessCpuSeconds() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
         static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

void QuitFromAnyThread() {
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                            Qt::QueuedConnection);
}

// --- Round trips ---

struct TRoundTrips {
  std::vector<double> Micros;
  TCounts PerTrip;  // summed; divided by the count when printed

  double Median() const { return Micros[Micros.size() / 2]; }
  double P99() const { return Micros[Micros.size() * 99 / 100]; }
};

// The far end's part of the round trip measurement: for each answerer's far end in turn, a
// block of trips (send a packet, wait for the reply), until each had Work.RoundTrips of them. The
// blocks alternate so that the machine's drift (other work on it) falls on all alike. The main
// thread runs the Qt loop meanwhile, for the answerers that need it.
std::vector<TRoundTrips> TimeRoundTrips(const std::vector<const TFarEnd*>& FarEnds) {
  const int Block = std::min(250, Work.RoundTrips);
  constexpr int WarmUp = 100;  // first-use allocations and cold caches stay out of the figures
  std::vector<TRoundTrips> Results(FarEnds.size());
  for (TRoundTrips& Result : Results) Result.Micros.reserve(Work.RoundTrips);
  std::thread Far([&] {
    for (const TFarEnd* FarEnd : FarEnds) {
      for (int I = 0; I < WarmUp; ++I) {
        FarEnd->Send(Packet, PacketSize);
        FarEnd->ReceiveUntil(';');
      }
    }
    const TFarEndShare Share;
    for (int Done = 0; Done < Work.RoundTrips; Done += Block) {
      for (std::size_t Index = 0; Index < FarEnds.size(); ++Index) {
        const TFarEnd& FarEnd = *FarEnds[Index];
        TRoundTrips& Result = Results[Index];
        const TCounts Before = TCounts::OfProcess();
        const TCounts FarBefore = Share.Spent();
        for (int I = 0; I < Block; ++I) {
          const Clock::time_point Start = Clock::now();
          FarEnd.Send(Packet, PacketSize);
          FarEnd.ReceiveUntil(';');
          Result.Micros.push_back(Seconds(Clock::now() - Start) * 1e6);
        }
        Result.PerTrip += TCounts::OfProcess() - Before - (Share.Spent() - FarBefore);
      }
    }
    QuitFromAnyThread();
  });
  QCoreApplication::exec();
  Far.join();
  for (TRoundTrips& Result : Results) std::sort(Result.Micros.begin(), Result.Micros.end());
  return Results;
}

// The bare echo: a blocking read, and a reply for every packet end.
class TBareEcho {
 public:
  explicit TBareEcho(const TFarEnd& FarEnd) : FarEnd_(FarEnd), Fd_(FarEnd.OpenRawSlave()) {
    Echo_ = std::thread([this] {
      char Buffer[4096];
      for (;;) {
        const ssize_t Read = read(Fd_, Buffer, sizeof Buffer);
        if (Read <= 0 || std::memchr(Buffer, EndOfRun, static_cast<std::size_t>(Read))) return;
        if (std::memchr(Buffer, ';', static_cast<std::size_t>(Read))) {
          [[maybe_unused]] ssize_t Written = write(Fd_, Reply, sizeof Reply - 1);
        }
      }
    });
  }
  ~TBareEcho() {
    FarEnd_.Send(&EndOfRun, 1);
    Echo_.join();
    close(Fd_);
  }

 private:
  const TFarEnd& FarEnd_;
  int Fd_;
  std::thread Echo_;
};

// The architecture's floor: a thread waits with poll(), hands the event to the GUI thread
// through the Qt loop and waits until it has run there; the GUI thread reads and replies.
class TArchitectureFloor {
 public:
  // OnBytes runs on the GUI thread with every read.
  explicit TArchitectureFloor(const TFarEnd& FarEnd,
                              std::function<void(const char*, std::size_t, int Fd)> OnBytes)
      : Fd_(FarEnd.OpenRawSlave()), OnBytes_(std::move(OnBytes)) {
    Stop_ = eventfd(0, EFD_CLOEXEC);
    Waiter_ = std::thread([this] { Wait(); });
  }
  ~TArchitectureFloor() {
    const std::uint64_t One = 1;
    [[maybe_unused]] ssize_t Written = write(Stop_, &One, sizeof One);
    SetDelivered();
    Waiter_.join();
    close(Stop_);
    close(Fd_);
  }

 private:
  void Wait() {
    for (;;) {
      pollfd Polls[2] = {{Fd_, POLLIN, 0}, {Stop_, POLLIN, 0}};
      if (poll(Polls, 2, -1) < 0 || Polls[1].revents != 0) return;
      Delivered_.store(0);
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [this] {
            char Buffer[65536];
            const ssize_t Read = read(Fd_, Buffer, sizeof Buffer);
            if (Read > 0) OnBytes_(Buffer, static_cast<std::size_t>(Read), Fd_);
            SetDelivered();
          },
          Qt::QueuedConnection);
      // A bare futex: the least a wait for the GUI thread can cost.
      while (Delivered_.load() == 0) {
        syscall(SYS_futex, &Delivered_, FUTEX_WAIT_PRIVATE, 0, nullptr, nullptr, 0);
      }
    }
  }

  void SetDelivered() {
    Delivered_.store(1);
    syscall(SYS_futex, &Delivered_, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
  }

  int Fd_;
  int Stop_ = -1;
  std::function<void(const char*, std::size_t, int)> OnBytes_;
  std::atomic<int> Delivered_{0};
  std::thread Waiter_;
};

struct TRig {
  TFarEnd FarEnd;
  TComPort Port{nullptr};
  TComDataPacket Assembler{nullptr};

  TRig() {
    Port.SetName("ComPort");
    Port.SetPort(FarEnd.SlavePath());
    Assembler.SetComPort(&Port);
    Assembler.SetStopString(";");
  }
};

void PrintRoundTrips(const char* Label, const TRoundTrips& Trips, const TRoundTrips& Bare,
                     const TRoundTrips& Floor) {
  const auto PerTrip = [&Trips](long long Count) {
    return static_cast<double>(Count) / static_cast<double>(Trips.Micros.size());
  };
  std::printf(
      "  %-19s median %5.1f us (%.2fx bare, %.2fx floor), 99th percentile %6.1f us (%.2fx "
      "bare, %.2fx floor); per round trip %.2f context switches, ",
      Label, Trips.Median(), Trips.Median() / Bare.Median(), Trips.Median() / Floor.Median(),
      Trips.P99(), Trips.P99() / Bare.P99(), Trips.P99() / Floor.P99(),
      PerTrip(Trips.PerTrip.Switches));
  if (ProcessSyscalls != nullptr && ProcessSyscalls->Available()) {
    std::printf("%.2f system calls, ", PerTrip(Trips.PerTrip.Syscalls));
  } else {
    std::printf("system calls not counted (no access to trace points), ");
  }
  std::printf("%.2f allocations\n", PerTrip(Trips.PerTrip.Allocations));
}

void ReplyToEveryPacket(const char* Bytes, std::size_t Count, int Fd) {
  if (std::memchr(Bytes, ';', Count)) {
    [[maybe_unused]] ssize_t Written = write(Fd, Reply, sizeof Reply - 1);
  }
}

void MeasureRoundTrip() {
  TFarEnd BareEnd;
  TBareEcho Bare(BareEnd);
  TFarEnd FloorEnd;
  TArchitectureFloor Floor(FloorEnd, ReplyToEveryPacket);
  TRig Rig;
  Rig.Assembler.OnPacket = [&](TObject*, std::string_view) { Rig.Port.WriteString(Reply); };
  Rig.Port.OpenPort();
  const std::vector<TRoundTrips> Trips = TimeRoundTrips({&BareEnd, &FloorEnd, &Rig.FarEnd});
  Rig.Port.ClosePort();
  std::printf("round trip, %d packets of %zu bytes each way, answered with \"%s\":\n",
              Work.RoundTrips, PacketSize, Reply);
  PrintRoundTrips("bare echo:", Trips[0], Trips[0], Trips[1]);
  PrintRoundTrips("architecture floor:", Trips[1], Trips[0], Trips[1]);
  PrintRoundTrips("port:", Trips[2], Trips[0], Trips[1]);
}

// The port's round trip with ser2net between it and the pseudo-terminal, blocks alternating with
// the same round trip on a pseudo-terminal of the port's own.
void MeasureRemoteRoundTrip() {
  using tolvane::testing_support::TSer2netServer;
  using tolvane::testing_support::TServerProtocol;
  const std::string Title = "round trip through ser2net (RFC 2217 on loopback, chardelay off)";
  if (tolvane::testing_support::Ser2netProgram().empty()) {
    std::printf("%s: skipped, ser2net is not installed\n", Title.c_str());
    return;
  }
  TRig Local;
  Local.Assembler.OnPacket = [&](TObject*, std::string_view) { Local.Port.WriteString(Reply); };
  TRig Remote;
  const tolvane::TTempDirectory Directory;
  TSer2netServer Server(Remote.FarEnd.SlavePath(), TServerProtocol::Rfc2217, Directory.Path());
  if (!Server.Start()) {
    std::printf("%s: skipped, %s\n", Title.c_str(), Server.Error().c_str());
    return;
  }
  Remote.Port.SetPort(Server.Url());
  Remote.Assembler.OnPacket = [&](TObject*, std::string_view) { Remote.Port.WriteString(Reply); };
  try {
    Remote.Port.OpenPort();
  } catch (const std::exception& Error) {
    std::printf("%s: skipped, the port did not open: %s\n", Title.c_str(), Error.what());
    return;
  }
  Local.Port.OpenPort();
  const std::vector<TRoundTrips> Trips = TimeRoundTrips({&Local.FarEnd, &Remote.FarEnd});
  Remote.Port.ClosePort();
  Local.Port.ClosePort();
  const TRoundTrips& Pty = Trips[0];
  const TRoundTrips& Net = Trips[1];
  std::printf("%s, %d packets of %zu bytes each way, answered with \"%s\":\n", Title.c_str(),
              Work.RoundTrips, PacketSize, Reply);
  std::printf("  port on the pseudo-terminal: median %6.1f us, 99th percentile %6.1f us\n",
              Pty.Median(), Pty.P99());
  std::printf(
      "  port through ser2net:        median %6.1f us (%.2fx the pseudo-terminal), 99th "
      "percentile %6.1f us (%.2fx)\n",
      Net.Median(), Net.Median() / Pty.Median(), Net.P99(), Net.P99() / Pty.P99());
}

// --- Receive flood ---

// A packet of Size bytes ending in ";": the controller's reply for 12, a longer text else.
std::string FloodPacket(std::size_t Size) {
  if (Size == PacketSize) return Packet;
  std::string Text;
  for (std::size_t I = 0; I + 1 < Size; ++I) Text += static_cast<char>('A' + I % 26);
  return Text + ';';
}

// About 4 KB of whole packets, what the far end writes at a time.
std::string FloodChunk(const std::string& OnePacket) {
  std::string Chunk;
  while (Chunk.size() + OnePacket.size() <= 4096) Chunk += OnePacket;
  return Chunk;
}

// The packets of one partner's turn in a round: as many bytes for every packet size, and
// together over the rounds as many as five rounds of the full work.
int FloodPacketCount(std::size_t Size) {
  return static_cast<int>(static_cast<long long>(Work.FloodPackets) * PacketSize * 5 /
                          (static_cast<long long>(Size) * FloodRounds));
}

// What the receiving side spent in one flood, the far end's writer thread left out: every count
// is of the process minus that thread's own share.
struct TFloodCost {
  double Seconds = 0;
  double CpuSeconds = 0;
  long long Syscalls = 0;
  long long VoluntarySwitches = 0;
  long long InvoluntarySwitches = 0;
  long long Reads = 0;  // read() calls of the bare loop, deliveries (OnRxBuf) of the port
  tolvane::TComDispatcher::TCounts Dispatcher;
};

struct TUsage {
  double CpuSeconds = 0;
  long long Voluntary = 0;
  long long Involuntary = 0;

  static TUsage Of(int Who) {
    rusage Usage{};
    getrusage(Who, &Usage);
    return {static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
                static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6,
            Usage.ru_nvcsw, Usage.ru_nivcsw};
  }
};

// The far end's writer thread sends Packets packets of OnePacket in writes of about 4 KB, as
// fast as the pseudo-terminal takes them; returns the time until Serve, on this thread, has seen
// them all, and what the receiving side spent until then and in Finish (which ends the threads
// the receiver started: a thread's system calls count once it has ended).
TFloodCost TimeFlood(const TFarEnd& FarEnd, const std::string& OnePacket, int Packets,
                     const std::function<void()>& Serve, const std::function<void()>& Finish) {
  const std::string Chunk = FloodChunk(OnePacket);
  const int PerChunk = static_cast<int>(Chunk.size() / OnePacket.size());
  const int Chunks = Packets / PerChunk;
  const int Rest = Packets - Chunks * PerChunk;
  TUsage FarSpent;
  long long FarSyscalls = 0;
  const TUsage Before = TUsage::Of(RUSAGE_SELF);
  const long long SyscallsBefore = ProcessSyscalls ? ProcessSyscalls->Read() : 0;
  const auto DispatcherBefore = tolvane::TComDispatcher::Default().Counts();
  const Clock::time_point Start = Clock::now();
  std::thread Far([&] {
    const TSyscallCounter Own(false);
    const long long OwnBefore = Own.Read();
    for (int I = 0; I < Chunks; ++I) FarEnd.Send(Chunk.data(), Chunk.size());
    FarEnd.Send(Chunk.data(), static_cast<std::size_t>(Rest) * OnePacket.size());
    FarSpent = TUsage::Of(RUSAGE_THREAD);
    // The counter's own reads: one here, one before the loop.
    FarSyscalls = Own.Read() - OwnBefore + 1;
  });
  Serve();
  TFloodCost Cost;
  Cost.Seconds = Seconds(Clock::now() - Start);
  Far.join();
  if (Finish) Finish();
  const TUsage After = TUsage::Of(RUSAGE_SELF);
  Cost.CpuSeconds = After.CpuSeconds - Before.CpuSeconds - FarSpent.CpuSeconds;
  Cost.VoluntarySwitches = After.Voluntary - Before.Voluntary - FarSpent.Voluntary;
  Cost.InvoluntarySwitches = After.Involuntary - Before.Involuntary - FarSpent.Involuntary;
  if (ProcessSyscalls) Cost.Syscalls = ProcessSyscalls->Read() - SyscallsBefore - FarSyscalls;
  const auto DispatcherAfter = tolvane::TComDispatcher::Default().Counts();
  Cost.Dispatcher = {DispatcherAfter.Queued - DispatcherBefore.Queued,
                     DispatcherAfter.OwnerWakeUps - DispatcherBefore.OwnerWakeUps,
                     DispatcherAfter.CallerWakeUps - DispatcherBefore.CallerWakeUps};
  return Cost;
}

long long CountPacketEnds(const char* Bytes, std::size_t Count) {
  long long Ends = 0;
  const char* End = Bytes + Count;
  while (const void* Found = std::memchr(Bytes, ';', static_cast<std::size_t>(End - Bytes))) {
    ++Ends;
    Bytes = static_cast<const char*>(Found) + 1;
  }
  return Ends;
}

// One thread that reads the pseudo-terminal and splits what it reads on ";".
TFloodCost BareFlood(const TFarEnd& FarEnd, const std::string& OnePacket, int Packets) {
  const int Fd = FarEnd.OpenRawSlave();
  long long Reads = 0;
  TFloodCost Cost = TimeFlood(FarEnd, OnePacket, Packets,
                              [Fd, Packets, &Reads] {
                                char Buffer[65536];
                                long long Received = 0;
                                while (Received < Packets) {
                                  const ssize_t Read = read(Fd, Buffer, sizeof Buffer);
                                  if (Read <= 0) break;
                                  ++Reads;
                                  Received +=
                                      CountPacketEnds(Buffer, static_cast<std::size_t>(Read));
                                }
                              },
                              {});
  close(Fd);
  Cost.Reads = Reads;
  return Cost;
}

// The port on the same pseudo-terminal, with the assembler cutting on ";" and a handler that
// counts, taking its packets the way the main window does (as a view).
TFloodCost PortFlood(const TFarEnd& FarEnd, tolvane::TSyncMethod SyncMethod,
                     const std::string& OnePacket, int Packets) {
  TComPort Port(nullptr);
  Port.SetName("ComPort");
  Port.SetPort(FarEnd.SlavePath());
  Port.SetSyncMethod(SyncMethod);
  TComDataPacket Assembler(nullptr);
  Assembler.SetComPort(&Port);
  Assembler.SetStopString(";");
  int Received = 0;
  Assembler.OnPacket = [&](TObject*, std::string_view) {
    if (++Received == Packets) QuitFromAnyThread();
  };
  long long Deliveries = 0;
  Port.OnRxBuf = [&](TObject*, const void*, std::int32_t) { ++Deliveries; };
  Port.OpenPort();
  TFloodCost Cost = TimeFlood(
      FarEnd, OnePacket, Packets, [] { QCoreApplication::exec(); }, [&Port] { Port.ClosePort(); });
  Cost.Reads = Deliveries;
  return Cost;
}

struct TFloodPartner {
  const char* Label;
  std::function<TFloodCost(const TFarEnd&, const std::string&, int)> Run;
};

double Spread(const std::vector<double>& Values, bool Highest) {
  return Highest ? *std::max_element(Values.begin(), Values.end())
                 : *std::min_element(Values.begin(), Values.end());
}

// For each packet size, five rounds (or --flood-rounds); in each round the bare loop and the port
// in each SyncMethod take turns on the same pseudo-terminal, the order turning by one every
// round, so that the machine's drift and the order's own effect fall on all alike. Every round
// prints the bare loop's rate and each port's ratio to it; then each partner's median ratio with
// the lowest and highest, and what it spent per 1000 packets (medians of the rounds): processor
// time, system calls, voluntary and involuntary context switches, reads or deliveries, and the
// dispatcher's hand-overs, wake-ups of the owner thread and of the event thread.
void MeasureFlood() {
  const int Rounds = FloodRounds;
  const auto PortWith = [](tolvane::TSyncMethod SyncMethod) {
    return [SyncMethod](const TFarEnd& FarEnd, const std::string& OnePacket, int Packets) {
      return PortFlood(FarEnd, SyncMethod, OnePacket, Packets);
    };
  };
  const TFloodPartner Partners[] = {
      {"bare read loop", BareFlood},
      {"port, smThreadSync (the window's wiring)", PortWith(tolvane::TSyncMethod::smThreadSync)},
      {"port, smWindowSync", PortWith(tolvane::TSyncMethod::smWindowSync)},
      {"port, smNone", PortWith(tolvane::TSyncMethod::smNone)},
  };
  constexpr std::size_t PartnerCount = std::size(Partners);
  if (!FloodPartnerOnly.empty()) {
    const char* const Names[] = {"bare", "threadsync", "windowsync", "none"};
    const auto Found = std::find(std::begin(Names), std::end(Names), FloodPartnerOnly);
    if (Found == std::end(Names)) throw std::runtime_error("unknown flood partner");
    const TFloodPartner& Partner = Partners[Found - std::begin(Names)];
    for (const std::size_t Size : {std::size_t{12}, std::size_t{200}}) {
      const TFarEnd FarEnd;
      const TFloodCost Cost = Partner.Run(FarEnd, FloodPacket(Size), FloodPacketCount(Size));
      std::printf("receive flood, %s alone, %d packets of %zu bytes: %.1f MB/s\n", Partner.Label,
                  FloodPacketCount(Size), Size,
                  static_cast<double>(FloodPacketCount(Size)) * static_cast<double>(Size) /
                      Cost.Seconds / 1e6);
    }
    return;
  }
  for (const std::size_t Size : {std::size_t{12}, std::size_t{200}}) {
    const std::string OnePacket = FloodPacket(Size);
    const int Packets = FloodPacketCount(Size);
    const double Thousands = Packets / 1000.0;
    const TFarEnd FarEnd;
    std::vector<double> BareRates;
    std::vector<std::vector<double>> Ratios(PartnerCount);
    std::vector<std::vector<std::vector<double>>> Per1000(PartnerCount);
    std::printf(
        "receive flood, %d packets of %zu bytes, every packet counted, %d rounds in turning "
        "order:\n",
        Packets, Size, Rounds);
    for (int Round = 0; Round < Rounds; ++Round) {
      std::vector<TFloodCost> Costs(PartnerCount);
      for (std::size_t Step = 0; Step < PartnerCount; ++Step) {
        const std::size_t Index = (Step + static_cast<std::size_t>(Round)) % PartnerCount;
        Costs[Index] = Partners[Index].Run(FarEnd, OnePacket, Packets);
      }
      BareRates.push_back(static_cast<double>(Packets) * static_cast<double>(Size) /
                          Costs[0].Seconds / 1e6);
      std::printf("  round %d: bare read loop %6.1f MB/s; ports", Round + 1, BareRates.back());
      for (std::size_t Index = 0; Index < PartnerCount; ++Index) {
        const TFloodCost& Cost = Costs[Index];
        Ratios[Index].push_back(Costs[0].Seconds / Cost.Seconds);
        if (Index > 0) std::printf(" %.2fx", Ratios[Index].back());
        Per1000[Index].push_back(
            {Cost.CpuSeconds * 1e6 / Thousands, Cost.Syscalls / Thousands,
             Cost.VoluntarySwitches / Thousands, Cost.InvoluntarySwitches / Thousands,
             Cost.Reads / Thousands, Cost.Dispatcher.Queued / Thousands,
             Cost.Dispatcher.OwnerWakeUps / Thousands, Cost.Dispatcher.CallerWakeUps / Thousands});
      }
      std::printf("\n");
    }
    std::printf("  bare read loop %.1f MB/s (median, %.1f-%.1f)\n", Median(BareRates),
                Spread(BareRates, false), Spread(BareRates, true));
    for (std::size_t Index = 1; Index < PartnerCount; ++Index) {
      std::printf("  %-42s %.2fx the bare loop (median of the rounds, %.2f-%.2fx)\n",
                  Partners[Index].Label, Median(Ratios[Index]), Spread(Ratios[Index], false),
                  Spread(Ratios[Index], true));
    }
    std::printf(
        "  per 1000 packets (medians)                 cpu us  syscalls  vol.sw invol.sw  reads "
        "hand-overs owner-wakes caller-wakes\n");
    for (std::size_t Index = 0; Index < PartnerCount; ++Index) {
      std::vector<double> Medians;
      for (std::size_t Column = 0; Column < Per1000[Index][0].size(); ++Column) {
        std::vector<double> Values;
        for (const auto& Row : Per1000[Index]) Values.push_back(Row[Column]);
        Medians.push_back(Median(Values));
      }
      // Without the kernel's trace points there is no system call count (strace -c -f gives one).
      char Syscalls[16] = "n/a";
      if (ProcessSyscalls != nullptr && ProcessSyscalls->Available())
        std::snprintf(Syscalls, sizeof Syscalls, "%.1f", Medians[1]);
      std::printf("  %-42s %7.0f %9s %7.1f %8.1f %6.1f %10.1f %11.1f %12.1f\n",
                  Partners[Index].Label, Medians[0], Syscalls, Medians[2], Medians[3], Medians[4],
                  Medians[5], Medians[6], Medians[7]);
    }
  }
}

// --- The assembler alone ---

// The assembler with the main window's stop string over about one delivery's bytes, against a
// bare memchr pass that counts the same packet ends, for a handler that takes the packet by
// const reference and for one that takes it as a view (the main window's). Three rounds, in each
// of which the pass and the two take turns, so that the machine's drift falls on all alike;
// every round's ratios are printed, then their medians.
void MeasureAssembler() {
  constexpr int Rounds = 3;
  struct THandlerCase {
    const char* Label;
    std::function<void(TComDataPacket&, long long&)> Bind;
  };
  const THandlerCase Cases[] = {
      {"handler by reference:",
       [](TComDataPacket& Assembler, long long& Packets) {
         Assembler.OnPacket = [&Packets](TObject*, const std::string&) { ++Packets; };
       }},
      {"handler by view:",
       [](TComDataPacket& Assembler, long long& Packets) {
         Assembler.OnPacket = [&Packets](TObject*, std::string_view) { ++Packets; };
       }},
  };
  constexpr std::size_t CaseCount = std::size(Cases);
  for (const std::size_t Size : {std::size_t{12}, std::size_t{200}}) {
    const std::string OnePacket = FloodPacket(Size);
    std::string Chunk;
    while (Chunk.size() + OnePacket.size() <= 8192) Chunk += OnePacket;
    const int Chunks =
        std::max(1, static_cast<int>(Work.AssemblerChunks * 8184 / Chunk.size()) / Rounds);
    const double Bytes = static_cast<double>(Chunk.size()) * Chunks;

    std::vector<std::unique_ptr<TComDataPacket>> Assemblers;
    std::vector<long long> Packets(CaseCount, 0);
    for (std::size_t Index = 0; Index < CaseCount; ++Index) {
      Assemblers.push_back(std::make_unique<TComDataPacket>(nullptr));
      Assemblers.back()->SetStopString(";");
      Cases[Index].Bind(*Assemblers.back(), Packets[Index]);
      Assemblers.back()->TakeData(Chunk);  // warmed
      Packets[Index] = 0;
    }
    std::vector<double> Scans;
    std::vector<std::vector<double>> Ratios(CaseCount);
    std::vector<std::vector<double>> Rates(CaseCount);
    std::vector<long long> Allocated(CaseCount, 0);
    long long Ends = 0;
    std::printf("assembler alone, \";\" over %zu-byte packets, %d rounds:\n", Size, Rounds);
    for (int Round = 0; Round < Rounds; ++Round) {
      Clock::time_point Start = Clock::now();
      for (int I = 0; I < Chunks; ++I) Ends += CountPacketEnds(Chunk.data(), Chunk.size());
      Scans.push_back(Seconds(Clock::now() - Start));
      std::printf("  round %d: bare memchr pass %6.0f MB/s;", Round + 1,
                  Bytes / Scans.back() / 1e6);
      for (std::size_t Index = 0; Index < CaseCount; ++Index) {
        TComDataPacket& Assembler = *Assemblers[Index];
        const long long AllocationsBefore = AllocationCount.load();
        const Clock::time_point Begin = Clock::now();
        for (int I = 0; I < Chunks; ++I) Assembler.TakeData(Chunk);
        const double Elapsed = Seconds(Clock::now() - Begin);
        Allocated[Index] += AllocationCount.load() - AllocationsBefore;
        Rates[Index].push_back(Bytes / Elapsed / 1e6);
        Ratios[Index].push_back(Scans.back() / Elapsed);
        std::printf(" %.2fx", Ratios[Index].back());
      }
      std::printf("\n");
    }
    std::printf("  bare memchr pass %6.0f MB/s (median), %lld ends\n", Bytes / Median(Scans) / 1e6,
                Ends);
    for (std::size_t Index = 0; Index < CaseCount; ++Index) {
      std::printf(
          "  %-22s %6.0f MB/s, %.2fx the memchr pass (medians), %lld packets, %.3f allocations "
          "per packet\n",
          Cases[Index].Label, Median(Rates[Index]), Median(Ratios[Index]), Packets[Index],
          static_cast<double>(Allocated[Index]) /
              static_cast<double>(std::max(1LL, Packets[Index])));
    }
  }
}

// --- Idle and hand-over ---

void MeasureIdle() {
  TRig Rig;
  Rig.Port.OpenPort();
  const double CpuBefore = ProcessCpuSeconds();
  QTimer::singleShot(Work.IdleMilliseconds, QCoreApplication::instance(), &QCoreApplication::quit);
  QCoreApplication::exec();
  const double Cpu = ProcessCpuSeconds() - CpuBefore;
  Rig.Port.ClosePort();
  std::printf("open and silent for %.2f s: %.1f ms of processor time\n",
              Work.IdleMilliseconds / 1e3, Cpu * 1e3);
}

// An empty call handed from another thread to the Qt event loop and waited for, as each
// delivery is.
void MeasureHandOver() {
  std::vector<double> Micros;
  Micros.reserve(Work.HandOvers);
  std::thread Worker([&] {
    for (int I = 0; I < Work.HandOvers; ++I) {
      const Clock::time_point Start = Clock::now();
      tolvane::TComDispatcher::Default().Synchronize([] {});
      Micros.push_back(Seconds(Clock::now() - Start) * 1e6);
    }
    QuitFromAnyThread();
  });
  QCoreApplication::exec();
  Worker.join();
  std::sort(Micros.begin(), Micros.end());
  std::printf(
      "hand-over to the Qt loop and back, %d calls: median %.1f us, 99th percentile %.1f "
      "us\n",
      Work.HandOvers, Micros[Micros.size() / 2], Micros[Micros.size() * 99 / 100]);
}

}  // namespace

int main(int argc, char* argv[]) {
  TSyscallCounter Syscalls(true);  // before any thread, so that it counts them all
  ProcessSyscalls = &Syscalls;
  QCoreApplication Application(argc, argv);
  tolvane::BindDispatcherToQt(tolvane::TComDispatcher::Default());
  // Names on the command line pick measurements (to profile one alone); none runs them all.
  const std::vector<std::pair<std::string, void (*)()>> Measurements = {
      {"roundtrip", MeasureRoundTrip}, {"flood", MeasureFlood},
      {"assembler", MeasureAssembler}, {"idle", MeasureIdle},
      {"handover", MeasureHandOver},   {"remote", MeasureRemoteRoundTrip},
  };
  std::vector<std::string> Chosen(argv + 1, argv + argc);
  constexpr std::string_view PartnerOption = "--flood-partner=";
  constexpr std::string_view RoundsOption = "--flood-rounds=";
  for (auto Option = Chosen.begin(); Option != Chosen.end();) {
    if (Option->starts_with(PartnerOption)) {
      FloodPartnerOnly = Option->substr(PartnerOption.size());
      Option = Chosen.erase(Option);
    } else if (Option->starts_with(RoundsOption)) {
      FloodRounds = std::max(1, std::atoi(Option->c_str() + RoundsOption.size()));
      Option = Chosen.erase(Option);
    } else {
      ++Option;
    }
  }
  if (const auto Short = std::find(Chosen.begin(), Chosen.end(), "--short");
      Short != Chosen.end()) {
    Work = ShortWork;
    Chosen.erase(Short);
  }
  for (const auto& [Name, Measure] : Measurements)
    if (Chosen.empty() || std::find(Chosen.begin(), Chosen.end(), Name) != Chosen.end()) Measure();
  return 0;
}
