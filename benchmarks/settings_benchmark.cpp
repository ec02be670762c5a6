// Times the settings file's saves on the disk of $TMPDIR (else /tmp): StoreSet as the Write
// button runs it and the port's SaveSettings as Connect runs it, each against the same content
// written key by key (one save per key, as stores went before they were gathered into one) and
// against one bare atomic replace, the floor of any save. The directory's fsync, which a save
// leaves to a thread of its own, is timed once with the caller waiting for it. Prints, does not
// judge. With --short each figure comes from a handful of saves (CI's smoke run).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "logic/files/com_port_section.h"
#include "logic/files/settings_file.h"
#include "logic/protocol/register_table.h"
#include "serialport/port/com_port.h"
#include "serialport/store/ini_file.h"
#include "serialport/store/text_file.h"

namespace {

using Clock = std::chrono::steady_clock;
using tolvane::TComPort;

int Saves = 200;

double Seconds(Clock::duration Duration) {
  return std::chrono::duration<double>(Duration).count();
}

// Sorts Micros and prints its median, 99th percentile and maximum after Label.
void PrintSpread(const std::string& Label, std::vector<double>& Micros) {
  std::sort(Micros.begin(), Micros.end());
  std::printf("%s: median %.0f us, 99th percentile %.0f us, max %.0f us\n", Label.c_str(),
              Micros[Micros.size() / 2], Micros[Micros.size() * 99 / 100], Micros.back());
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
  Micros.reserve(Saves);
  for (int I = 0; I < Saves; ++I) {
    const Clock::time_point Start = Clock::now();
    Save();
    Micros.push_back(Seconds(Clock::now() - Start) * 1e6);
  }
  PrintSpread(Label + ", " + std::to_string(Saves) + " saves", Micros);
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
  const std::vector<std::string> Arguments(argv + 1, argv + argc);
  if (std::find(Arguments.begin(), Arguments.end(), "--short") != Arguments.end()) Saves = 2;
  MeasureSettingsSaves();
  return EXIT_SUCCESS;
}
