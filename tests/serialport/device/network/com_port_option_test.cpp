#include "serialport/device/network/com_port_option.h"

#include <gtest/gtest.h>

#include "tests/support/main_window_dcb.h"

namespace tolvane {
namespace {

using namespace comport;

TEST(ComPortOption, TheMainWindowsLineBecomesEveryCommandInTheRecommendedOrder) {
  const TDcb Dcb = test::MainWindowDcb();
  ASSERT_EQ(CheckDcbForComPort(Dcb), 0);
  // 9600 8N1, no flow control, DTR on, RTS off; the modem lines are not waited for.
  EXPECT_EQ(ComPortCommandsFor(Dcb, std::nullopt),
            (std::vector<TComPortCommand>{{SetBaudRate, {0, 0, 0x25, 0x80}, true},
                                          {SetDataSize, {8}, true},
                                          {SetParity, {1}, true},
                                          {SetStopSize, {1}, true},
                                          {SetControl, {1}, true},
                                          {SetControl, {8}, false},
                                          {SetControl, {12}, false}}));
}

TEST(ComPortOption, OnlyWhatChangedIsSent) {
  const TDcb Before = test::MainWindowDcb();
  TDcb After = Before;
  EXPECT_TRUE(ComPortCommandsFor(After, Before).empty());
  After.BaudRate = 250000;  // a rate no table has
  After.Parity = MARKPARITY;
  After.StopBits = ONE5STOPBITS;
  After.ByteSize = 5;
  EXPECT_EQ(ComPortCommandsFor(After, Before),
            (std::vector<TComPortCommand>{{SetBaudRate, {0, 0x03, 0xD0, 0x90}, true},
                                          {SetDataSize, {5}, true},
                                          {SetParity, {4}, true},
                                          {SetStopSize, {3}, false}}));
  TDcb Hardware = Before;
  Hardware.fOutxCtsFlow = true;
  Hardware.fRtsControl = RTS_CONTROL_HANDSHAKE;
  ASSERT_EQ(CheckDcbForComPort(Hardware), 0);
  EXPECT_EQ(ComPortCommandsFor(Hardware, Before),
            (std::vector<TComPortCommand>{{SetControl, {3}, true}}))
      << "under handshake the server drives RTS";
  TDcb Software = Before;
  Software.fOutX = Software.fInX = true;
  ASSERT_EQ(CheckDcbForComPort(Software), 0);
  EXPECT_EQ(ComPortCommandsFor(Software, Before),
            (std::vector<TComPortCommand>{{SetControl, {2}, true}}));
}

TEST(ComPortOption, SettingsNoServerLineCanCarryAreRefused) {
  const struct {
    const char* What;
    void (*Change)(TDcb&);
  } Cases[] = {
      {"XON/XOFF out only", [](TDcb& D) { D.fOutX = true; }},
      {"XON/XOFF in only", [](TDcb& D) { D.fInX = true; }},
      {"other XON character",
       [](TDcb& D) {
         D.fOutX = D.fInX = true;
         D.XonChar = 'Q';
       }},
      {"CTS flow without RTS handshake", [](TDcb& D) { D.fOutxCtsFlow = true; }},
      {"RTS handshake without CTS flow", [](TDcb& D) { D.fRtsControl = RTS_CONTROL_HANDSHAKE; }},
      {"RTS toggle", [](TDcb& D) { D.fRtsControl = RTS_CONTROL_TOGGLE; }},
      {"DTR handshake", [](TDcb& D) { D.fDtrControl = DTR_CONTROL_HANDSHAKE; }},
      {"DSR output flow", [](TDcb& D) { D.fOutxDsrFlow = true; }},
      {"DSR sensitivity", [](TDcb& D) { D.fDsrSensitivity = true; }},
      {"parity error replacement",
       [](TDcb& D) {
         D.fParity = true;
         D.fErrorChar = true;
       }},
      {"no rate", [](TDcb& D) { D.BaudRate = 0; }},
      {"nine data bits", [](TDcb& D) { D.ByteSize = 9; }},
  };
  for (const auto& Case : Cases) {
    TDcb Dcb = test::MainWindowDcb();
    Case.Change(Dcb);
    EXPECT_EQ(CheckDcbForComPort(Dcb), InvalidArgumentErrorCode) << Case.What;
  }
}

TEST(ComPortOption, NotificationsAndMasksFollowThePortsEvents) {
  // CTS and DSR on, CTS changed; then DSR dropped without a change bit.
  EXPECT_EQ(ModemStatusOf(0x31), MS_CTS_ON | MS_DSR_ON);
  EXPECT_EQ(ModemEventsOf(0x31, 0x20), EV_CTS);
  EXPECT_EQ(ModemEventsOf(0x10, 0x30), EV_DSR);
  EXPECT_EQ(ModemEventsOf(0x84, 0x80), EV_RING) << "a ring's trailing edge";
  EXPECT_EQ(LineErrorsOf(0x1E), CE_BREAK | CE_FRAME | CE_RXPARITY | CE_OVERRUN);
  EXPECT_EQ(LineEventsOf(0x10), EV_BREAK);
  EXPECT_EQ(LineEventsOf(0x04), EV_ERR);
  EXPECT_EQ(LineEventsOf(0x60), 0u) << "the register-empty bits are no events";

  EXPECT_EQ(LineStateMaskFor(EV_RXCHAR).Value, std::vector<std::uint8_t>{0});
  EXPECT_EQ(LineStateMaskFor(EV_ERR | EV_BREAK).Value, std::vector<std::uint8_t>{0x1E});
  EXPECT_EQ(ModemStateMaskFor(EV_CTS | EV_RLSD).Value, std::vector<std::uint8_t>{0x99});
  EXPECT_EQ(PurgeCommandFor(PURGE_RXCLEAR | PURGE_TXCLEAR).Value, std::vector<std::uint8_t>{3});
  EXPECT_EQ(PurgeCommandFor(PURGE_RXABORT).Code, 0) << "an abort is the client's own business";
}

}  // namespace
}  // namespace tolvane
