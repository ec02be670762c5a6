// The controller simulator as a program: started as a child on a real pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/simulator_process.h"

namespace tolvane {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

bool ExitedWith(const std::optional<int>& Status, int Code) {
  return Status.has_value() && WIFEXITED(*Status) && WEXITSTATUS(*Status) == Code;
}

class ControllerSimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char Template[] = "/tmp/controller_simulator_test.XXXXXX";
    ASSERT_NE(mkdtemp(Template), nullptr);
    Dir = Template;
    LogPath = (Dir / "simulator.log").string();
    LinkPath = (Dir / "ttyAMP").string();
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::vector<std::string> WithLog(std::vector<std::string> Args) const {
    Args.insert(Args.end(), {"--log", LogPath});
    return Args;
  }

  fs::path Dir;
  std::string LogPath;
  std::string LinkPath;
};

TEST_F(ControllerSimulatorTest, HelpAndBadOptions) {
  {
    TSimulatorProcess Help({"--help"});
    EXPECT_NE(Help.ReadAllStdout().find("Usage: controller_simulator"), std::string::npos);
    EXPECT_TRUE(ExitedWith(Help.Stop(0), 0));
  }
  TSimulatorProcess Bad({"--delay", "soon"});
  EXPECT_TRUE(ExitedWith(Bad.Stop(0), 2));
}

TEST_F(ControllerSimulatorTest, AnswersTheUtilitysPacketsThroughItsLink) {
  TSimulatorProcess Simulator(WithLog({"--link", LinkPath}));
  ASSERT_FALSE(Simulator.SlavePath().empty());
  EXPECT_EQ(fs::read_symlink(LinkPath).string(), Simulator.SlavePath());
  TLineClient Line(LinkPath);
  ASSERT_TRUE(Line.IsOpen());

  const std::vector<std::pair<std::string, std::string>> Exchanges = {
      {"ID;", "ID200;"},
      {"ST0012;", "ST001202900;"},
      {"ST0032;", "ST003200030;"},
      {"ST001401234;", "ST001401234;"},
      {"ST0014;", "ST001401234;"},
      {"DI;XX;ST0013;ID;", "ID200;"},  // the disconnect notice and unknown packets get no answer
  };
  for (const auto& [Sent, Expected] : Exchanges) {
    SCOPED_TRACE(Sent);
    Line.Send(Sent);
    EXPECT_EQ(Line.ReadPackets(1), Expected);
  }
  for (const char* Text : {"rx \"ID;\"", "register 0014 set to 01234", "packet \"DI\": DI noted"}) {
    EXPECT_TRUE(WaitForText(LogPath, Text)) << Text;
  }
}

struct TExchange {
  std::string Send;
  int Packets;
  std::string Expected;
  std::chrono::milliseconds NotBefore = 0ms;
};

struct TFaultCase {
  const char* Name;
  std::vector<std::string> Args;
  std::vector<TExchange> Exchanges;
  std::vector<std::string> LogHolds;
};

// Each exchange ends with a reply that must come, so an unanswered packet is shown by what
// arrives first instead of by waiting for nothing.
TEST_F(ControllerSimulatorTest, FaultOptionsBehaveLikeRealControllersAndLines) {
  const std::vector<TFaultCase> Cases = {
      {"identifies from the third poll",
       {"--identify-after", "3"},
       {{"ID;ID;ST0012;", 1, "ST001202900;"}, {"ID;", 1, "ID200;"}},
       {"identification poll 2 unanswered"}},
      {"never identifies",
       {"--never-identify"},
       {{"ID;ID;ST0012;", 1, "ST001202900;"}},
       {"never identifies"}},
      {"another status", {"--id-status", "503"}, {{"ID;", 1, "ID503;"}}, {}},
      {"reply delay", {"--delay", "300"}, {{"ID;", 1, "ID200;", 300ms}}, {}},
      {"split replies",
       {"--split", "2", "--split-gap", "20"},
       {{"ID;", 1, "ID200;"}},
       {"tx \"ID\"", "tx \"20\"", "tx \"0;\""}},
      {"line end before replies", {"--crlf"}, {{"ID;", 1, "\r\nID200;"}}, {}},
      {"dropped replies",
       {"--drop-every", "2"},
       {{"ID;", 1, "ID200;"}, {"ID;ST0012;", 1, "ST001202900;"}},
       {"reply \"ID200;\" dropped"}},
  };
  for (const TFaultCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TSimulatorProcess Simulator(WithLog(Case.Args));
    ASSERT_FALSE(Simulator.SlavePath().empty());
    TLineClient Line(Simulator.SlavePath());
    ASSERT_TRUE(Line.IsOpen());
    for (const TExchange& Exchange : Case.Exchanges) {
      const auto Started = std::chrono::steady_clock::now();
      Line.Send(Exchange.Send);
      EXPECT_EQ(Line.ReadPackets(Exchange.Packets), Exchange.Expected);
      // Only a lower bound: a busy machine makes a reply later, never earlier.
      EXPECT_GE(std::chrono::steady_clock::now() - Started, Exchange.NotBefore - 20ms);
    }
    // The simulator logs a write after making it, so the log may lag what has arrived.
    for (const std::string& Text : Case.LogHolds) EXPECT_TRUE(WaitForText(LogPath, Text)) << Text;
    EXPECT_TRUE(ExitedWith(Simulator.Stop(SIGTERM), 0));
    fs::remove(LogPath);
  }
}

TEST_F(ControllerSimulatorTest, GarbageIsAPacketOfItsOwnBeforeTheReply) {
  TSimulatorProcess Simulator(WithLog({"--garbage", "6"}));
  TLineClient Line(Simulator.SlavePath());
  ASSERT_TRUE(Line.IsOpen());
  Line.Send("ID;");
  const std::string Received = Line.ReadPackets(2);
  ASSERT_EQ(Received.size(), 6u + 1 + 6);
  EXPECT_EQ(Received.find(';'), 6u);
  EXPECT_EQ(Received.substr(7), "ID200;");
}

TEST_F(ControllerSimulatorTest, StopSignalsRemoveTheLinkAndExitCleanly) {
  for (const int Signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(Signal);
    TSimulatorProcess Simulator(WithLog({"--link", LinkPath}));
    ASSERT_FALSE(Simulator.SlavePath().empty());
    ASSERT_TRUE(fs::is_symlink(LinkPath));
    EXPECT_TRUE(ExitedWith(Simulator.Stop(Signal), 0));
    EXPECT_FALSE(fs::is_symlink(LinkPath));
  }
}

TEST_F(ControllerSimulatorTest, StaleLinkIsReplacedButAFileIsNot) {
  fs::create_symlink("/dev/nonexistent-tty", LinkPath);
  {
    TSimulatorProcess Simulator(WithLog({"--link", LinkPath}));
    ASSERT_FALSE(Simulator.SlavePath().empty());
    EXPECT_EQ(fs::read_symlink(LinkPath).string(), Simulator.SlavePath());
    EXPECT_TRUE(ExitedWith(Simulator.Stop(SIGTERM), 0));
  }
  std::ofstream(LinkPath) << "keep";
  TSimulatorProcess Refused(WithLog({"--link", LinkPath}));
  EXPECT_TRUE(ExitedWith(Refused.Stop(0), 1));
  EXPECT_EQ(ReadTextFile(LinkPath), "keep");
}

TEST_F(ControllerSimulatorTest, RegistersAreKeptAcrossRuns) {
  const std::string Registers = (Dir / "registers.txt").string();
  {
    TSimulatorProcess Simulator(WithLog({"--registers", Registers}));
    TLineClient Line(Simulator.SlavePath());
    ASSERT_TRUE(Line.IsOpen());
    Line.Send("ST002201234;");
    ASSERT_EQ(Line.ReadPackets(1), "ST002201234;");
    EXPECT_TRUE(ExitedWith(Simulator.Stop(SIGTERM), 0));
  }
  TSimulatorProcess Again(WithLog({"--registers", Registers}));
  TLineClient Line(Again.SlavePath());
  ASSERT_TRUE(Line.IsOpen());
  Line.Send("ST0022;ST0024;");
  EXPECT_EQ(Line.ReadPackets(2), "ST002201234;ST002400005;");
}

TEST_F(ControllerSimulatorTest, SurvivesNoiseOverlongPacketsAndBursts) {
  TSimulatorProcess Simulator(WithLog({}));
  TLineClient Line(Simulator.SlavePath());
  ASSERT_TRUE(Line.IsOpen());
  std::mt19937 Random(5);
  std::uniform_int_distribution<int> AnyByte(0, 255);
  std::string Noise;
  for (int Index = 0; Index < 200000; ++Index) {
    // A ";" now and then, so the noise also forms packets of every length.
    char Byte = static_cast<char>(AnyByte(Random));
    if (Byte == ';' && Index % 3 != 0) Byte = 'x';
    Noise += Byte;
  }
  Line.Send(Noise + ";");
  std::string Burst;
  for (int Poll = 0; Poll < 500; ++Poll) Burst += "ST0012;";
  Line.Send(Burst + "ID;");
  const std::string Received = Line.ReadPackets(501, 30s);
  EXPECT_EQ(Received.size(), 500u * 12 + 6);
  EXPECT_TRUE(Received.ends_with("ST001202900;ID200;"));
  EXPECT_TRUE(WaitForText(LogPath, "overlong packet dropped"));
}

TEST_F(ControllerSimulatorTest, LineCanBeClosedAndReopenedWithoutTheSimulatorSpinning) {
  TSimulatorProcess Simulator(WithLog({}));
  ASSERT_FALSE(Simulator.SlavePath().empty());
  for (int Opening = 0; Opening < 3; ++Opening) {
    SCOPED_TRACE(Opening);
    {
      TLineClient Line(Simulator.SlavePath());
      ASSERT_TRUE(Line.IsOpen());
      // The utility's device takes the line for exclusive use; the simulator must lift that
      // when it is closed, or nobody but root could open the line again.
      int Exclusive = -1;
      ASSERT_EQ(ioctl(Line.Fd(), TIOCGEXCL, &Exclusive), 0);
      EXPECT_EQ(Exclusive, 0);
      ASSERT_EQ(ioctl(Line.Fd(), TIOCEXCL), 0);
      Line.Send("ID;");
      EXPECT_EQ(Line.ReadPackets(1), "ID200;");
    }
    ASSERT_TRUE(WaitForText(LogPath, "line closed", Opening + 1));
  }
  // Idle with the line closed: a loop that spun on hang-ups would burn a second of CPU here.
  const auto Before = Simulator.CpuTime();
  std::this_thread::sleep_for(1s);
  EXPECT_LT(Simulator.CpuTime() - Before, 300ms);
  EXPECT_TRUE(ExitedWith(Simulator.Stop(SIGTERM), 0));
}

// Pulling the cable: the line vanishes after a number of packets or on SIGUSR1, the utility's
// side sees the hang-up, and SIGUSR2 brings a new line behind the same link.
TEST_F(ControllerSimulatorTest, TheLineVanishesAndComesBackBehindTheSameLink) {
  TSimulatorProcess Simulator(WithLog({"--link", LinkPath, "--vanish-after", "2"}));
  ASSERT_FALSE(Simulator.SlavePath().empty());
  {
    TLineClient Line(LinkPath);
    ASSERT_TRUE(Line.IsOpen());
    Line.Send("ID;");
    EXPECT_EQ(Line.ReadPackets(1), "ID200;");
    Line.Send("ST0012;");
    EXPECT_EQ(Line.ReadPackets(1), "") << "the second packet takes the line with it";
    EXPECT_TRUE(WaitForText(LogPath, "line vanished (after 2 packets)"));
    EXPECT_LT(::write(Line.Fd(), "ID;", 3), 0);
    EXPECT_EQ(errno, EIO);
  }
  ASSERT_EQ(::kill(Simulator.Pid(), SIGUSR2), 0);
  ASSERT_TRUE(WaitForText(LogPath, "line back as"));
  {
    TLineClient Line(LinkPath);
    ASSERT_TRUE(Line.IsOpen());
    Line.Send("ID;ST0012;ST0014;");
    EXPECT_EQ(Line.ReadPackets(3), "ID200;ST001202900;ST001400850;") << "it vanishes only once";
    ASSERT_EQ(::kill(Simulator.Pid(), SIGUSR1), 0);
    EXPECT_EQ(Line.ReadPackets(1), "");
    EXPECT_TRUE(WaitForText(LogPath, "line vanished (SIGUSR1)"));
  }
  // Stopped while the line is away: the link goes all the same.
  EXPECT_TRUE(ExitedWith(Simulator.Stop(SIGTERM), 0));
  EXPECT_FALSE(fs::is_symlink(LinkPath));
  const std::string Printed = Simulator.ReadAllStdout();
  EXPECT_EQ(std::count(Printed.begin(), Printed.end(), '\n'), 2) << "one device path per line";
}

}  // namespace
}  // namespace tolvane
