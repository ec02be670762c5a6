// tolvane-cli as a program against the controller simulator on a pseudo-terminal: each exit
// code, the files it writes and keeps, the backups, and what reached the line (the simulator's
// log). The program runs with a state directory of the test's own.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "logic/protocol/register_table.h"
#include "tests/support/ser2net_server.h"
#include "tests/support/temp_directory.h"
#include "tests/tools/simulator_process.h"

extern char** environ;

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::ReadTextFile;
using testing_support::TLoopbackClient;
using testing_support::TSer2netServer;
using testing_support::TServerProtocol;
using testing_support::TSimulatorProcess;

struct TRun {
  int Exit = -1;
  std::string Out;
  std::string Err;
};

// The values the simulator starts with (its factory values differ from the window's defaults).
const std::vector<std::string> Held = {"02900", "00850", "00550", "00200", "00025", "00060",
                                       "00005", "00020", "00003", "00015", "00030"};

std::string ValuesText(const std::vector<std::string>& Values) {
  std::string Text = "[Settings]\n";
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    Text += std::string(RegisterTable[Row].FileKey) + "=" + Values[Row] + "\n";
  }
  return Text;
}

int CountOf(const std::string& Text, const std::string& Sought) {
  int Count = 0;
  for (std::size_t At = Text.find(Sought); At != std::string::npos; At = Text.find(Sought, At + 1))
    ++Count;
  return Count;
}

class CommandLine : public testing::Test {
 protected:
  void StartSimulator(const std::vector<std::string>& Options = {}) {
    std::vector<std::string> Args = {"--log", Log.string()};
    Args.insert(Args.end(), Options.begin(), Options.end());
    Simulator = std::make_unique<TSimulatorProcess>(Args);
    ASSERT_FALSE(Simulator->SlavePath().empty());
  }
  // Runs tolvane-cli with Args (after --port and the simulator's line when it runs); stdout and
  // stderr go to files. The bound only ends a run that would otherwise hang.
  TRun Cli(std::vector<std::string> Args, bool WithPort = true) {
    return FinishCli(StartCli(std::move(Args), WithPort));
  }
  // Starts tolvane-cli as Cli does and returns its process, -1 when it could not start.
  pid_t StartCli(std::vector<std::string> Args, bool WithPort = true) {
    if (WithPort && Simulator) Args.insert(Args.begin(), {"--port", Simulator->SlavePath()});
    std::vector<std::string> Line = {TOLVANE_CLI};
    Line.insert(Line.end(), Args.begin(), Args.end());
    std::vector<char*> Argv;
    for (std::string& Arg : Line) Argv.push_back(Arg.data());
    Argv.push_back(nullptr);
    std::vector<std::string> Environment = {"XDG_STATE_HOME=" + State.string(),
                                            "HOME=" + Directory.Path().string()};
    for (char** Variable = environ; *Variable != nullptr; ++Variable) {
      const std::string_view Entry(*Variable);
      if (!Entry.starts_with("XDG_STATE_HOME=") && !Entry.starts_with("HOME=")) {
        Environment.emplace_back(Entry);
      }
    }
    std::vector<char*> Envp;
    for (std::string& Variable : Environment) Envp.push_back(Variable.data());
    Envp.push_back(nullptr);
    const fs::path Out = OutPath;
    const fs::path Err = Directory.Path() / "err.txt";
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, Out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&Actions, STDERR_FILENO, Err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&Actions, Directory.Path().c_str());
    pid_t Pid = -1;
    const int Failed = posix_spawn(&Pid, Argv[0], &Actions, nullptr, Argv.data(), Envp.data());
    posix_spawn_file_actions_destroy(&Actions);
    return Failed == 0 ? Pid : -1;
  }
  // Waits for the program Cli started and reads what it wrote.
  TRun FinishCli(pid_t Pid) {
    TRun Run;
    if (Pid < 0) return Run;
    const fs::path Out = OutPath;
    const fs::path Err = Directory.Path() / "err.txt";
    const auto Deadline = std::chrono::steady_clock::now() + 60s;
    int Status = 0;
    while (::waitpid(Pid, &Status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > Deadline) {
        ::kill(Pid, SIGKILL);
        ::waitpid(Pid, &Status, 0);
        ADD_FAILURE() << "tolvane-cli did not end";
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
    if (WIFEXITED(Status)) Run.Exit = WEXITSTATUS(Status);
    if (Out == DefaultOut) Run.Out = ReadTextFile(Out.string());
    Run.Err = ReadTextFile(Err.string());
    return Run;
  }
  std::string File(const char* Name) const { return (Directory.Path() / Name).string(); }
  void WriteFile(const char* Name, const std::string& Text) const {
    std::ofstream(File(Name)) << Text;
  }
  // Backups by file name, with their content.
  std::vector<std::pair<std::string, std::string>> Backups() const {
    std::vector<std::pair<std::string, std::string>> Found;
    const fs::path History = State / "tolvane" / "history";
    if (!fs::exists(History)) return Found;
    for (const auto& Entry : fs::directory_iterator(History)) {
      Found.emplace_back(Entry.path().filename().string(), ReadTextFile(Entry.path().string()));
    }
    return Found;
  }
  std::string SimulatorLog() const { return ReadTextFile(Log.string()); }

  TTempDirectory Directory;
  // Where the program's standard output goes; only the default is read back.
  const fs::path DefaultOut = Directory.Path() / "out.txt";
  fs::path OutPath = DefaultOut;
  const fs::path State = Directory.Path() / "state";
  const fs::path Log = Directory.Path() / "simulator.log";
  std::unique_ptr<TSimulatorProcess> Simulator;
};

TEST_F(CommandLine, ReadWritesTheFileAndKeepsABackup) {
  StartSimulator();
  const TRun Run = Cli({"read", "values.ini"});
  EXPECT_EQ(Run.Exit, ExitDone) << Run.Err;
  EXPECT_EQ(Run.Out, "") << "stdout carries only what a command reports";
  EXPECT_EQ(ReadTextFile(File("values.ini")), ValuesText(Held));
  const auto Kept = Backups();
  ASSERT_EQ(Kept.size(), 1u);
  EXPECT_TRUE(Kept[0].first.ends_with(" after read.ini")) << Kept[0].first;
  EXPECT_EQ(Kept[0].second, ValuesText(Held));
}

TEST_F(CommandLine, ASilentRegisterFailsTheReadNamedAndLeavesTheFileAsItWas) {
  StartSimulator({"--silent-registers", "0016,0028", "--reply", "0012=12x45"});
  WriteFile("values.ini", "kept\n");
  const TRun Run = Cli({"read", "values.ini"});
  EXPECT_EQ(Run.Exit, ExitRegisters);
  EXPECT_NE(Run.Err.find("UaMAX (Ua max, V): the controller sent \"12x45\", which is not a value"),
            std::string::npos)
      << Run.Err;
  EXPECT_NE(Run.Err.find("UgMax (Ug max, V)"), std::string::npos) << Run.Err;
  EXPECT_NE(Run.Err.find("SWR_H (SWR HI)"), std::string::npos) << Run.Err;
  EXPECT_EQ(ReadTextFile(File("values.ini")), "kept\n");
  EXPECT_TRUE(Backups().empty());
}

// The backup holds what the controller had; the read-back finds the register that only
// pretends to store.
TEST_F(CommandLine, WriteBacksUpFirstAndTheReadBackFindsAnUnstoredRegister) {
  StartSimulator({"--unstored-registers", "0020"});
  std::vector<std::string> New = Held;
  New[0] = "03100";
  New[4] = "00099";
  WriteFile("new.ini", ValuesText(New));
  const TRun Run = Cli({"write", "new.ini"});
  EXPECT_EQ(Run.Exit, ExitRegisters) << Run.Err;
  EXPECT_NE(Run.Err.find("T__ON (Time ON): sent 00099, the controller holds 00025"),
            std::string::npos)
      << Run.Err;
  EXPECT_EQ(Run.Err.find("UaMAX"), std::string::npos) << Run.Err;
  const auto Kept = Backups();
  ASSERT_EQ(Kept.size(), 1u);
  EXPECT_TRUE(Kept[0].first.ends_with(" before write.ini")) << Kept[0].first;
  EXPECT_EQ(Kept[0].second, ValuesText(Held));
  EXPECT_NE(Run.Err.find(Kept[0].first), std::string::npos) << "the operator is told where";
  EXPECT_NE(SimulatorLog().find("register 0012 set to 03100"), std::string::npos);

  // Written without the faulty register, everything matches: exit 0, and compare agrees.
  New[4] = "00025";
  WriteFile("new.ini", ValuesText(New));
  EXPECT_EQ(Cli({"write", "new.ini"}).Exit, ExitDone);
  const TRun Same = Cli({"compare", "new.ini"});
  EXPECT_EQ(Same.Exit, ExitDone) << Same.Err;
  EXPECT_EQ(Same.Out, "");
}

// SIGINT during a Write lets the register on the line finish and stops between two registers:
// exit 1, and every register is named as written or not written, with the backup to go back to.
TEST_F(CommandLine, ASignalDuringAWriteStopsItBetweenRegistersAndNamesWhatWasWritten) {
  StartSimulator();
  WriteFile("same.ini", ValuesText(Held));
  const pid_t Pid = StartCli({"write", "same.ini"});
  ASSERT_GT(Pid, 0);
  ASSERT_TRUE(testing_support::WaitForText(Log.string(), " set to ", 3)) << SimulatorLog();
  ASSERT_EQ(::kill(Pid, SIGINT), 0);
  const TRun Run = FinishCli(Pid);
  EXPECT_EQ(Run.Exit, ExitRegisters) << Run.Err;
  const std::size_t At = Run.Err.find("Write stopped on quitting after ");
  ASSERT_NE(At, std::string::npos) << Run.Err;
  const int Written = std::stoi(Run.Err.substr(At + 32));
  EXPECT_GE(Written, 3);
  EXPECT_LT(Written, int(RegisterCount)) << Run.Err;
  // What the simulator took is exactly what the report calls written; nothing came after it.
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(CountOf(SimulatorLog(), " set to "), Written) << SimulatorLog();
  EXPECT_NE(Run.Err.find("\nNot written: "), std::string::npos) << Run.Err;
  EXPECT_NE(Run.Err.find("tolvane-cli: stopped by a signal: Write stopped on quitting: " +
                         std::to_string(Written) + " of 11 written, none verified at "),
            std::string::npos)
      << Run.Err;
  const auto Kept = Backups();
  ASSERT_EQ(Kept.size(), 1u);
  EXPECT_NE(Run.Err.find(Kept[0].first + ".\nTo go back to them"), std::string::npos) << Run.Err;
}

// A slipped digit is refused with the guard's lines, and nothing reaches the registers or the
// backups; --dry-run reads the present values and prints every change, implausible ones first,
// writing and backing up nothing; --force writes the slip all the same.
TEST_F(CommandLine, AnImplausibleChangeIsRefusedUnlessForcedAndADryRunOnlyLists) {
  StartSimulator();
  std::vector<std::string> Slip = Held;
  Slip[4] = "00030";
  Slip[0] = "29000";
  WriteFile("slip.ini", ValuesText(Slip));
  const TRun Refused = Cli({"write", "slip.ini"});
  EXPECT_EQ(Refused.Exit, ExitUsage) << Refused.Err;
  EXPECT_NE(Refused.Err.find("tolvane-cli: 1 of 2 changes is implausible: negative, more than 4 "
                             "times or less than 1/4 of the controller's present value.\n"
                             "tolvane-cli: Ua max, V: 02900 -> 29000 (10 times the present value)\n"
                             "tolvane-cli: Also changing:\n"
                             "tolvane-cli: Time ON: 00025 -> 00030\n"
                             "tolvane-cli: nothing was written"),
            std::string::npos)
      << Refused.Err;

  const TRun Dry = Cli({"write", "--dry-run", "slip.ini"});
  EXPECT_EQ(Dry.Exit, ExitUsage) << Dry.Err;
  EXPECT_EQ(Dry.Out,
            "Ua max, V: 02900 -> 29000 (10 times the present value)\nTime ON: 00025 -> 00030\n");
  std::vector<std::string> Plausible = Slip;
  Plausible[0] = "03100";
  WriteFile("plausible.ini", ValuesText(Plausible));
  const TRun DryPlausible = Cli({"--dry-run", "write", "plausible.ini"});
  EXPECT_EQ(DryPlausible.Exit, ExitDone) << DryPlausible.Err;
  EXPECT_EQ(DryPlausible.Out, "Ua max, V: 02900 -> 03100\nTime ON: 00025 -> 00030\n");
  EXPECT_NE(SimulatorLog().find("register 0032 read"), std::string::npos) << SimulatorLog();
  EXPECT_EQ(SimulatorLog().find("set to"), std::string::npos) << SimulatorLog();
  EXPECT_TRUE(Backups().empty());

  const TRun Forced = Cli({"--force", "write", "slip.ini"});
  EXPECT_EQ(Forced.Exit, ExitDone) << Forced.Err;
  EXPECT_NE(Forced.Err.find("tolvane-cli: warning: Ua max, V: 02900 -> 29000"), std::string::npos)
      << Forced.Err;
  EXPECT_NE(SimulatorLog().find("register 0012 set to 29000"), std::string::npos);
  const auto Kept = Backups();
  ASSERT_EQ(Kept.size(), 1u);
  EXPECT_EQ(Kept[0].second, ValuesText(Held));
}

// Every backup opens again. A Read or Write that met a reply that is not a value leaves no
// backup; on a controller that answers values, the Read's and the Write's backups are whole
// values files, and the one made before the Write, written back, restores what it held.
TEST_F(CommandLine, EveryBackupOpensAgainAndWritesTheControllerBack) {
  const std::string Registers = File("registers.txt");
  StartSimulator({"--registers", Registers, "--reply", "0012=12x45"});
  std::vector<std::string> New = Held;
  New[0] = "03100";
  New[1] = "00900";
  WriteFile("new.ini", ValuesText(New));
  EXPECT_EQ(Cli({"read", "first.ini"}).Exit, ExitRegisters);
  EXPECT_EQ(Cli({"write", "new.ini"}).Exit, ExitRegisters);
  EXPECT_TRUE(Backups().empty());
  EXPECT_EQ(SimulatorLog().find("set to"), std::string::npos);

  StartSimulator({"--registers", Registers});  // the same registers, every reply a value
  EXPECT_EQ(Cli({"read", "read.ini"}).Exit, ExitDone);
  const TRun Written = Cli({"write", "new.ini"});
  EXPECT_EQ(Written.Exit, ExitDone) << Written.Err;
  const auto Kept = Backups();
  ASSERT_EQ(Kept.size(), 2u);
  std::string BeforeWrite;
  for (const auto& [Name, Text] : Kept) {
    EXPECT_EQ(Text, ValuesText(Held)) << Name;
    if (Name.ends_with(" before write.ini")) BeforeWrite = (State / "tolvane" / "history" / Name);
  }
  ASSERT_FALSE(BeforeWrite.empty());
  EXPECT_EQ(Cli({"compare", BeforeWrite}).Out,
            "UaMAX: controller 03100, file 02900\n"
            "IaMAX: controller 00900, file 00850\n");
  const TRun Restored = Cli({"write", BeforeWrite});
  EXPECT_EQ(Restored.Exit, ExitDone) << Restored.Err;
  const TRun Same = Cli({"compare", "read.ini"});
  EXPECT_EQ(Same.Exit, ExitDone) << Same.Out << Same.Err;
  EXPECT_EQ(Backups().size(), 3u);
}

TEST_F(CommandLine, CompareNamesEachDifferingKeyWithBothValues) {
  StartSimulator({"--silent-registers", "0024"});
  std::vector<std::string> Other = Held;
  Other[2] = "00650";
  Other[10] = "00031";
  WriteFile("other.ini", ValuesText(Other));
  const TRun Run = Cli({"compare", "other.ini"});
  EXPECT_EQ(Run.Exit, ExitRegisters) << Run.Err;
  EXPECT_EQ(Run.Out,
            "UgMax: controller 00550, file 00650\nT_Lig: did not answer\n"
            "SWH_D: controller 00030, file 00031\n")
      << "a silent register is no difference";
  EXPECT_EQ(SimulatorLog().find("set to"), std::string::npos) << "a comparison writes nothing";
}

// A bad file is refused before the port is opened: the simulator hears nothing at all.
TEST_F(CommandLine, ABadFileGivesExit2AndNothingReachesTheLine) {
  StartSimulator();
  std::vector<std::string> Bad = Held;
  Bad[7] = "20";
  WriteFile("bad.ini", ValuesText(Bad));
  WriteFile("short.ini", "[Settings]\nUaMAX=03200\n");
  WriteFile("empty.ini", "");
  WriteFile("garbage.ini",
            "\x7f"
            "ELF binary, not text\n");
  for (const char* Name : {"bad.ini", "short.ini", "missing.ini", "empty.ini", "garbage.ini"}) {
    const TRun Run = Cli({"write", Name});
    EXPECT_EQ(Run.Exit, ExitUsage) << Name;
    EXPECT_NE(Run.Err.find(Name), std::string::npos) << Run.Err;
  }
  EXPECT_NE(Cli({"write", "bad.ini"}).Err.find("T_Slp (Time Sleep) holds \"20\""),
            std::string::npos);
  EXPECT_NE(Cli({"write", "short.ini"}).Err.find("IaMAX (Ia max, mA) is missing"),
            std::string::npos);
  for (const char* Name : {"empty.ini", "garbage.ini"}) {
    const TRun Run = Cli({"compare", Name});
    EXPECT_NE(Run.Err.find("not a values file"), std::string::npos) << Run.Err;
    EXPECT_EQ(Run.Err.find("UaMAX"), std::string::npos) << "no key is blamed: " << Run.Err;
  }
  EXPECT_EQ(SimulatorLog().find(" rx "), std::string::npos) << SimulatorLog();
  EXPECT_TRUE(Backups().empty());
}

TEST_F(CommandLine, NoPortOrNoControllerGivesExit3WithTheNameAndTheReason) {
  const TRun NoPort = Cli({"--port", File("nothing-here"), "read", "values.ini"}, false);
  EXPECT_EQ(NoPort.Exit, ExitLine);
  EXPECT_NE(NoPort.Err.find(File("nothing-here") + ": No such file or directory"),
            std::string::npos)
      << NoPort.Err;

  StartSimulator({"--never-identify"});
  const TRun Silent = Cli({"--timeout", "0.5", "read", "values.ini"});
  EXPECT_EQ(Silent.Exit, ExitLine);
  EXPECT_NE(Silent.Err.find("did not identify: no answer to 5 identification polls"),
            std::string::npos)
      << Silent.Err;
  EXPECT_FALSE(fs::exists(File("values.ini")));
}

TEST_F(CommandLine, UsageErrorsGiveExit2AndTheUsage) {
  for (const std::vector<std::string>& Args : {std::vector<std::string>{},
                                               {"read"},
                                               {"fetch", "x.ini"},
                                               {"--baud", "fast", "read", "x"},
                                               {"--timeout", "0", "read", "x"},
                                               {"ports", "x"},
                                               {"--force", "read", "x"},
                                               {"compare", "--dry-run", "x"},
                                               {"--port"}}) {
    const TRun Run = Cli(Args, false);
    EXPECT_EQ(Run.Exit, ExitUsage) << testing::PrintToString(Args);
    EXPECT_NE(Run.Err.find("Usage: tolvane-cli"), std::string::npos) << Run.Err;
  }
  // Asked for, the help and the version are the report: standard output, exit 0.
  const TRun Help = Cli({"--help"}, false);
  EXPECT_EQ(Help.Exit, ExitDone);
  EXPECT_TRUE(Help.Out.starts_with("Usage: tolvane-cli")) << Help.Out;
  EXPECT_NE(Help.Out.find("--json"), std::string::npos) << Help.Out;
  EXPECT_NE(Help.Out.find("--force"), std::string::npos) << Help.Out;
  EXPECT_NE(Help.Out.find("--dry-run"), std::string::npos) << Help.Out;
  EXPECT_EQ(Help.Err, "");
  const TRun Version = Cli({"--version"}, false);
  EXPECT_EQ(Version.Exit, ExitDone);
  EXPECT_EQ(Version.Out, "tolvane-cli 0.0.1\n");
}

// A report that cannot be written is a failure with the system's reason, never a silent exit 0.
TEST_F(CommandLine, OutputThatCannotBeWrittenFailsWithTheSystemsReason) {
  OutPath = "/dev/full";
  const TRun Full = Cli({"ports"}, false);
  EXPECT_EQ(Full.Exit, ExitUsage);
  EXPECT_NE(Full.Err.find("cannot write standard output: No space left on device"),
            std::string::npos)
      << Full.Err;
  OutPath = DefaultOut;

  StartSimulator();
  const std::string Nowhere = File("no-such-folder") + "/values.ini";
  const TRun Read = Cli({"read", Nowhere});
  EXPECT_EQ(Read.Exit, ExitUsage);
  EXPECT_NE(Read.Err.find("cannot write " + Nowhere + ": No such file or directory"),
            std::string::npos)
      << Read.Err;
  EXPECT_EQ(SimulatorLog().find(" rx "), std::string::npos) << "refused before the port opens";
}

// --json: one document on standard output, registers by key with label and value.
TEST_F(CommandLine, JsonReportsOfReadAndCompare) {
  StartSimulator();
  const TRun Read = Cli({"--json", "read", "values.ini"});
  EXPECT_EQ(Read.Exit, ExitDone) << Read.Err;
  EXPECT_TRUE(Read.Out.starts_with("{\"command\":\"read\",\"port\":\"" + Simulator->SlavePath() +
                                   "\",\"file\":\"values.ini\",\"registers\":{"))
      << Read.Out;
  EXPECT_NE(Read.Out.find("\"UaMAX\":{\"label\":\"Ua max, V\",\"value\":\"02900\"}"),
            std::string::npos)
      << Read.Out;
  EXPECT_TRUE(Read.Out.ends_with("\"SWH_D\":{\"label\":\"Switch Delay\",\"value\":\"00030\"}}}\n"))
      << Read.Out;

  std::vector<std::string> Other = Held;
  Other[2] = "00650";
  WriteFile("other.ini", ValuesText(Other));
  const TRun Compare = Cli({"compare", "other.ini", "--json"});
  EXPECT_EQ(Compare.Exit, ExitRegisters) << Compare.Err;
  EXPECT_NE(Compare.Out.find("\"equal\":false,\"differences\":[{\"key\":\"UgMax\",\"label\":"
                             "\"Ug max, V\",\"controller\":\"00550\",\"file\":\"00650\"}]}\n"),
            std::string::npos)
      << Compare.Out;
  EXPECT_EQ(Compare.Out.find("UgMax: controller"), std::string::npos) << "only the document";
}

// The controller at a remote station: the simulator behind the real ser2net on loopback.
class RemoteCommandLine : public CommandLine {
 protected:
  void StartStation() {
    StartSimulator();
    Server = std::make_unique<TSer2netServer>(Simulator->SlavePath(), TServerProtocol::Rfc2217,
                                              Directory.Path());
    ASSERT_TRUE(Server->Start()) << Server->Error();
  }

  std::unique_ptr<TSer2netServer> Server;
};

TEST_F(RemoteCommandLine, ReadThroughRfc2217WritesTheFile) {
  StartStation();
  const TRun Run = Cli({"--port", Server->Url(), "--baud", "19200", "read", "values.ini"}, false);
  EXPECT_EQ(Run.Exit, ExitDone) << Run.Err;
  EXPECT_EQ(ReadTextFile(File("values.ini")), ValuesText(Held));
  EXPECT_EQ(Backups().size(), 1u);
  EXPECT_NE(SimulatorLog().find("line opened"), std::string::npos) << "through the server";
}

// The server's refusal reaches the operator in its own words, with the address.
TEST_F(RemoteCommandLine, ARefusedConnectionGivesExit3WithTheServersWords) {
  StartStation();
  const TLoopbackClient First(Server->Port());
  ASSERT_TRUE(First.Connected());
  ASSERT_TRUE(testing_support::WaitForText(Log.string(), "line opened")) << SimulatorLog();
  const TRun Run = Cli({"--port", Server->Url(), "read", "values.ini"}, false);
  EXPECT_EQ(Run.Exit, ExitLine);
  EXPECT_NE(Run.Err.find(Server->Url() + ": Port already in use"), std::string::npos) << Run.Err;
  EXPECT_FALSE(fs::exists(File("values.ini")));
  EXPECT_EQ(SimulatorLog().find(" rx "), std::string::npos) << SimulatorLog();
}

}  // namespace
}  // namespace tolvane
