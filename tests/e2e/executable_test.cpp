// The utility as a program: a copy started in a directory of its own, offscreen, with the
// simulator at the far end of the line its settings file names.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "tests/e2e/utility_session.h"
#include "tests/support/temp_directory.h"
#include "tests/tools/simulator_process.h"

extern char** environ;

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

// The utility as a child process, killed and reaped at the latest when this object goes.
class TUtilityProcess {
 public:
  TUtilityProcess(const fs::path& Program, const fs::path& WorkingDirectory) {
    std::vector<std::string> Environment = {"QT_QPA_PLATFORM=offscreen"};
    for (char** Variable = environ; *Variable != nullptr; ++Variable) {
      if (!std::string_view(*Variable).starts_with("QT_QPA_PLATFORM=")) {
        Environment.emplace_back(*Variable);
      }
    }
    std::vector<char*> Envp;
    for (std::string& Variable : Environment) Envp.push_back(Variable.data());
    Envp.push_back(nullptr);
    std::string Path = Program.string();
    char* Argv[] = {Path.data(), nullptr};

    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addchdir_np(&Actions, WorkingDirectory.c_str());
    if (posix_spawn(&Pid_, Argv[0], &Actions, nullptr, Argv, Envp.data()) != 0) Pid_ = -1;
    posix_spawn_file_actions_destroy(&Actions);
  }
  ~TUtilityProcess() {
    if (Pid_ <= 0) return;
    ::kill(Pid_, SIGKILL);
    int Status = 0;
    while (::waitpid(Pid_, &Status, 0) < 0 && errno == EINTR) {
    }
  }
  TUtilityProcess(const TUtilityProcess&) = delete;
  TUtilityProcess& operator=(const TUtilityProcess&) = delete;

  bool Started() const { return Pid_ > 0; }
  pid_t Pid() const { return Pid_; }
  bool Running() const {
    int Status = 0;
    return Pid_ > 0 && ::waitpid(Pid_, &Status, WNOHANG) == 0;
  }
  // Sends Signal and waits for the end; the wait status, or nothing when the bound passes.
  std::optional<int> Stop(int Signal, std::chrono::milliseconds Bound = WaitBound) {
    ::kill(Pid_, Signal);
    const TClock::time_point Deadline = TClock::now() + Bound;
    for (;;) {
      int Status = 0;
      if (::waitpid(Pid_, &Status, WNOHANG) == Pid_) {
        Pid_ = -1;
        return Status;
      }
      if (TClock::now() >= Deadline) return std::nullopt;
      std::this_thread::sleep_for(10ms);
    }
  }

 private:
  pid_t Pid_ = -1;
};

std::set<std::string> NamesIn(const fs::path& Directory) {
  std::set<std::string> Names;
  for (const auto& Entry : fs::directory_iterator(Directory)) {
    Names.insert(Entry.path().filename().string());
  }
  return Names;
}

bool EndedBy(const std::optional<int>& Status, int Signal) {
  return Status.has_value() && WIFSIGNALED(*Status) && WTERMSIG(*Status) == Signal;
}

class Executable : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(Installed);
    fs::create_directory(Elsewhere);
    fs::copy_file(TOLVANE_EXECUTABLE, Program);
  }

  // Waits, without the Qt loop, until Condition holds or the bound passes.
  static bool WaitUntil(const std::function<bool()>& Condition) {
    const TClock::time_point Deadline = TClock::now() + WaitBound;
    while (!Condition()) {
      if (TClock::now() >= Deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }

  TTempDirectory Directory;
  const fs::path Installed = Directory.Path() / "utility";
  const fs::path Elsewhere = Directory.Path() / "working";
  const fs::path Program = Installed / "tolvane";
  const fs::path Settings = Installed / "Settings.ini";
};

TEST_F(Executable, AFirstStartCreatesOnlyItsSettingsFileBesideItself) {
  TUtilityProcess Utility(Program, Elsewhere);
  ASSERT_TRUE(Utility.Started());
  ASSERT_TRUE(WaitUntil([&] {
    return testing_support::ReadTextFile(Settings.string()).find("SWH_D=00050") !=
           std::string::npos;
  }));
  EXPECT_TRUE(Utility.Running());
  EXPECT_TRUE(EndedBy(Utility.Stop(SIGTERM), SIGTERM));

  const std::string Text = testing_support::ReadTextFile(Settings.string());
  EXPECT_LT(Text.find("[ComPort]"), Text.find("[Settings]"));
  EXPECT_NE(Text.find("UaMAX=03200"), std::string::npos);
  EXPECT_EQ(NamesIn(Installed), (std::set<std::string>{"Settings.ini", "tolvane"}));
  EXPECT_TRUE(NamesIn(Elsewhere).empty());
}

TEST_F(Executable, SendsNothingUntilTheOperatorConnectsAndEndsOnSigterm) {
  const std::string Line = (Directory.Path() / "controller").string();
  const std::string Log = (Directory.Path() / "simulator.log").string();
  testing_support::TSimulatorProcess Simulator({"--link", Line, "--log", Log});
  ASSERT_FALSE(Simulator.SlavePath().empty());
  const std::string SettingsText = "[ComPort]\nPort=" + Line + "\n";
  std::ofstream(Settings) << SettingsText;
  ASSERT_TRUE(testing_support::WaitForText(Log, "serving"));
  const std::string LogAtStart = testing_support::ReadTextFile(Log);

  TUtilityProcess Utility(Program, Elsewhere);
  ASSERT_TRUE(Utility.Started());
  // Nothing observable is expected, so this is a plain watch of about a second.
  const TClock::time_point WatchEnd = TClock::now() + 1200ms;
  while (TClock::now() < WatchEnd) {
    ASSERT_EQ(testing_support::ReadTextFile(Log), LogAtStart);
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(Utility.Running());
  const pid_t Pid = Utility.Pid();
  EXPECT_TRUE(EndedBy(Utility.Stop(SIGTERM), SIGTERM));
  EXPECT_EQ(::kill(Pid, 0), -1) << "the process is still there";

  EXPECT_EQ(testing_support::ReadTextFile(Log), LogAtStart) << "the line was opened";
  EXPECT_EQ(testing_support::ReadTextFile(Settings.string()), SettingsText);
  EXPECT_EQ(NamesIn(Installed), (std::set<std::string>{"Settings.ini", "tolvane"}));
  EXPECT_TRUE(NamesIn(Elsewhere).empty());
}

}  // namespace
}  // namespace tolvane
