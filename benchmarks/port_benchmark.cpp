// Measures the port as the main window uses it: default settings, thread-sync delivery through a
// real Qt event loop, the packet assembler with the stop string ";", all on a pseudo-terminal
// whose master plays the far end. Prints, does not judge:
//   - the round trip from the far end writing a packet to it reading the answer that the
//     OnPacket handler writes back (median and 99th percentile);
//   - the receive throughput of a flood of 12-byte packets, every packet counted, and how many
//     bytes one delivery carried on average;
//   - the assembler's own throughput;
//   - the processor time of the process while the port is open and silent;
//   - for scale, the cost of one empty hand-over from another thread to the Qt loop and back;
//   - the settings file's saves on the disk of $TMPDIR (else /tmp): StoreSet as the Write button
//     runs it and the port's SaveSettings as Connect runs it, each against the same content
//     written key by key (one save per key) and against one bare atomic replace, which is also
//     timed waiting for the directory's fsync that it leaves to a thread of its own.
// Run it from an optimised build: cmake --preset release && cmake --build --preset release
// && build-release/benchmarks/port_benchmark [roundtrip] [flood] [assembler] [idle] [handover]
//    [settings]
// With --short every measurement runs a hundredth of its work (CI's smoke run): the figures are
// then too few to mean anything.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/com_port_section.h"
#include "app/qt_dispatcher.h"
#include "app/register_table.h"
#include "app/settings_file.h"
#include "serialport/com_data_packet.h"
#include "serialport/com_dispatcher.h"
#include "serialport/com_port.h"
#include "serialport/ini_file.h"
#include "serialport/text_file.h"

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
  int Saves;
};
constexpr TWork FullWork = {5000, 20000, 2000000, 25000, 5000, 200};
constexpr TWork ShortWork = {50, 200, 20000, 250, 50, 2};
TWork Work = FullWork;
constexpr const char* Packet = "ST001203200;";  // 12 bytes, a controller reply
constexpr std::size_t PacketSize = 12;

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

// Sorts Micros and prints its median, 99th percentile and maximum after Label.
void PrintSpread(const std::string& Label, std::vector<double>& Micros) {
  std::sort(Micros.begin(), Micros.end());
  std::printf("%s: median %.0f us, 99th percentile %.0f us, max %.0f us\n", Label.c_str(),
              Micros[Micros.size() / 2], Micros[Micros.size() * 99 / 100], Micros.back());
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

void MeasureRoundTrip() {
  TRig Rig;
  Rig.Assembler.OnPacket = [&](TObject*, const std::string&) { Rig.Port.WriteString("OK;"); };
  Rig.Port.OpenPort();
  std::vector<double> Micros;
  Micros.reserve(Work.RoundTrips);
  std::thread Far([&] {
    for (int I = 0; I < Work.RoundTrips; ++I) {
      const Clock::time_point Start = Clock::now();
      Rig.FarEnd.Send(Packet, PacketSize);
      Rig.FarEnd.ReceiveUntil(';');
      Micros.push_back(Seconds(Clock::now() - Start) * 1e6);
    }
    QuitFromAnyThread();
  });
  QCoreApplication::exec();
  Far.join();
  Rig.Port.ClosePort();
  PrintSpread("round trip, " + std::to_string(Work.RoundTrips) + " packets", Micros);
}

// The floor under the round trip: an empty call handed from another thread to the Qt event loop
// and waited for, as each delivery is.
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
  PrintSpread("hand-over to the Qt loop and back, " + std::to_string(Work.HandOvers) + " calls",
              Micros);
}

void MeasureFlood() {
  TRig Rig;
  int Received = 0;
  Clock::time_point Start;
  Clock::time_point End;
  Rig.Assembler.OnPacket = [&](TObject*, const std::string&) {
    if (++Received == Work.FloodPackets) {
      End = Clock::now();
      QCoreApplication::quit();
    }
  };
  long long Deliveries = 0;
  Rig.Port.OnRxBuf = [&](TObject*, const void*, std::int32_t) { ++Deliveries; };
  Rig.Port.OpenPort();
  std::string Chunk;
  for (int I = 0; I < 341; ++I) Chunk += Packet;  // 4092 bytes
  const int Chunks = Work.FloodPackets / 341;
  const int Rest = Work.FloodPackets - Chunks * 341;
  Start = Clock::now();
  std::thread Far([&] {
    for (int I = 0; I < Chunks; ++I) Rig.FarEnd.Send(Chunk.data(), Chunk.size());
    Rig.FarEnd.Send(Chunk.data(), static_cast<std::size_t>(Rest) * PacketSize);
  });
  QCoreApplication::exec();
  Far.join();
  Rig.Port.ClosePort();
  const double Elapsed = Seconds(End - Start);
  std::printf(
      "receive flood, %d packets of 12 bytes: %.1f MB/s, %.0f packets/s, all counted, "
      "%.0f bytes per delivery\n",
      Work.FloodPackets, Work.FloodPackets * PacketSize / Elapsed / 1e6,
      Work.FloodPackets / Elapsed,
      static_cast<double>(Work.FloodPackets * PacketSize) / static_cast<double>(Deliveries));
}

void MeasureAssembler() {
  TComDataPacket Assembler(nullptr);
  Assembler.SetStopString(";");
  long long Packets = 0;
  Assembler.OnPacket = [&](TObject*, const std::string&) { ++Packets; };
  std::string Chunk;
  for (int I = 0; I < 682; ++I) Chunk += Packet;  // 8,184 bytes, about one delivery in a flood
  const int Chunks = Work.AssemblerChunks;
  const Clock::time_point Start = Clock::now();
  for (int I = 0; I < Chunks; ++I) Assembler.TakeData(Chunk);
  const double Elapsed = Seconds(Clock::now() - Start);
  std::printf("assembler alone: %.0f MB/s (%lld packets)\n",
              static_cast<double>(Chunk.size()) * Chunks / Elapsed / 1e6, Packets);
}

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

// The eleven fields at their defaults, as the window holds them at start.
class TDefaultFields : public tolvane::TFieldTexts {
 public:
  std::string FieldText(std::size_t Row) const override {
    return std::string(tolvane::RegisterTable[Row].Default);
  }
  void SetFieldText(std::size_t, const std::string&) override {}
};

// Times Saves runs of Save and prints the spread; returns the median in microseconds.
double TimeSaves(const std::string& Label, const std::function<void()>& Save) {
  std::vector<double> Micros;
  Micros.reserve(Work.Saves);
  for (int I = 0; I < Work.Saves; ++I) {
    const Clock::time_point Start = Clock::now();
    Save();
    Micros.push_back(Seconds(Clock::now() - Start) * 1e6);
  }
  PrintSpread(Label + ", " + std::to_string(Work.Saves) + " saves", Micros);
  return Micros[Micros.size() / 2];
}

// Writes every key of the file as it stands, one save per key: how a store went before saves
// were gathered into one.
void WriteKeyByKey(const std::string& Path, const std::vector<std::string>& Sections) {
  tolvane::TIniFile Ini(Path);
  const std::string Text = tolvane::ReadFileHead(Path, tolvane::MaxSettingsFileSize)->Content;
  std::string Section;
  for (std::size_t At = 0; At < Text.size();) {
    const std::size_t End = std::min(Text.find('\n', At), Text.size());
    const std::string Line = Text.substr(At, End - At);
    At = End + 1;
    if (Line.size() > 2 && Line.front() == '[') {
      Section = Line.substr(1, Line.size() - 2);
    } else if (const std::size_t Equals = Line.find('=');
               Equals != std::string::npos &&
               std::find(Sections.begin(), Sections.end(), Section) != Sections.end()) {
      Ini.WriteString(Section, Line.substr(0, Equals), Line.substr(Equals + 1));
    }
  }
}

void MeasureSettingsSaves() {
  std::string Template = (std::filesystem::temp_directory_path() / "tolvane-bench-XXXXXX").string();
  if (mkdtemp(Template.data()) == nullptr) throw std::runtime_error("mkdtemp");
  const std::string Path = Template + "/Settings.ini";
  TComPort Port(nullptr);
  Port.SetName("ComPort");
  tolvane::TComPortSection Section(Port);
  TDefaultFields Fields;
  tolvane::TSettingsFile Settings(Path, Section, Fields);
  Settings.StoreSet();
  const std::string Content = tolvane::ReadFileHead(Path, tolvane::MaxSettingsFileSize)->Content;
  std::printf("settings file %s, %zu bytes\n", Path.c_str(), Content.size());

  const double Replace =
      TimeSaves("one bare atomic replace", [&] { tolvane::ReplaceFileAtomically(Path, Content); });
  // The directory's fsync runs beside the caller; here, for comparison, the caller waits for it.
  TimeSaves("the same, waiting for the directory's fsync", [&] {
    tolvane::ReplaceFileAtomically(Path, Content);
    const int Directory = open(Template.c_str(), O_RDONLY | O_DIRECTORY);
    fsync(Directory);
    close(Directory);
  });
  const double StoreSet = TimeSaves("StoreSet (Write)", [&] { Settings.StoreSet(); });
  const double StoreSetByKey = TimeSaves("the same, key by key", [&] {
    WriteKeyByKey(Path, {"ComPort", "Settings"});
  });
  const double SaveSettings = TimeSaves("SaveSettings (Connect)", [&] {
    Port.SaveSettings(tolvane::TSettingsStore::ssIniFile, Path);
  });
  const double SaveSettingsByKey =
      TimeSaves("the same, key by key", [&] { WriteKeyByKey(Path, {"ComPort"}); });
  std::printf(
      "StoreSet %.2f x one bare replace, key by key was %.1f x; SaveSettings %.2f x, key by key "
      "was %.1f x\n",
      StoreSet / Replace, StoreSetByKey / Replace, SaveSettings / Replace,
      SaveSettingsByKey / Replace);
  std::filesystem::remove_all(Template);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication Application(argc, argv);
  tolvane::BindDispatcherToQt(tolvane::TComDispatcher::Default());
  // Names on the command line pick measurements (to profile one alone); none runs them all.
  const std::vector<std::pair<std::string, void (*)()>> Measurements = {
      {"roundtrip", MeasureRoundTrip}, {"flood", MeasureFlood},
      {"assembler", MeasureAssembler}, {"idle", MeasureIdle},
      {"handover", MeasureHandOver},   {"settings", MeasureSettingsSaves}};
  std::vector<std::string> Chosen(argv + 1, argv + argc);
  if (const auto Short = std::find(Chosen.begin(), Chosen.end(), "--short");
      Short != Chosen.end()) {
    Work = ShortWork;
    Chosen.erase(Short);
  }
  for (const auto& [Name, Measure] : Measurements)
    if (Chosen.empty() || std::find(Chosen.begin(), Chosen.end(), Name) != Chosen.end()) Measure();
  return 0;
}
