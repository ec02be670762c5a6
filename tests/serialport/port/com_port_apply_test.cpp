#include "serialport/port/com_port_apply.h"

#include <gtest/gtest.h>

#include "serialport/port/com_port.h"

namespace tolvane {
namespace {

TEST(ComPortApplyTest, DefaultPortBuildsTheDocumentedBlock) {
  TComPort Port(nullptr);
  TDcb Expected;
  Expected.DCBlength = 28;
  Expected.BaudRate = 9600;
  Expected.fBinary = true;
  Expected.fDtrControl = DTR_CONTROL_DISABLE;
  Expected.fRtsControl = RTS_CONTROL_DISABLE;
  Expected.XonLim = 256;
  Expected.XoffLim = 256;
  Expected.ByteSize = 8;
  Expected.Parity = NOPARITY;
  Expected.StopBits = ONESTOPBIT;
  Expected.XonChar = 17;
  Expected.XoffChar = 19;
  EXPECT_EQ(BuildDcb(Port), Expected);
}

TEST(ComPortApplyTest, EveryBaudRateHasItsNumber) {
  const std::pair<TBaudRate, std::uint32_t> Cases[] = {
      {TBaudRate::br110, 110},       {TBaudRate::br300, 300},       {TBaudRate::br600, 600},
      {TBaudRate::br1200, 1200},     {TBaudRate::br2400, 2400},     {TBaudRate::br4800, 4800},
      {TBaudRate::br9600, 9600},     {TBaudRate::br14400, 14400},   {TBaudRate::br19200, 19200},
      {TBaudRate::br38400, 38400},   {TBaudRate::br56000, 56000},   {TBaudRate::br57600, 57600},
      {TBaudRate::br115200, 115200}, {TBaudRate::br128000, 128000}, {TBaudRate::br256000, 256000},
  };
  for (const auto& [Rate, Number] : Cases) {
    TComPort Port(nullptr);
    Port.SetCustomBaudRate(777);
    Port.SetBaudRate(Rate);
    EXPECT_EQ(BuildDcb(Port).BaudRate, Number);
  }
}

TEST(ComPortApplyTest, CustomRatePassesCustomBaudRateUnchanged) {
  for (std::int32_t Custom : {9600, 31250, 1, 0, 12345678, -1}) {
    TComPort Port(nullptr);
    Port.SetBaudRate(TBaudRate::brCustom);
    Port.SetCustomBaudRate(Custom);
    EXPECT_EQ(BuildDcb(Port).BaudRate, static_cast<std::uint32_t>(Custom));
  }
}

TEST(ComPortApplyTest, EnumerationsMapByOrdinal) {
  TComPort Port(nullptr);
  const std::pair<TDataBits, std::uint8_t> Sizes[] = {{TDataBits::dbFive, 5},
                                                      {TDataBits::dbSix, 6},
                                                      {TDataBits::dbSeven, 7},
                                                      {TDataBits::dbEight, 8}};
  for (const auto& [Bits, Size] : Sizes) {
    Port.SetDataBits(Bits);
    EXPECT_EQ(BuildDcb(Port).ByteSize, Size);
  }
  const std::pair<TParityBits, std::uint8_t> Parities[] = {{TParityBits::prNone, NOPARITY},
                                                           {TParityBits::prOdd, ODDPARITY},
                                                           {TParityBits::prEven, EVENPARITY},
                                                           {TParityBits::prMark, MARKPARITY},
                                                           {TParityBits::prSpace, SPACEPARITY}};
  for (const auto& [Bits, Code] : Parities) {
    Port.Parity().SetBits(Bits);
    EXPECT_EQ(BuildDcb(Port).Parity, Code);
  }
  const std::pair<TStopBits, std::uint8_t> Stops[] = {{TStopBits::sbOneStopBit, ONESTOPBIT},
                                                      {TStopBits::sbOne5StopBits, ONE5STOPBITS},
                                                      {TStopBits::sbTwoStopBits, TWOSTOPBITS}};
  for (const auto& [Bits, Code] : Stops) {
    Port.SetStopBits(Bits);
    EXPECT_EQ(BuildDcb(Port).StopBits, Code);
  }
  const std::pair<TDTRFlowControl, std::uint8_t> Dtr[] = {
      {TDTRFlowControl::dtrDisable, DTR_CONTROL_DISABLE},
      {TDTRFlowControl::dtrEnable, DTR_CONTROL_ENABLE},
      {TDTRFlowControl::dtrHandshake, DTR_CONTROL_HANDSHAKE}};
  for (const auto& [Mode, Code] : Dtr) {
    Port.FlowControl().SetControlDTR(Mode);
    EXPECT_EQ(BuildDcb(Port).fDtrControl, Code);
  }
  const std::pair<TRTSFlowControl, std::uint8_t> Rts[] = {
      {TRTSFlowControl::rtsDisable, RTS_CONTROL_DISABLE},
      {TRTSFlowControl::rtsEnable, RTS_CONTROL_ENABLE},
      {TRTSFlowControl::rtsHandshake, RTS_CONTROL_HANDSHAKE},
      {TRTSFlowControl::rtsToggle, RTS_CONTROL_TOGGLE}};
  for (const auto& [Mode, Code] : Rts) {
    Port.FlowControl().SetControlRTS(Mode);
    EXPECT_EQ(BuildDcb(Port).fRtsControl, Code);
  }
}

TEST(ComPortApplyTest, FlagsAndCharactersComeFromTheirProperties) {
  TComPort Port(nullptr);
  Port.Parity().SetCheck(true);
  Port.FlowControl().SetOutCTSFlow(true);
  Port.FlowControl().SetOutDSRFlow(true);
  Port.FlowControl().SetDSRSensitivity(true);
  Port.FlowControl().SetTxContinueOnXoff(true);
  Port.FlowControl().SetXonXoffOut(true);
  Port.FlowControl().SetXonXoffIn(true);
  Port.FlowControl().SetXonChar('x');
  Port.FlowControl().SetXoffChar('y');
  Port.SetDiscardNull(true);
  Port.SetEventChar(';');
  const TDcb Dcb = BuildDcb(Port);
  EXPECT_TRUE(Dcb.fParity);
  EXPECT_TRUE(Dcb.fOutxCtsFlow);
  EXPECT_TRUE(Dcb.fOutxDsrFlow);
  EXPECT_TRUE(Dcb.fDsrSensitivity);
  EXPECT_TRUE(Dcb.fTXContinueOnXoff);
  EXPECT_TRUE(Dcb.fOutX);
  EXPECT_TRUE(Dcb.fInX);
  EXPECT_TRUE(Dcb.fNull);
  EXPECT_TRUE(Dcb.fBinary);
  EXPECT_FALSE(Dcb.fAbortOnError);
  EXPECT_EQ(Dcb.XonChar, 'x');
  EXPECT_EQ(Dcb.XoffChar, 'y');
  EXPECT_EQ(Dcb.EvtChar, ';');
  EXPECT_EQ(Dcb.EofChar, 0);
}

TEST(ComPortApplyTest, ReplacementCharacterNeedsBothCheckAndReplace) {
  struct TCase {
    bool Check;
    bool Replace;
    bool ErrorCharSet;
  };
  for (const TCase& Case : {TCase{false, false, false}, TCase{true, false, false},
                            TCase{false, true, false}, TCase{true, true, true}}) {
    TComPort Port(nullptr);
    Port.Parity().SetCheck(Case.Check);
    Port.Parity().SetReplace(Case.Replace);
    Port.Parity().SetReplaceChar('#');
    const TDcb Dcb = BuildDcb(Port);
    EXPECT_EQ(Dcb.fErrorChar, Case.ErrorCharSet);
    EXPECT_EQ(Dcb.ErrorChar, Case.ErrorCharSet ? '#' : 0);
  }
}

TEST(ComPortApplyTest, FlowLimitsAreAQuarterOfTheInputQueue) {
  struct TCase {
    std::int32_t InputSize;
    std::uint16_t Limit;
  };
  for (const TCase& Case : {TCase{1025, 256}, TCase{1026, 256}, TCase{0, 0}, TCase{6, 1},
                            TCase{262140, 65535}, TCase{4000000, 65535}, TCase{-8, 0}}) {
    TComPort Port(nullptr);
    Port.Buffer().SetInputSize(Case.InputSize);
    const TDcb Dcb = BuildDcb(Port);
    EXPECT_EQ(Dcb.XonLim, Case.Limit) << Case.InputSize;
    EXPECT_EQ(Dcb.XoffLim, Case.Limit) << Case.InputSize;
  }
}

TEST(ComPortApplyTest, OutOfRangeValuesGiveFieldsNoDeviceAccepts) {
  TComPort Port(nullptr);
  Port.SetBaudRate(static_cast<TBaudRate>(200));
  Port.SetDataBits(static_cast<TDataBits>(9));
  const TDcb Dcb = BuildDcb(Port);
  EXPECT_EQ(Dcb.BaudRate, 0u);
  EXPECT_EQ(Dcb.ByteSize, 0u);
}

TEST(ComPortApplyTest, TimeoutMinusOneBecomesMaxdword) {
  TComTimeouts Timeouts;
  EXPECT_EQ(BuildCommTimeouts(Timeouts), (TCommTimeouts{MAXDWORD, 0, 0, 100, 1000}));
  Timeouts.SetReadInterval(20);
  Timeouts.SetReadTotalMultiplier(-1);
  Timeouts.SetReadTotalConstant(-2);
  Timeouts.SetWriteTotalMultiplier(-1);
  Timeouts.SetWriteTotalConstant(7);
  EXPECT_EQ(BuildCommTimeouts(Timeouts), (TCommTimeouts{20, MAXDWORD, 0xFFFFFFFEu, MAXDWORD, 7}));
}

}  // namespace
}  // namespace tolvane
