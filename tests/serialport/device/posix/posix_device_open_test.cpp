#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "serialport/device/posix/posix_device.h"
#include "serialport/device/posix/termios2_rate.h"
#include "serialport/dispatch/stop_signal.h"
#include "tests/support/main_window_dcb.h"
#include "tests/support/pty_pair.h"

namespace tolvane {
namespace {

using test::MainWindowDcb;

int OpenDescriptorCount() {
  int Count = 0;
  DIR* Dir = opendir("/proc/self/fd");
  if (!Dir) return -1;
  while (dirent* Entry = readdir(Dir))
    if (Entry->d_name[0] != '.') ++Count;
  closedir(Dir);
  return Count;
}

class PosixDeviceOpenTest : public testing::Test {
 protected:
  test::TPtyPair Pty;
  TPosixDevice Device;
};

TEST_F(PosixDeviceOpenTest, OpensAPseudoTerminalInRawModeAndClosesIt) {
  ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
  EXPECT_TRUE(Device.IsOpen());
  termios Settings{};
  ASSERT_EQ(tcgetattr(Pty.SlaveFd(), &Settings), 0);
  EXPECT_EQ(Settings.c_lflag & (ECHO | ICANON | ISIG), 0u) << "no echo before the first state";
  EXPECT_EQ(Device.Close(), 0);
  EXPECT_FALSE(Device.IsOpen());
  EXPECT_EQ(Device.Close(), EBADF);
}

TEST_F(PosixDeviceOpenTest, FailuresGiveTheSystemCode) {
  char RegularFile[] = "/tmp/tolvane_device_XXXXXX";
  const int FileFd = mkstemp(RegularFile);
  ASSERT_GE(FileFd, 0);
  close(FileFd);
  const struct {
    std::string Path;
    int Error;
  } Cases[] = {{"/dev/tolvane-no-such-port", ENOENT}, {"", ENOENT}, {RegularFile, ENOTTY}};
  for (const auto& Case : Cases) {
    EXPECT_EQ(Device.Open(Case.Path), Case.Error) << "'" << Case.Path << "'";
    EXPECT_FALSE(Device.IsOpen());
  }
  unlink(RegularFile);
}

TEST_F(PosixDeviceOpenTest, SecondOpenOfAHeldPortIsBusy) {
  ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
  TPosixDevice Second;
  EXPECT_EQ(Second.Open(Pty.SlavePath()), EBUSY);
  EXPECT_EQ(Device.Open(Pty.SlavePath()), EBUSY) << "an open device is not opened again";
  Device.Close();
  EXPECT_EQ(Second.Open(Pty.SlavePath()), 0) << "closing releases the port";
}

TEST_F(PosixDeviceOpenTest, ExclusiveModeEndsWithTheDevice) {
  // Root may open an exclusive tty anyway, so the flag is looked at rather than a second open.
  int Exclusive = -1;
  ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
  ASSERT_EQ(ioctl(Pty.SlaveFd(), TIOCGEXCL, &Exclusive), 0);
  EXPECT_EQ(Exclusive, 1);
  Device.Close();
  ASSERT_EQ(ioctl(Pty.SlaveFd(), TIOCGEXCL, &Exclusive), 0);
  EXPECT_EQ(Exclusive, 0) << "the tty outlives the device here and must not stay exclusive";
}

// Opening that fails after the tty was made exclusive (here: no descriptor left for the
// device's own wake-ups) must not leave the tty exclusive behind it.
TEST_F(PosixDeviceOpenTest, ExclusiveModeEndsWhenOpeningFailsLate) {
  // Descriptors are numbered from the lowest free one, so with the limit just above it the tty
  // gets the last number and the next descriptor is refused.
  // UBSan checks the type of the first call on the device with a pipe of its own, which the
  // tight limit below would refuse; that first call comes before it.
  ASSERT_FALSE(Device.IsOpen());
  const int LastFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(LastFree, 0);
  close(LastFree);
  rlimit Saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &Saved), 0);
  rlimit Tight = Saved;
  Tight.rlim_cur = static_cast<rlim_t>(LastFree) + 1;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &Tight), 0);
  const int Error = Device.Open(Pty.SlavePath());
  setrlimit(RLIMIT_NOFILE, &Saved);
  EXPECT_EQ(Error, EMFILE);
  int Exclusive = -1;
  ASSERT_EQ(ioctl(Pty.SlaveFd(), TIOCGEXCL, &Exclusive), 0);
  EXPECT_EQ(Exclusive, 0);
  EXPECT_EQ(Device.Open(Pty.SlavePath()), 0) << "the failed open left nothing held";
}

TEST_F(PosixDeviceOpenTest, NoDescriptorLeaksOnAnyPath) {
  char RegularFile[] = "/tmp/tolvane_device_XXXXXX";
  const int FileFd = mkstemp(RegularFile);
  ASSERT_GE(FileFd, 0);
  close(FileFd);
  const int Before = OpenDescriptorCount();
  EXPECT_EQ(Device.Open("/dev/tolvane-no-such-port"), ENOENT);
  EXPECT_EQ(Device.Open(RegularFile), ENOTTY);
  EXPECT_EQ(OpenDescriptorCount(), Before);

  TPosixDevice Holder;
  ASSERT_EQ(Holder.Open(Pty.SlavePath()), 0);
  const int WithHolder = OpenDescriptorCount();
  EXPECT_EQ(Device.Open(Pty.SlavePath()), EBUSY);
  EXPECT_EQ(OpenDescriptorCount(), WithHolder);
  Holder.Close();
  EXPECT_EQ(OpenDescriptorCount(), Before);

  ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
  Device.Close();
  EXPECT_EQ(OpenDescriptorCount(), Before);
  unlink(RegularFile);
}

TEST_F(PosixDeviceOpenTest, CallsOnAClosedDeviceFailWithBadDescriptor) {
  TOverlapped Overlapped;
  char Byte = 0;
  std::uint32_t A = 0, B = 0;
  const std::function<int()> Calls[] = {
      [&] { return Device.SetupComm(1024, 1024); },
      [&] { return Device.SetCommState(MainWindowDcb()); },
      [&] { return Device.SetCommTimeouts({}); },
      [&] { return Device.WriteFile(&Byte, 1, Overlapped); },
      [&] { return Device.ReadFile(&Byte, 1, Overlapped); },
      [&] { return Device.PurgeComm(PURGE_RXABORT); },
      [&] { return Device.ClearCommError(A, B); },
      [&] { return Device.GetCommModemStatus(A); },
      [&] { return Device.SetCommMask(EV_RXCHAR); },
  };
  for (const auto& Call : Calls) EXPECT_EQ(Call(), EBADF);
  TStopSignal Stop;
  EXPECT_EQ(Device.WaitCommEvent(A, Stop), TWaitResult::Failed);
}

struct TStateCase {
  const char* Name;
  void (*Change)(TDcb&);
  int Result;
};

class PosixDeviceStateTest : public testing::TestWithParam<TStateCase> {
 protected:
  test::TPtyPair Pty;
  TPosixDevice Device;
};

TEST_P(PosixDeviceStateTest, AppliesWhatLinuxCanExpressAndRefusesTheRestUntouched) {
  ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
  ASSERT_EQ(Device.SetCommState(MainWindowDcb()), 0);
  termios Before{};
  ASSERT_EQ(tcgetattr(Pty.SlaveFd(), &Before), 0);
  TDcb Dcb = MainWindowDcb();
  GetParam().Change(Dcb);
  ASSERT_EQ(Device.SetCommState(Dcb), GetParam().Result);
  termios After{};
  ASSERT_EQ(tcgetattr(Pty.SlaveFd(), &After), 0);
  if (GetParam().Result != 0) {
    EXPECT_EQ(After.c_cflag, Before.c_cflag);
    EXPECT_EQ(After.c_iflag, Before.c_iflag);
  }
}

INSTANTIATE_TEST_SUITE_P(
    States, PosixDeviceStateTest,
    testing::Values(TStateCase{"MainWindow", [](TDcb&) {}, 0},
                    TStateCase{"Hardware",
                               [](TDcb& D) {
                                 D.fRtsControl = RTS_CONTROL_HANDSHAKE;
                                 D.fOutxCtsFlow = true;
                               },
                               0},
                    TStateCase{"Software",
                               [](TDcb& D) {
                                 D.fOutX = true;
                                 D.fInX = true;
                               },
                               0},
                    TStateCase{"MarkParity7Bits2Stop",
                               [](TDcb& D) {
                                 D.Parity = MARKPARITY;
                                 D.ByteSize = 7;
                                 D.StopBits = TWOSTOPBITS;
                               },
                               0},
                    TStateCase{"Rate256000", [](TDcb& D) { D.BaudRate = 256000; }, 0},
                    TStateCase{"DsrFlow", [](TDcb& D) { D.fOutxDsrFlow = true; }, EINVAL},
                    TStateCase{"OneAndAHalfStopBitsWith8",
                               [](TDcb& D) { D.StopBits = ONE5STOPBITS; }, EINVAL},
                    TStateCase{"RateZero", [](TDcb& D) { D.BaudRate = 0; }, EINVAL}),
    [](const testing::TestParamInfo<TStateCase>& Info) { return std::string(Info.param.Name); });

TEST_F(PosixDeviceOpenTest, CustomRateIsSetOnTheTty) {
  ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
  TDcb Dcb = MainWindowDcb();
  Dcb.BaudRate = 128000;
  ASSERT_EQ(Device.SetCommState(Dcb), 0);
  std::uint32_t Rate = 0;
  ASSERT_EQ(GetOutputRate(Pty.SlaveFd(), Rate), 0);
  EXPECT_EQ(Rate, 128000u);
}

TEST_F(PosixDeviceOpenTest, BufferSizesMustBePositive) {
  ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
  EXPECT_EQ(Device.SetupComm(1024, 1024), 0);
  EXPECT_EQ(Device.SetupComm(0, 1024), EINVAL);
  EXPECT_EQ(Device.SetupComm(-2, 1024), EINVAL);
  EXPECT_EQ(Device.SetupComm(1024, -1), EINVAL);
}

TEST_F(PosixDeviceOpenTest, PseudoTerminalReportsAllModemLinesOff) {
  ASSERT_EQ(Device.Open(Pty.SlavePath()), 0);
  ASSERT_EQ(Device.SetCommState(MainWindowDcb()), 0) << "setting DTR on a pty is not an error";
  std::uint32_t Status = 0xFFFF;
  ASSERT_EQ(Device.GetCommModemStatus(Status), 0);
  EXPECT_EQ(Status, 0u);
}

}  // namespace
}  // namespace tolvane
