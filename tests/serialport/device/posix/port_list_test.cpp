#include "serialport/device/port_list.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serialport/base/com_error.h"
#include "tests/support/sysfs_tree.h"

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
  ListComPorts(Result, Tree.Places());
  EXPECT_EQ(Result, (Names{"TTYa", "ttyACM0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB0"}));
}

TEST(ListComPortsTest, SortsComNamesLikeTheOperatorSeesThem) {
  TSysfsTree Tree;
  for (const char* Name : {"COM2", "COM10", "COM1"}) Tree.AddPort(Name);
  Names Result;
  ListComPorts(Result, Tree.Places());
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
  ListComPorts(Result, Tree.Places());
  EXPECT_EQ(Result, (Names{"ttyAMA0", "ttyS0"}));
}

TEST(ListComPortsTest, ReplacesTheTargetContents) {
  TSysfsTree Tree;
  Tree.AddPort("ttyUSB0");
  Names Result{"stale", "ttyUSB0", "older"};
  ListComPorts(Result, Tree.Places());
  EXPECT_EQ(Result, (Names{"ttyUSB0"}));

  TSysfsTree Empty;
  ListComPorts(Result, Empty.Places());
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
      ListComPorts(Result, {Case.Root, Tree.DeviceRoot()});
      ADD_FAILURE() << "no error for " << Case.Root;
    } catch (const EComPort& Error) {
      EXPECT_EQ(Error.ErrorNumber(), 23);
      EXPECT_EQ(Error.SystemErrorCode(), Case.Code);
      EXPECT_EQ(Error.Message(), "Registry error (error code: " + std::to_string(Case.Code) + ")");
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
  ListComPorts(Result, Tree.Places());
  EXPECT_EQ(Result, (Names{"tty S9", "ttyS3", "ttyUSB1"}));
}

TEST(ListComPortsTest, OffersTheStableByIdNamesAfterTheKernelNames) {
  TSysfsTree Tree;
  Tree.AddPort("ttyUSB1");
  Tree.AddPort("ttyUSB0");
  Tree.AddPort("ttyS0", "4");
  Tree.AddById("usb-FTDI_FT232R_USB_UART_A10K3X2Y-if00-port0", "ttyUSB1");
  Tree.AddById("usb-Arduino_Uno_7573530-if00", "ttyUSB0");
  Tree.AddById("usb-Unplugged_Adapter-if00-port0", "ttyUSB7");  // its link leads nowhere
  Names Result;
  ListComPorts(Result, Tree.Places());
  EXPECT_EQ(Result,
            (Names{"ttyS0", "ttyUSB0", "ttyUSB1", "serial/by-id/usb-Arduino_Uno_7573530-if00",
                   "serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X2Y-if00-port0"}));
}

TEST(NameTheSameDeviceTest, ComparesTheDevicesTheNamesOpen) {
  TSysfsTree Tree;
  Tree.AddPort("ttyS0", "4");
  Tree.AddPort("ttyS1", "4");
  Tree.AddPort("ttyUSB0");
  Tree.AddById("usb-FTDI_A10K3X2Y-if00-port0", "ttyUSB0");
  const fs::path Link = Tree.Base() / "controller";  // a link elsewhere, as socat makes
  fs::create_symlink(fs::path(Tree.DeviceRoot()) / "ttyUSB0", Link);
  struct TCase {
    std::string A;
    std::string B;
    bool Same;
  };
  const TCase Cases[] = {
      {"COM1", "ttyS0", true},
      {"COM2", "ttyS0", false},
      {"serial/by-id/usb-FTDI_A10K3X2Y-if00-port0", "ttyUSB0", true},
      {"serial/by-id/usb-FTDI_A10K3X2Y-if00-port0", "ttyS0", false},
      {Link.string(), "ttyUSB0", true},
      {Tree.DeviceRoot() + "/ttyS1", "ttyS1", true},
      {"ttyusb0", "ttyUSB0", false},  // device names are case-sensitive
      {"COM8", "ttyS7", true},        // neither exists, both name /dev/ttyS7
      {"", "", false},
      {"../ttyS0", "ttyS0", false},
  };
  for (const TCase& Case : Cases) {
    EXPECT_EQ(NameTheSameDevice(Case.A, Case.B, Tree.DeviceRoot()), Case.Same)
        << Case.A << " / " << Case.B;
  }
}

TEST(ListComPortsTest, ManyPortsAreAllListedInOrder) {
  TSysfsTree Tree;
  constexpr int Count = 600;
  for (int I = Count - 1; I >= 0; --I) Tree.AddPort("ttyUSB" + std::to_string(I));
  Names Result;
  ListComPorts(Result, Tree.Places());
  ASSERT_EQ(Result.size(), static_cast<std::size_t>(Count));
  EXPECT_TRUE(std::is_sorted(Result.begin(), Result.end()));  // all share one case
  EXPECT_EQ(Result.front(), "ttyUSB0");
  EXPECT_EQ(Result[1], "ttyUSB1");
  EXPECT_EQ(Result[2], "ttyUSB10");
}

}  // namespace
}  // namespace tolvane
