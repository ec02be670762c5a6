#include "logic/files/settings_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "logic/files/com_port_section.h"
#include "logic/files/history_backups.h"
#include "logic/files/values_file.h"
#include "logic/protocol/register_table.h"
#include "serialport/base/com_error.h"
#include "serialport/port/com_port.h"
#include "serialport/store/ini_file.h"
#include "tests/support/settings_files_fixture.h"
#include "tests/support/temp_directory.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// The port's section as a port with its default groups writes it, reduced to one key.
class TFakePortSection : public TPortSection {
 public:
  void Store(TIniFile& IniFile) override {
    if (Fail) throw std::runtime_error("Failed to store settings");
    IniFile.WriteString("ComPort", "Port", "COM1");
  }
  void Load(const std::string& Path) override {
    if (Fail) throw std::runtime_error("Failed to load settings");
    LoadedPort = TIniFile(Path).ReadString("ComPort", "Port", "none");
  }

  bool Fail = false;
  std::string LoadedPort;
};

class TFields : public TFieldTexts {
 public:
  TFields() {
    for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
      Texts[Row] = std::string(RegisterTable[Row].Default);
    }
  }
  std::string FieldText(std::size_t Row) const override { return Texts.at(Row); }
  void SetFieldText(std::size_t Row, const std::string& Text) override { Texts.at(Row) = Text; }

  std::array<std::string, RegisterCount> Texts;
};

std::vector<std::string> FileLines(const fs::path& Path) {
  std::ifstream File(Path);
  std::vector<std::string> Lines;
  for (std::string Line; std::getline(File, Line);) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (!Line.empty()) Lines.push_back(Line);
  }
  return Lines;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  fs::path FilePath() const { return Directory.Path() / "Settings.ini"; }
  void WriteFile(const std::string& Text) { std::ofstream(FilePath()) << Text; }

  TTempDirectory Directory;
  TFakePortSection Port;
  TFields Fields;
  TSettingsFile Settings{FilePath().string(), Port, Fields};
};

TEST_F(SettingsFileTest, FirstStoreWritesThePortSectionThenTheElevenKeysInOrder) {
  EXPECT_FALSE(Settings.Exists());
  Settings.StoreSet();
  EXPECT_TRUE(Settings.Exists());
  EXPECT_EQ(FileLines(FilePath()),
            (std::vector<std::string>{"[ComPort]", "Port=COM1", "[Settings]", "UaMAX=03200",
                                      "IaMAX=00999", "UgMax=00650", "IgMax=00250", "T__ON=00020",
                                      "T_OFF=00040", "T_Lig=00002", "T_Slp=00010", "SWR_H=00005",
                                      "VOX_D=00010", "SWH_D=00050"}));
}

TEST_F(SettingsFileTest, StoreThenLoadGivesBackEveryFieldUnchanged) {
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Fields.Texts[Row] = "v" + std::to_string(Row) + " x";
  }
  Settings.StoreSet();
  const auto Stored = Fields.Texts;
  Fields = TFields();
  Settings.LoadSet();
  EXPECT_EQ(Fields.Texts, Stored);
  EXPECT_EQ(Port.LoadedPort, "COM1");
}

TEST_F(SettingsFileTest, LoadShowsWhatTheFileHoldsAndDefaultsForMissingKeys) {
  WriteFile(
      "[ComPort]\nPort=/dev/ttyUSB0\n[Settings]\nUaMAX=abc\nIaMAX=00123\nUgMax=00650\n"
      "IgMax=00250\nT__ON=00020\nT_OFF=00040\nT_Lig=00002\nSWR_H=00005\nVOX_D=00010\n"
      "SWH_D=00050\n");
  for (std::string& Text : Fields.Texts) Text = "edited";
  Settings.LoadSet();
  EXPECT_EQ(Port.LoadedPort, "/dev/ttyUSB0");
  EXPECT_EQ(Fields.Texts[0], "abc");
  EXPECT_EQ(Fields.Texts[1], "00123");
  EXPECT_EQ(Fields.Texts[7], "00010");  // T_Slp missing: the default
  EXPECT_EQ(Fields.Texts[10], "00050");
}

TEST_F(SettingsFileTest, MissingFileLoadsTheDefaults) {
  for (std::string& Text : Fields.Texts) Text = "edited";
  Settings.LoadSet();
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    EXPECT_EQ(Fields.Texts[Row], RegisterTable[Row].Default);
  }
}

TEST_F(SettingsFileTest, FailingPortStepSkipsTheSettingsKeys) {
  Port.Fail = true;
  EXPECT_THROW(Settings.StoreSet(), std::runtime_error);
  EXPECT_FALSE(Settings.Exists());

  Port.Fail = false;
  WriteFile("[Settings]\nUaMAX=01111\n");
  Port.Fail = true;
  Fields.Texts[0] = "edited";
  EXPECT_THROW(Settings.LoadSet(), std::runtime_error);
  EXPECT_EQ(Fields.Texts[0], "edited");
}

TEST_F(SettingsFileTest, FieldTextThatWouldBreakTheFileStopsTheStoreAtThatKey) {
  Fields.Texts[2] = "00650\n[ComPort]";
  try {
    Settings.StoreSet();
    ADD_FAILURE() << "no error";
  } catch (const std::exception& Error) {
    EXPECT_EQ(std::string(Error.what()), "Unable to write to " + FilePath().string());
  }
  EXPECT_EQ(FileLines(FilePath()), (std::vector<std::string>{"[ComPort]", "Port=COM1", "[Settings]",
                                                             "UaMAX=03200", "IaMAX=00999"}));
}

// With the real port: its section comes first, named after the port, and reads back.
TEST_F(SettingsFileTest, RealPortSectionPrecedesTheSettingsAndReadsBack) {
  TComPort ComPort(nullptr);
  ComPort.SetName("ComPort");
  ComPort.SetBaudRate(TBaudRate::br19200);
  TComPortSection Section(ComPort);
  TSettingsFile PortSettings(FilePath().string(), Section, Fields);
  PortSettings.StoreSet();

  const std::vector<std::string> Lines = FileLines(FilePath());
  ASSERT_FALSE(Lines.empty());
  EXPECT_EQ(Lines.front(), "[ComPort]");
  EXPECT_TRUE(std::find(Lines.begin(), Lines.end(), "BaudRate=19200") <
              std::find(Lines.begin(), Lines.end(), "[Settings]"));
  EXPECT_EQ(std::vector<std::string>(Lines.end() - 12, Lines.end()),
            (std::vector<std::string>{"[Settings]", "UaMAX=03200", "IaMAX=00999", "UgMax=00650",
                                      "IgMax=00250", "T__ON=00020", "T_OFF=00040", "T_Lig=00002",
                                      "T_Slp=00010", "SWR_H=00005", "VOX_D=00010", "SWH_D=00050"}));

  TComPort Restored(nullptr);
  Restored.SetName("ComPort");
  TComPortSection RestoredSection(Restored);
  TSettingsFile RestoredSettings(FilePath().string(), RestoredSection, Fields);
  RestoredSettings.LoadSet();
  EXPECT_EQ(Restored.BaudRate(), TBaudRate::br19200);
}

TEST_F(SettingsFileTest, RealPortThatCannotStoreSkipsTheSettingsKeys) {
  TComPort ComPort(nullptr);
  ComPort.SetName("ComPort");
  TComPortSection Section(ComPort);
  const fs::path Unreachable = Directory.Path() / "missing" / "Settings.ini";
  TSettingsFile PortSettings(Unreachable.string(), Section, Fields);
  try {
    PortSettings.StoreSet();
    ADD_FAILURE() << "no error";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.Message(), "Failed to store settings");
    EXPECT_EQ(Error.Detail(), Unreachable.string() + ": No such file or directory");
  }
  EXPECT_FALSE(fs::exists(Unreachable));
}

// An installed copy: the directory of the executable is read-only for the user running it and
// holds a Settings.ini. That file is read; the first save goes to the user's copy, made from all
// of it; the next start reads the user's copy. Run as an unprivileged user, as root may write
// anywhere.
TEST(InstalledCopyTest, ReadsTheFileBesideTheExecutableAndSavesToASeededUserCopy) {
  testing::TScratchDirectory Root;
  const fs::path Bin = fs::path(Root.Path()) / "bin";
  fs::create_directory(Bin);
  const std::string Beside = (Bin / "Settings.ini").string();
  const std::string UserCopy = Root.Path() + "/config/tolvane/Settings.ini";
  const std::string Installed =
      "; installed with the program\n[ComPort]\nPort=/dev/ttyUSB1\n[Settings]\nUaMAX=01111\n\n"
      "[Site]\nNote=kept\n";
  testing::WriteWholeFile(Beside, Installed);
  ::chmod(Beside.c_str(), 0644);
  ::chmod(Bin.c_str(), 0555);
  TSettingsPlaces Places;
  Places.ExecutableDirectory = Bin;
  Places.ProgramName = "tolvane";
  Places.ConfigHome = fs::path(Root.Path()) / "config";

  const int Result = testing::RunWithoutPrivileges([&] {
    const TSettingsLocation First = SettingsFileLocation(Places);
    if (First.ReadPath != Beside || First.WritePath != UserCopy) return 10;
    TFakePortSection Port;
    TFields Fields;
    TSettingsFile Settings(First, Port, Fields);
    Settings.LoadSet();
    if (Fields.Texts[0] != "01111" || Port.LoadedPort != "/dev/ttyUSB1") return 11;
    Fields.Texts[1] = "02222";
    try {
      Settings.StoreSet();
    } catch (...) {
      return 12;
    }
    const TSettingsLocation Next = SettingsFileLocation(Places);
    if (Next.ReadPath != UserCopy || Next.WritePath != UserCopy) return 13;
    TFakePortSection NextPort;
    TFields NextFields;
    TSettingsFile(Next, NextPort, NextFields).LoadSet();
    return NextFields.Texts[0] == "01111" && NextFields.Texts[1] == "02222" ? 0 : 14;
  });
  ::chmod(Bin.c_str(), 0755);  // so that the scratch directory can be removed without root
  EXPECT_EQ(Result, 0);
  EXPECT_EQ(testing::ReadWholeFile(Beside), Installed);
  const std::string Copied = testing::ReadWholeFile(UserCopy);
  for (const char* Line : {"; installed with the program\n", "UaMAX=01111\n", "IaMAX=02222\n",
                           "[Site]\nNote=kept\n"}) {
    EXPECT_NE(Copied.find(Line), std::string::npos) << Line;
  }
}

// An installed copy whose file this user may not read (mode 0600 of root, read by another
// user): that file is still the one read, so its failure comes out with the system's reason, the
// fields show the defaults, and no user copy is made until the operator saves; that save makes it
// from the values shown.
TEST(InstalledCopyTest, AnUnreadableFileBesideIsReportedAndNoUserCopyIsMadeBeforeASave) {
  testing::TScratchDirectory Root;
  const fs::path Bin = fs::path(Root.Path()) / "bin";
  fs::create_directory(Bin);
  const std::string Beside = (Bin / "Settings.ini").string();
  const std::string UserCopy = Root.Path() + "/config/tolvane/Settings.ini";
  testing::WriteWholeFile(Beside, "[Settings]\nUaMAX=01111\n");
  ::chmod(Beside.c_str(), 0600);
  ::chmod(Bin.c_str(), 0555);
  TSettingsPlaces Places;
  Places.ExecutableDirectory = Bin;
  Places.ProgramName = "tolvane";
  Places.ConfigHome = fs::path(Root.Path()) / "config";

  const int Result = testing::RunWithoutPrivileges([&] {
    const TSettingsLocation Location = SettingsFileLocation(Places);
    if (Location.ReadPath != Beside || Location.WritePath != UserCopy) return 10;
    TFakePortSection Port;
    TFields Fields;
    TSettingsFile Settings(Location, Port, Fields);
    if (!Settings.Exists()) return 11;  // else the start would store the defaults at once
    if (Settings.ReadError() != EACCES) return 12;
    Settings.LoadSet();
    if (Fields.Texts[0] != RegisterTable[0].Default) return 13;
    if (fs::exists(UserCopy)) return 14;
    Fields.Texts[1] = "02222";
    try {
      Settings.StoreSet();
    } catch (...) {
      return 15;
    }
    TFakePortSection NextPort;
    TFields NextFields;
    TSettingsFile(SettingsFileLocation(Places), NextPort, NextFields).LoadSet();
    return NextFields.Texts[1] == "02222" ? 0 : 16;
  });
  ::chmod(Bin.c_str(), 0755);
  EXPECT_EQ(Result, 0);
}

// One generation: every field and the port's name carry the same number.
void StoreGeneration(const std::string& Path, int Generation) {
  char Digits[16];
  std::snprintf(Digits, sizeof Digits, "%05d", Generation);
  TComPort ComPort(nullptr);
  ComPort.SetName("ComPort");
  ComPort.SetPort(Digits);
  TComPortSection Section(ComPort);
  TFields Fields;
  Fields.Texts.fill(Digits);
  TSettingsFile(Path, Section, Fields).StoreSet();
}

// A child stores generation after generation until it is killed at a random moment, 200
// times. Whatever moment the kill hits, the file holds one whole generation (the port's section
// and all eleven keys), and the next save leaves no temporary file behind.
TEST(SettingsFileCrashTest, AStoreKilledAtAnyMomentLeavesOneWholeGeneration) {
  testing::TScratchDirectory Scratch;
  const std::string Path = Scratch.File("Settings.ini");
  StoreGeneration(Path, 0);
  std::mt19937 Random(20261208);
  std::uniform_int_distribution<int> KillAfterMicros(0, 20000);
  int KillsLeavingATemporaryFile = 0;
  for (int Kill = 0; Kill < 200; ++Kill) {
    const pid_t Child = ::fork();
    if (Child == 0) {
      try {
        for (int Generation = 1;; ++Generation) StoreGeneration(Path, Generation);
      } catch (...) {
        ::_exit(1);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(KillAfterMicros(Random)));
    ::kill(Child, SIGKILL);
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    ASSERT_TRUE(WIFSIGNALED(Status)) << "the child stopped saving by itself";

    const TIniFile Left(Path);
    const std::string Generation = Left.ReadString("ComPort", "Port", "missing");
    ASSERT_EQ(Generation.size(), 5u) << Kill;
    for (const TRegisterRow& Row : RegisterTable) {
      ASSERT_EQ(Left.ReadString("Settings", std::string(Row.FileKey), "missing"), Generation)
          << "kill " << Kill << ", key " << Row.FileKey;
    }
    if (testing::CountEntries(Scratch.Path()) > 1) ++KillsLeavingATemporaryFile;
    StoreGeneration(Path, 0);
    ASSERT_EQ(testing::CountEntries(Scratch.Path()), 1u) << Kill;
  }
  std::printf("kills that left a temporary file behind: %d of 200\n", KillsLeavingATemporaryFile);
}

// Values files: the "Settings" section of Settings.ini, a backup or a saved set of values.
std::string ElevenKeys(const std::string& Replaced = {}, const std::string& With = {}) {
  std::string Text = "[Settings]\n";
  for (const TRegisterRow& Row : RegisterTable) {
    if (Row.FileKey == Replaced) {
      Text += With;
    } else {
      Text += std::string(Row.FileKey) + "=" + std::string(Row.Default) + "\n";
    }
  }
  return Text;
}

struct TValuesFileCase {
  const char* Name;
  std::string Text;
  const char* ProblemKey;  // nullptr: the file opens
};

class ValuesFileTest : public ::testing::TestWithParam<TValuesFileCase> {};

TEST_P(ValuesFileTest, OpensOnlyWithAllElevenValidKeysAndNamesTheFirstThatIsNot) {
  TTempDirectory Directory;
  const std::string Path = (Directory.Path() / "values.ini").string();
  if (!GetParam().Text.empty()) std::ofstream(Path) << GetParam().Text;
  const TValuesFileContent Content = ReadValuesFile(Path);
  if (GetParam().ProblemKey == nullptr) {
    ASSERT_TRUE(Content.Values.has_value()) << Content.Problem;
    EXPECT_EQ((*Content.Values)[4], "00020");
    return;
  }
  EXPECT_FALSE(Content.Values.has_value());
  EXPECT_NE(Content.Problem.find(GetParam().ProblemKey), std::string::npos) << Content.Problem;
  EXPECT_NE(Content.Problem.find(Path), std::string::npos) << Content.Problem;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ValuesFileTest,
    ::testing::Values(
        TValuesFileCase{"AllElevenKeys", ElevenKeys(), nullptr},
        TValuesFileCase{
            "SettingsIniWithThePortSection",
            "[ComPort]\nPort=/dev/ttyUSB0\nT__ON=99\n" + ElevenKeys() + "[Other]\nx=1\n", nullptr},
        TValuesFileCase{"MissingKey", ElevenKeys("T_Slp", ""), "T_Slp (Time Sleep) is missing"},
        TValuesFileCase{"KeyInAnotherSection", ElevenKeys("SWH_D", "") + "[Other]\nSWH_D=00050\n",
                        "SWH_D (Switch Delay) is missing"},
        TValuesFileCase{"FourCharacters", ElevenKeys("UaMAX", "UaMAX=3200\n"),
                        "UaMAX (Ua max, V) holds \"3200\""},
        TValuesFileCase{"NotAnInteger", ElevenKeys("IgMax", "IgMax=0025A\n"), "IgMax (Ig max, mA)"},
        TValuesFileCase{"EmptyValue", ElevenKeys("VOX_D", "VOX_D=\n"), "VOX_D (VOX Delay)"},
        TValuesFileCase{"NoSettingsSection", "[ComPort]\nPort=COM1\n",
                        "not a values file: it has no section [Settings]"},
        TValuesFileCase{"Garbage",
                        std::string("\x7f"
                                    "ELF\x02\x01\0\0garbage",
                                    15),
                        "not a values file"},
        TValuesFileCase{"MissingFile", "", "No such file or directory"}),
    [](const ::testing::TestParamInfo<TValuesFileCase>& Info) {
      return std::string(Info.param.Name);
    });

TEST(ValuesFileWriteTest, WritesTheElevenKeysThatReadBackAndKeepsOtherSections) {
  TTempDirectory Directory;
  const std::string Path = (Directory.Path() / "values.ini").string();
  std::ofstream(Path) << "[ComPort]\nPort=/dev/ttyUSB0\n";
  TRegisterTexts Values;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row)
    Values[Row] = "0000" + std::to_string(Row % 10);
  WriteValuesFile(Path, Values);
  EXPECT_EQ(ReadValuesFile(Path).Values, Values);
  EXPECT_EQ(TIniFile(Path).ReadString("ComPort", "Port", ""), "/dev/ttyUSB0");
}

TEST(HistoryBackupsTest, DirectoryFollowsTheStateHomeRule) {
  EXPECT_EQ(HistoryDirectory("/s", "/home/op"), fs::path("/s/tolvane/history"));
  EXPECT_EQ(HistoryDirectory("relative", "/home/op"),
            fs::path("/home/op/.local/state/tolvane/history"));
  EXPECT_EQ(HistoryDirectory("", "/home/op"), fs::path("/home/op/.local/state/tolvane/history"));
  EXPECT_TRUE(HistoryDirectory("", "").empty());
}

// Each event gets a file of its own, named with the local time and the event, which opens as a
// values file; a second one within the same second does not replace the first.
TEST(HistoryBackupsTest, EachBackupIsANewValuesFileNamedWithTimeAndEvent) {
  TTempDirectory Directory;
  const fs::path History = Directory.Path() / "state" / "tolvane" / "history";
  std::tm Moment{};
  Moment.tm_year = 2026 - 1900;
  Moment.tm_mon = 11;
  Moment.tm_mday = 8;
  Moment.tm_hour = 14;
  Moment.tm_min = 2;
  Moment.tm_sec = 11;
  Moment.tm_isdst = -1;
  const std::time_t Time = std::mktime(&Moment);
  THistoryBackups Backups(History, [Time] { return Time; });
  TRegisterTexts Values;
  for (std::size_t Row = 0; Row < RegisterCount; ++Row)
    Values[Row] = std::string(RegisterTable[Row].Default);

  const std::string First = Backups.Save(Values, TBackupEvent::BeforeWrite);
  Values[0] = "01000";
  const std::string Second = Backups.Save(Values, TBackupEvent::BeforeWrite);
  EXPECT_EQ(First, (History / "2026-12-08T14-02-11 before write.ini").string());
  EXPECT_EQ(Second, (History / "2026-12-08T14-02-11 before write (2).ini").string());
  EXPECT_EQ((*ReadValuesFile(First).Values)[0], "03200");
  EXPECT_EQ((*ReadValuesFile(Second).Values)[0], "01000");
  EXPECT_EQ(fs::path(Backups.Save(Values, TBackupEvent::AfterRead)).filename(),
            "2026-12-08T14-02-11 after read.ini");

  // A history directory that cannot be made is an error naming it.
  std::ofstream(Directory.Path() / "file") << "";
  THistoryBackups Blocked(Directory.Path() / "file" / "history");
  try {
    Blocked.Save(Values, TBackupEvent::BeforeWrite);
    ADD_FAILURE() << "no error";
  } catch (const EIniFileException& Error) {
    EXPECT_NE(Error.Detail().find((Directory.Path() / "file" / "history").string()),
              std::string::npos)
        << Error.Detail();
  }
}

}  // namespace
}  // namespace tolvane
