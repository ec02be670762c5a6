#include "serialport/device/posix/termios_settings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "serialport/device/posix/termios2_rate.h"
#include "tests/support/main_window_dcb.h"
#include "tests/support/pty_pair.h"

namespace tolvane {
namespace {

using test::MainWindowDcb;

// A termios value as a fresh tty might hold it: canonical, echoing, translating.
termios CookedTermios() {
  termios Settings{};
  Settings.c_iflag = ICRNL | IXON | BRKINT | ISTRIP | IGNPAR;
  Settings.c_oflag = OPOST | ONLCR;
  Settings.c_lflag = ECHO | ICANON | ISIG | IEXTEN | ECHOE;
  Settings.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS;
  cfsetispeed(&Settings, B38400);
  cfsetospeed(&Settings, B38400);
  return Settings;
}

bool SameTermios(const termios& A, const termios& B) {
  return std::memcmp(&A, &B, sizeof A) == 0;
}

TEST(TermiosSettingsTest, RawModeTurnsOffEveryTranslation) {
  termios Settings = CookedTermios();
  ApplyRawMode(Settings);
  EXPECT_EQ(Settings.c_lflag, 0u);
  EXPECT_EQ(Settings.c_oflag, 0u);
  EXPECT_EQ(Settings.c_iflag, static_cast<tcflag_t>(PARMRK));
  EXPECT_EQ(Settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(Settings.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(cfgetospeed(&Settings), static_cast<speed_t>(B38400)) << "the rate is left alone";
}

struct TRateCase {
  std::uint32_t Rate;
  speed_t Speed;  // B0 where the custom path is needed
};

class BaudRateTest : public testing::TestWithParam<TRateCase> {};

TEST_P(BaudRateTest, StandardRatesUseBConstantsOthersTheCustomPath) {
  termios Settings = CookedTermios();
  bool Custom = false;
  ASSERT_EQ(ApplyBaudRate(Settings, GetParam().Rate, Custom), 0);
  EXPECT_EQ(Custom, GetParam().Speed == B0);
  if (!Custom) {
    EXPECT_EQ(cfgetospeed(&Settings), GetParam().Speed);
    EXPECT_EQ(cfgetispeed(&Settings), GetParam().Speed);
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, BaudRateTest,
                         testing::Values(TRateCase{110, B110}, TRateCase{300, B300},
                                         TRateCase{1200, B1200}, TRateCase{9600, B9600},
                                         TRateCase{19200, B19200}, TRateCase{57600, B57600},
                                         TRateCase{115200, B115200}, TRateCase{14400, B0},
                                         TRateCase{56000, B0}, TRateCase{128000, B0},
                                         TRateCase{256000, B0}, TRateCase{250000, B0}));

TEST(TermiosSettingsTest, ZeroRateIsRefusedBecauseB0WouldHangUp) {
  termios Settings = CookedTermios();
  bool Custom = false;
  EXPECT_EQ(ApplyBaudRate(Settings, 0, Custom), EINVAL);
}

TEST(TermiosSettingsTest, DataBitsMapToCharacterSize) {
  const struct {
    std::uint8_t Bits;
    tcflag_t Size;
  } Cases[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
  for (const auto& Case : Cases) {
    termios Settings = CookedTermios();
    ASSERT_EQ(ApplyDataBits(Settings, Case.Bits), 0);
    EXPECT_EQ(Settings.c_cflag & CSIZE, Case.Size) << int(Case.Bits);
  }
  for (std::uint8_t Bad : {0, 4, 9}) {
    termios Settings = CookedTermios();
    EXPECT_EQ(ApplyDataBits(Settings, Bad), EINVAL) << int(Bad);
  }
}

TEST(TermiosSettingsTest, StopBitsAndOneAndAHalfOnlyWithFiveDataBits) {
  const struct {
    std::uint8_t StopBits;
    std::uint8_t ByteSize;
    int Result;
    bool TwoStopBits;
  } Cases[] = {
      {ONESTOPBIT, 8, 0, false},    {TWOSTOPBITS, 8, 0, true},    {ONE5STOPBITS, 5, 0, true},
      {ONE5STOPBITS, 8, EINVAL, 0}, {ONE5STOPBITS, 6, EINVAL, 0}, {3, 8, EINVAL, false},
  };
  for (const auto& Case : Cases) {
    termios Settings = CookedTermios();
    Settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    EXPECT_EQ(ApplyStopBits(Settings, Case.StopBits, Case.ByteSize), Case.Result)
        << int(Case.StopBits) << "/" << int(Case.ByteSize);
    if (Case.Result == 0) {
      EXPECT_EQ((Settings.c_cflag & CSTOPB) != 0, Case.TwoStopBits);
    }
  }
}

TEST(TermiosSettingsTest, ParityModes) {
  const struct {
    std::uint8_t Parity;
    tcflag_t Flags;
  } Cases[] = {{NOPARITY, 0},
               {ODDPARITY, PARENB | PARODD},
               {EVENPARITY, PARENB},
               {MARKPARITY, PARENB | CMSPAR | PARODD},
               {SPACEPARITY, PARENB | CMSPAR}};
  for (const auto& Case : Cases) {
    for (bool Check : {false, true}) {
      termios Settings = CookedTermios();
      Settings.c_cflag |= PARODD | CMSPAR;
      ASSERT_EQ(ApplyParity(Settings, Case.Parity, Check), 0);
      EXPECT_EQ(Settings.c_cflag & (PARENB | PARODD | CMSPAR), Case.Flags) << int(Case.Parity);
      EXPECT_EQ((Settings.c_iflag & INPCK) != 0, Check);
    }
  }
  termios Settings = CookedTermios();
  EXPECT_EQ(ApplyParity(Settings, 5, false), EINVAL);
}

struct TFlowCase {
  const char* Name;
  void (*Change)(TDcb&);
  int Result;
  tcflag_t CFlags;  // CRTSCTS or 0
  tcflag_t IFlags;  // IXON/IXOFF
};

class FlowControlTest : public testing::TestWithParam<TFlowCase> {};

TEST_P(FlowControlTest, MapsOrRefuses) {
  TDcb Dcb = MainWindowDcb();
  GetParam().Change(Dcb);
  termios Settings = CookedTermios();
  Settings.c_iflag |= IXANY;
  const termios Before = Settings;
  ASSERT_EQ(ApplyFlowControl(Settings, Dcb), GetParam().Result);
  if (GetParam().Result != 0) {
    EXPECT_TRUE(SameTermios(Settings, Before)) << "a refused setting changes nothing";
    return;
  }
  EXPECT_EQ(Settings.c_cflag & CRTSCTS, GetParam().CFlags);
  EXPECT_EQ(Settings.c_iflag & (IXON | IXOFF | IXANY), GetParam().IFlags);
  EXPECT_EQ(Settings.c_cc[VSTART], 17);
  EXPECT_EQ(Settings.c_cc[VSTOP], 19);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, FlowControlTest,
    testing::Values(
        TFlowCase{"None", [](TDcb&) {}, 0, 0, 0},
        TFlowCase{"Hardware",
                  [](TDcb& D) {
                    D.fRtsControl = RTS_CONTROL_HANDSHAKE;
                    D.fOutxCtsFlow = true;
                  },
                  0, CRTSCTS, 0},
        TFlowCase{"Software",
                  [](TDcb& D) {
                    D.fOutX = true;
                    D.fInX = true;
                  },
                  0, 0, IXON | IXOFF},
        TFlowCase{"XonXoffOutOnly", [](TDcb& D) { D.fOutX = true; }, 0, 0, IXON},
        TFlowCase{"RtsEnabled", [](TDcb& D) { D.fRtsControl = RTS_CONTROL_ENABLE; }, 0, 0, 0},
        TFlowCase{"TxContinueOnXoff", [](TDcb& D) { D.fTXContinueOnXoff = true; }, 0, 0, 0},
        TFlowCase{"CtsFlowAlone", [](TDcb& D) { D.fOutxCtsFlow = true; }, EINVAL, 0, 0},
        TFlowCase{"RtsHandshakeAlone", [](TDcb& D) { D.fRtsControl = RTS_CONTROL_HANDSHAKE; },
                  EINVAL, 0, 0},
        TFlowCase{"RtsToggle", [](TDcb& D) { D.fRtsControl = RTS_CONTROL_TOGGLE; }, EINVAL, 0, 0},
        TFlowCase{"DtrHandshake", [](TDcb& D) { D.fDtrControl = DTR_CONTROL_HANDSHAKE; }, EINVAL, 0,
                  0},
        TFlowCase{"DsrFlow", [](TDcb& D) { D.fOutxDsrFlow = true; }, EINVAL, 0, 0},
        TFlowCase{"DsrSensitivity", [](TDcb& D) { D.fDsrSensitivity = true; }, EINVAL, 0, 0},
        TFlowCase{"AbortOnError", [](TDcb& D) { D.fAbortOnError = true; }, EINVAL, 0, 0},
        TFlowCase{"SameXonAndXoff",
                  [](TDcb& D) {
                    D.fInX = true;
                    D.XoffChar = D.XonChar;
                  },
                  EINVAL, 0, 0}),
    [](const testing::TestParamInfo<TFlowCase>& Info) { return std::string(Info.param.Name); });

TEST(TermiosSettingsTest, ModemOutputLevels) {
  const struct {
    std::uint8_t Dtr;
    std::uint8_t Rts;
    TModemOutputs Expected;
  } Cases[] = {
      {DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE, {TLineLevel::On, TLineLevel::Off}},
      {DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE, {TLineLevel::Off, TLineLevel::On}},
      {DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, {TLineLevel::On, TLineLevel::KernelDriven}},
  };
  for (const auto& Case : Cases) {
    TDcb Dcb;
    Dcb.fDtrControl = Case.Dtr;
    Dcb.fRtsControl = Case.Rts;
    EXPECT_EQ(ModemOutputsFor(Dcb), Case.Expected) << int(Case.Dtr) << "/" << int(Case.Rts);
  }
}

TEST(TermiosSettingsTest, WholeBlockForTheMainWindowsLine) {
  termios Settings = CookedTermios();
  bool Custom = true;
  ASSERT_EQ(TermiosForDcb(MainWindowDcb(), Settings, Custom), 0);
  EXPECT_FALSE(Custom);
  EXPECT_EQ(cfgetospeed(&Settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(Settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(Settings.c_lflag, 0u);
  EXPECT_EQ(Settings.c_iflag & (IXON | IXOFF | INPCK | ICRNL), 0u);
}

TEST(TermiosSettingsTest, WholeBlockLeavesTheValueAloneWhenAnySettingIsRefused) {
  const struct {
    const char* Name;
    void (*Change)(TDcb&);
  } Refusals[] = {
      {"rate 0", [](TDcb& D) { D.BaudRate = 0; }},
      {"9 data bits", [](TDcb& D) { D.ByteSize = 9; }},
      {"1.5 stop bits with 8 data bits", [](TDcb& D) { D.StopBits = ONE5STOPBITS; }},
      {"parity 7", [](TDcb& D) { D.Parity = 7; }},
      {"DSR flow", [](TDcb& D) { D.fOutxDsrFlow = true; }},
      {"text mode", [](TDcb& D) { D.fBinary = false; }},
  };
  for (const auto& Refusal : Refusals) {
    TDcb Dcb = MainWindowDcb();
    Refusal.Change(Dcb);
    termios Settings = CookedTermios();
    const termios Before = Settings;
    bool Custom = false;
    EXPECT_EQ(TermiosForDcb(Dcb, Settings, Custom), EINVAL) << Refusal.Name;
    EXPECT_TRUE(SameTermios(Settings, Before)) << Refusal.Name;
  }
}

TEST(TermiosSettingsTest, CustomRateReachesTheTtyThroughTermios2) {
  test::TPtyPair Pty;
  for (std::uint32_t Rate : {250000u, 14400u, 128000u}) {
    ASSERT_EQ(SetCustomRate(Pty.SlaveFd(), Rate), 0);
    std::uint32_t ReadBack = 0;
    ASSERT_EQ(GetOutputRate(Pty.SlaveFd(), ReadBack), 0);
    EXPECT_EQ(ReadBack, Rate);
  }
  EXPECT_EQ(SetCustomRate(-1, 250000), EBADF);
}

}  // namespace
}  // namespace tolvane
