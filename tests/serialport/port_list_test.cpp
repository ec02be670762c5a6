#include "serialport/port_list.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serialport/com_error.h"
#include "tests/serialport/sysfs_tree.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(ListComPortsTest, ListsHardwarePortsSortedCaseInsensitivelyCharacterByCharacter) {
  TSysfsTree Tree;
  for (const char* Name : {"ttyS2", "ttyS10", "ttyS1"}) Tree.AddPort(Name, "4");
  Tree.AddPort("ttyUSB0");
  Tree.AddPort("ttyACM0");
  Tree.AddPort("TTYa");
  Names Result;
  ListComPorts(Result, Tree.ClassRoot());
  EXPECT_EQ(Result, (Names{"TTYa", "ttyACM0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB0"}));
}

TEST(ListComPortsTest, SortsComNamesLikeTheOperatorSeesThem) {
  TSysfsTree Tree;
  for (const char* Name : {"COM2", "COM10", "COM1"}) Tree.AddPort(Name);
  Names Result;
  ListComPorts(Result, Tree.ClassRoot());
  EXPECT_EQ(Result, (Names{"COM1", "COM10", "COM2"}));
}

TEST(ListComPortsTest, LeavesOutTerminalsWithoutHardwareAndPlaceholderUarts) {
  TSysfsTree Tree;
  Tree.AddPort("ttyS0", "4");  // a 16550A
  Tree.AddPort("ttyS1", "0");  // PORT_UNKNOWN: nothing answered at the legacy address
  Tree.AddPort("ttyS2", "0");
  Tree.AddPort("ttyAMA0", "91");
  Tree.AddVirtual("console");
  Tree.AddVirtual("tty1");
  Tree.AddVirtual("ptmx");
  Names Result;
  ListComPorts(Result, Tree.ClassRoot());
  EXPECT_EQ(Result, (Names{"ttyAMA0", "ttyS0"}));
}

TEST(ListComPortsTest, ReplacesTheTargetContents) {
  TSysfsTree Tree;
  Tree.AddPort("ttyUSB0");
  Names Result{"stale", "ttyUSB0", "older"};
  ListComPorts(Result, Tree.ClassRoot());
  EXPECT_EQ(Result, (Names{"ttyUSB0"}));

  TSysfsTree Empty;
  ListComPorts(Result, Empty.ClassRoot());
  EXPECT_TRUE(Result.empty());
}

TEST(ListComPortsTest, UnreadableRootRaisesRegistryErrorWithTheSystemCodeAndKeepsTheTarget) {
  TSysfsTree Tree;
  const std::string AFile = (Tree.Base() / "plain-file").string();
  std::ofstream(AFile) << "not a directory";
  struct TCase {
    std::string Root;
    int Code;
  };
  for (const TCase& Case :
       {TCase{(Tree.Base() / "missing").string(), ENOENT}, TCase{AFile, ENOTDIR}}) {
    Names Result{"kept"};
    try {
      ListComPorts(Result, Case.Root);
      ADD_FAILURE() << "no error for " << Case.Root;
    } catch (const EComPort& Error) {
      EXPECT_EQ(Error.ErrorNumber(), 23);
      EXPECT_EQ(Error.SystemErrorCode(), Case.Code);
      EXPECT_EQ(Error.Message(),
                "Registry error (win error code: " + std::to_string(Case.Code) + ")");
    }
    EXPECT_EQ(Result, (Names{"kept"}));
  }
}

TEST(ListComPortsTest, OddEntriesAreSkippedOrListedWithoutHarm) {
  TSysfsTree Tree;
  Tree.AddPort("ttyUSB1");
  Tree.AddPort("tty S9");             // a blank in the name: listed as it is
  Tree.AddPort("ttyS3", "garbage");   // a type that is no number does not hide the port
  Tree.AddPort("ttyS4", " 0");        // surrounding blanks still read as 0
  Tree.AddBrokenEntry("ttyUSB7");     // the class link leads nowhere
  Tree.AddBrokenDeviceLink("ttyS5");  // the device link leads nowhere
  std::ofstream(fs::path(Tree.ClassRoot()) / "stray-file") << "x";
  Names Result;
  ListComPorts(Result, Tree.ClassRoot());
  EXPECT_EQ(Result, (Names{"tty S9", "ttyS3", "ttyUSB1"}));
}

TEST(ListComPortsTest, ManyPortsAreAllListedInOrder) {
  TSysfsTree Tree;
  constexpr int Count = 600;
  for (int I = Count - 1; I >= 0; --I) Tree.AddPort("ttyUSB" + std::to_string(I));
  Names Result;
  ListComPorts(Result, Tree.ClassRoot());
  ASSERT_EQ(Result.size(), static_cast<std::size_t>(Count));
  EXPECT_TRUE(std::is_sorted(Result.begin(), Result.end()));  // all share one case
  EXPECT_EQ(Result.front(), "ttyUSB0");
  EXPECT_EQ(Result[1], "ttyUSB1");
  EXPECT_EQ(Result[2], "ttyUSB10");
}

}  // namespace
}  // namespace tolvane
