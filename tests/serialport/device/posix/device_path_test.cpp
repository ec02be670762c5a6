#include <gtest/gtest.h>

#include <string>

#include "serialport/device/posix/device_path.h"

namespace tolvane {
namespace {

struct TPathCase {
  std::string Name;
  std::string Path;
};

class DevicePathTest : public testing::TestWithParam<TPathCase> {};

TEST_P(DevicePathTest, MapsPortNameToDevicePath) {
  EXPECT_EQ(DevicePathFor(GetParam().Name), GetParam().Path) << "name: " << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, DevicePathTest,
    testing::Values(TPathCase{"COM1", "/dev/ttyS0"}, TPathCase{"COM2", "/dev/ttyS1"},
                    TPathCase{"COM10", "/dev/ttyS9"}, TPathCase{"COM0", "/dev/COM0"},
                    TPathCase{"COM", "/dev/COM"}, TPathCase{"COM1a", "/dev/COM1a"},
                    TPathCase{"COM-1", "/dev/COM-1"}, TPathCase{"com1", "/dev/com1"},
                    TPathCase{"ttyUSB0", "/dev/ttyUSB0"}, TPathCase{"pts/3", "/dev/pts/3"},
                    TPathCase{"/dev/ttyACM0", "/dev/ttyACM0"},
                    TPathCase{"/tmp/../dev/ttyS0", "/tmp/../dev/ttyS0"},
                    // Relative names must not climb out of /dev/, and nothing names no device.
                    TPathCase{"../etc/passwd", ""}, TPathCase{"pts/../../etc", ""},
                    TPathCase{"..", ""}, TPathCase{"", ""},
                    // Dots that are not a ".." component are ordinary names.
                    TPathCase{"..tty", "/dev/..tty"}, TPathCase{"tty..", "/dev/tty.."}));

}  // namespace
}  // namespace tolvane
