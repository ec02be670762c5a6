#include "tools/simulator_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tolvane {
namespace {

struct TOptionCase {
  std::vector<std::string> Args;
  std::function<bool(const TSimulatorOptions&)> Holds;
};

TEST(SimulatorOptionsTest, ValidCommandLines) {
  const std::vector<TOptionCase> Cases = {
      {{},
       [](const TSimulatorOptions& O) {
         return !O.Help && O.LinkPath.empty() && O.LogPath.empty() && O.RegisterFile.empty() &&
                O.Identify.FirstAnsweredPoll == 1 && !O.Identify.Never &&
                O.Identify.Status == "200" && O.Faults.DelayMs == 0 && O.Faults.SplitSize == 0 &&
                !O.Faults.CrLf && O.Faults.GarbageBytes == 0 && O.Faults.DropEvery == 0 &&
                O.Vanish.AfterPackets == 0 && O.Vanish.ReturnAfterMs == -1;
       }},
      {{"--help"}, [](const TSimulatorOptions& O) { return O.Help; }},
      {{"-h"}, [](const TSimulatorOptions& O) { return O.Help; }},
      {{"--link", "/tmp/ttyAMP"},
       [](const TSimulatorOptions& O) { return O.LinkPath == "/tmp/ttyAMP"; }},
      {{"--link=/tmp/x"}, [](const TSimulatorOptions& O) { return O.LinkPath == "/tmp/x"; }},
      {{"--log", "sim.log"}, [](const TSimulatorOptions& O) { return O.LogPath == "sim.log"; }},
      {{"--registers", "r.txt"},
       [](const TSimulatorOptions& O) { return O.RegisterFile == "r.txt"; }},
      {{"--identify-after", "5"},
       [](const TSimulatorOptions& O) { return O.Identify.FirstAnsweredPoll == 5; }},
      {{"--never-identify"}, [](const TSimulatorOptions& O) { return O.Identify.Never; }},
      {{"--vanish-after", "12", "--return-after", "0"},
       [](const TSimulatorOptions& O) {
         return O.Vanish.AfterPackets == 12 && O.Vanish.ReturnAfterMs == 0;
       }},
      {{"--id-status", "404"},
       [](const TSimulatorOptions& O) { return O.Identify.Status == "404"; }},
      {{"--delay", "150"}, [](const TSimulatorOptions& O) { return O.Faults.DelayMs == 150; }},
      {{"--split", "3", "--split-gap", "0"},
       [](const TSimulatorOptions& O) {
         return O.Faults.SplitSize == 3 && O.Faults.SplitGapMs == 0;
       }},
      {{"--crlf"}, [](const TSimulatorOptions& O) { return O.Faults.CrLf; }},
      {{"--garbage=12"}, [](const TSimulatorOptions& O) { return O.Faults.GarbageBytes == 12; }},
      {{"--drop-every", "4"}, [](const TSimulatorOptions& O) { return O.Faults.DropEvery == 4; }},
      {{"--seed", "4294967295"}, [](const TSimulatorOptions& O) { return O.Seed == 4294967295u; }},
      {{"--silent-registers", "0016,0024", "--unstored-registers=0032"},
       [](const TSimulatorOptions& O) {
         return O.Registers.Silent == std::set<std::string>{"0016", "0024"} &&
                O.Registers.Unstored == std::set<std::string>{"0032"};
       }},
      {{"--reply", "0012=12x45", "--reply=0014="},
       [](const TSimulatorOptions& O) {
         return O.Registers.Replaced ==
                std::map<std::string, std::string>{{"0012", "12x45"}, {"0014", ""}};
       }},
  };
  for (const TOptionCase& Case : Cases) {
    SCOPED_TRACE(testing::PrintToString(Case.Args));
    const TParsedOptions Parsed = ParseSimulatorOptions(Case.Args);
    EXPECT_EQ(Parsed.Error, "");
    EXPECT_TRUE(Case.Holds(Parsed.Options));
  }
}

TEST(SimulatorOptionsTest, InvalidCommandLinesAreRefused) {
  const std::vector<std::vector<std::string>> Cases = {
      {"--bogus"},
      {"extra"},
      {"--link"},
      {"--link="},
      {"--delay", "-1"},
      {"--delay", "10ms"},
      {"--delay", ""},
      {"--delay", "600001"},
      {"--split", "0"},
      {"--identify-after", "0"},
      {"--drop-every", "0"},
      {"--vanish-after", "0"},
      {"--return-after", "-5"},
      {"--garbage", "4097"},
      {"--id-status", "20"},
      {"--id-status", "2;0"},
      {"--seed", "4294967296"},
      {"--crlf=yes"},
      {"--identify-after", "99999999999999999999"},
      {"--silent-registers", "0013"},
      {"--silent-registers", "0016,"},
      {"--reply", "0013=12x45"},
      {"--reply", "001212x45"},
      {"--reply", "0012=1;2"},
      {"--unstored-registers", ""},
  };
  for (const std::vector<std::string>& Args : Cases) {
    SCOPED_TRACE(testing::PrintToString(Args));
    EXPECT_NE(ParseSimulatorOptions(Args).Error, "");
  }
}

TEST(SimulatorOptionsTest, UsageNamesEveryOption) {
  const std::string Usage = SimulatorUsage("controller_simulator");
  for (const char* Option :
       {"--link", "--log", "--registers", "--identify-after", "--never-identify", "--id-status",
        "--delay", "--split", "--split-gap", "--crlf", "--garbage", "--drop-every",
        "--vanish-after", "--return-after", "--silent-registers", "--unstored-registers", "--seed",
        "--help"}) {
    EXPECT_NE(Usage.find(Option), std::string::npos) << Option;
  }
}

}  // namespace
}  // namespace tolvane
