// Configuration of a port: what reaches the device, when, and what a refusal leaves behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "serialport/base/application_exception.h"
#include "serialport/device/posix/device_path.h"
#include "serialport/port/com_port.h"
#include "tests/support/fake_device.h"
#include "tests/support/port_recorder.h"

namespace tolvane {
namespace {

using TCalls = std::vector<std::string>;

class ComPortConfigTest : public ::testing::Test {
 protected:
  ComPortConfigTest() { Port.SetEvents({}); }

  void OpenAndForget() {
    Port.OpenPort();
    Device.ClearCalls();
  }

  TComPort Port{nullptr};
  TFakeDevice& Device = InstallFakeDevice(Port);
};

TEST_F(ComPortConfigTest, OpeningANewPortSendsTheDefaultsInThreeCalls) {
  Port.OpenPort();
  const TCalls Calls = Device.Calls();
  ASSERT_GE(Calls.size(), 4u);
  EXPECT_EQ(TCalls(Calls.begin(), Calls.begin() + 4),
            (TCalls{"Open " + DevicePathFor("COM1"), "SetupComm 1024 1024", "SetCommState",
                    "SetCommTimeouts"}));
  const TDcb Dcb = Device.LastDcb();
  EXPECT_EQ(Dcb.BaudRate, 9600u);
  EXPECT_EQ(Dcb.ByteSize, 8);
  EXPECT_EQ(Dcb.Parity, NOPARITY);
  EXPECT_EQ(Dcb.StopBits, ONESTOPBIT);
  EXPECT_TRUE(Dcb.fBinary);
  EXPECT_EQ(Dcb.fDtrControl, DTR_CONTROL_DISABLE);
  EXPECT_EQ(Dcb.fRtsControl, RTS_CONTROL_DISABLE);
  EXPECT_EQ(Dcb.XonLim, 256);
  EXPECT_EQ(Dcb.XoffLim, 256);
  EXPECT_EQ(Dcb.XonChar, 17);
  EXPECT_EQ(Dcb.XoffChar, 19);
  EXPECT_EQ(Device.LastTimeouts(), (TCommTimeouts{MAXDWORD, 0, 0, 100, 1000}));
  EXPECT_TRUE(Port.Connected());
}

TEST_F(ComPortConfigTest, ChangingAValueWhileOpenReappliesItsGroupOnly) {
  struct TCase {
    const char* Name;
    std::function<void(TComPort&)> Change;
    TCalls Expected;
  };
  const TCase Cases[] = {
      {"BaudRate", [](TComPort& P) { P.SetBaudRate(TBaudRate::br19200); }, {"SetCommState"}},
      {"CustomBaudRate", [](TComPort& P) { P.SetCustomBaudRate(31250); }, {"SetCommState"}},
      {"DataBits", [](TComPort& P) { P.SetDataBits(TDataBits::dbSeven); }, {"SetCommState"}},
      {"StopBits", [](TComPort& P) { P.SetStopBits(TStopBits::sbTwoStopBits); }, {"SetCommState"}},
      {"DiscardNull", [](TComPort& P) { P.SetDiscardNull(true); }, {"SetCommState"}},
      {"EventChar", [](TComPort& P) { P.SetEventChar(';'); }, {"SetCommState"}},
      {"Parity.Bits",
       [](TComPort& P) { P.Parity().SetBits(TParityBits::prOdd); },
       {"SetCommState"}},
      {"Parity.ReplaceChar", [](TComPort& P) { P.Parity().SetReplaceChar('x'); }, {"SetCommState"}},
      {"Flow.XonChar", [](TComPort& P) { P.FlowControl().SetXonChar(1); }, {"SetCommState"}},
      {"Flow.ControlDTR",
       [](TComPort& P) { P.FlowControl().SetControlDTR(TDTRFlowControl::dtrEnable); },
       {"SetCommState"}},
      {"ReadInterval", [](TComPort& P) { P.Timeouts().SetReadInterval(10); }, {"SetCommTimeouts"}},
      {"WriteTotalConstant",
       [](TComPort& P) { P.Timeouts().SetWriteTotalConstant(5); },
       {"SetCommTimeouts"}},
      {"InputSize", [](TComPort& P) { P.Buffer().SetInputSize(4096); }, {"SetupComm 4096 1024"}},
      {"OutputSize", [](TComPort& P) { P.Buffer().SetOutputSize(511); }, {"SetupComm 4096 510"}},
      {"Events", [](TComPort& P) { P.SetEvents({TComEvent::evRxChar}); }, {}},
  };
  OpenAndForget();
  for (const TCase& Case : Cases) {
    Case.Change(Port);
    EXPECT_EQ(Device.Calls(), Case.Expected) << Case.Name;
    Device.ClearCalls();
  }
}

TEST_F(ComPortConfigTest, SettingTheCurrentValueMakesNoDeviceCall) {
  OpenAndForget();
  Port.SetBaudRate(Port.BaudRate());
  Port.SetCustomBaudRate(Port.CustomBaudRate());
  Port.SetDataBits(Port.DataBits());
  Port.SetStopBits(Port.StopBits());
  Port.SetDiscardNull(Port.DiscardNull());
  Port.SetEventChar(Port.EventChar());
  Port.SetPort(Port.Port());
  Port.SetSyncMethod(Port.SyncMethod());
  Port.SetConnected(true);
  Port.Parity().SetBits(Port.Parity().Bits());
  Port.Parity().SetCheck(false);
  Port.FlowControl().SetOutCTSFlow(false);
  Port.FlowControl().SetXoffChar(19);
  Port.Timeouts().SetReadInterval(-1);
  Port.Timeouts().SetWriteTotalMultiplier(100);
  Port.Buffer().SetInputSize(1024);
  Port.Buffer().SetOutputSize(1024);
  EXPECT_EQ(Device.Calls(), TCalls{});
  EXPECT_TRUE(Port.Connected());
}

TEST_F(ComPortConfigTest, AssigningAWholeSettingsObjectAlwaysReapplies) {
  OpenAndForget();
  Port.SetParity(TComParity());
  Port.SetFlowControl(TComFlowControl());
  Port.SetTimeouts(TComTimeouts());
  Port.SetBuffer(TComBuffer());
  EXPECT_EQ(Device.Calls(),
            (TCalls{"SetCommState", "SetCommState", "SetCommTimeouts", "SetupComm 1024 1024"}));

  TComParity Odd;
  Odd.SetBits(TParityBits::prOdd);
  Port.SetParity(Odd);
  EXPECT_EQ(Port.Parity().Bits(), TParityBits::prOdd);
  EXPECT_EQ(Port.Parity().ComPort(), &Port);
  EXPECT_EQ(Device.LastDcb().Parity, ODDPARITY);
}

TEST_F(ComPortConfigTest, NestedConfigAppliesOnceAtTheLastEnd) {
  OpenAndForget();
  Port.EndConfig();  // without a BeginConfig: nothing
  EXPECT_EQ(Device.Calls(), TCalls{});

  Port.BeginConfig();
  Port.BeginConfig();
  Port.SetBaudRate(TBaudRate::br57600);
  Port.Timeouts().SetReadInterval(3);
  Port.EndConfig();
  EXPECT_EQ(Device.Calls(), TCalls{});
  Port.EndConfig();
  EXPECT_EQ(Device.Calls(), (TCalls{"SetupComm 1024 1024", "SetCommState", "SetCommTimeouts"}));
  EXPECT_EQ(Device.LastDcb().BaudRate, 57600u);

  Device.ClearCalls();
  Port.EndConfig();
  EXPECT_EQ(Device.Calls(), TCalls{});
}

TEST_F(ComPortConfigTest, OpeningInsideConfigSendsNothingUntilTheEnd) {
  Port.BeginConfig();
  Port.OpenPort();
  EXPECT_TRUE(Port.Connected());
  EXPECT_TRUE(Device.CallsNamed("SetupComm").empty());
  EXPECT_TRUE(Device.CallsNamed("SetCommState").empty());
  EXPECT_TRUE(Device.CallsNamed("SetCommTimeouts").empty());
  Device.ClearCalls();
  Port.EndConfig();
  EXPECT_EQ(Device.Calls(), (TCalls{"SetupComm 1024 1024", "SetCommState", "SetCommTimeouts"}));
}

TEST_F(ComPortConfigTest, ChangesWhileClosedReachTheDeviceAtOpening) {
  Port.SetBaudRate(TBaudRate::brCustom);
  Port.SetCustomBaudRate(250000);
  Port.Buffer().SetInputSize(1025);
  Port.Timeouts().SetWriteTotalConstant(-1);
  EXPECT_EQ(Device.Calls(), TCalls{});
  Port.OpenPort();
  EXPECT_EQ(Device.CallsNamed("SetupComm"), TCalls{"SetupComm 1024 1024"});
  EXPECT_EQ(Device.LastDcb().BaudRate, 250000u);
  EXPECT_EQ(Device.LastDcb().XonLim, 256);
  EXPECT_EQ(Device.LastTimeouts().WriteTotalTimeoutConstant, MAXDWORD);
}

TEST_F(ComPortConfigTest, EvenInputSizeIsKeptAndSetsTheLimits) {
  OpenAndForget();
  Port.Buffer().SetInputSize(1026);
  EXPECT_EQ(Device.Calls(), TCalls{"SetupComm 1026 1024"});
  Port.SetBuffer(Port.Buffer());
  Port.SetParity(Port.Parity());
  EXPECT_EQ(Device.LastDcb().XonLim, 256);
}

TEST_F(ComPortConfigTest, ARefusedSettingWhileOpenKeepsTheNewValue) {
  struct TCase {
    const char* Call;
    std::function<void(TComPort&)> Change;
    std::int32_t ErrorNumber;
  };
  const TCase Cases[] = {
      {"SetCommState", [](TComPort& P) { P.SetBaudRate(TBaudRate::br110); }, 7},
      {"SetCommTimeouts", [](TComPort& P) { P.Timeouts().SetReadTotalConstant(50); }, 8},
      {"SetupComm", [](TComPort& P) { P.Buffer().SetOutputSize(-2); }, 9},
  };
  OpenAndForget();
  for (const TCase& Case : Cases) {
    Device.FailNext(Case.Call, EINVAL);
    const EComPort Error = CatchComPortError([&] { Case.Change(Port); });
    EXPECT_EQ(Error.ErrorNumber(), Case.ErrorNumber) << Case.Call;
    EXPECT_EQ(Error.SystemErrorCode(), EINVAL) << Case.Call;
    EXPECT_TRUE(Port.Connected());
  }
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br110);
  EXPECT_EQ(Port.Timeouts().ReadTotalConstant(), 50);
  EXPECT_EQ(Port.Buffer().OutputSize(), -2);
}

TEST_F(ComPortConfigTest, SyncMethodCannotChangeWhileOpen) {
  Port.SetSyncMethod(TSyncMethod::smNone);
  EXPECT_EQ(Port.SyncMethod(), TSyncMethod::smNone);
  OpenAndForget();
  const EComPort Error = CatchComPortError([&] { Port.SetSyncMethod(TSyncMethod::smWindowSync); });
  EXPECT_EQ(Error.ErrorNumber(), 14);
  EXPECT_EQ(Error.SystemErrorCode(), -1);
  EXPECT_STREQ(Error.what(), "Cannot set property while connected");
  EXPECT_EQ(Port.SyncMethod(), TSyncMethod::smNone);
  EXPECT_EQ(Device.Calls(), TCalls{});
}

TEST_F(ComPortConfigTest, WritingConnectedToItsCurrentStateDoesNothing) {
  TEventLog Log;
  RecordPortEvents(Port, Log);
  Port.SetConnected(false);
  EXPECT_EQ(Device.Calls(), TCalls{});
  EXPECT_EQ(Log, TEventLog{});
  Port.SetConnected(true);
  EXPECT_TRUE(Port.Connected());
  Device.ClearCalls();
  Log.clear();
  Port.SetConnected(true);
  Port.OpenPort();
  EXPECT_EQ(Device.Calls(), TCalls{});
  EXPECT_EQ(Log, TEventLog{});
  Port.SetConnected(false);
  EXPECT_FALSE(Port.Connected());
}

TEST_F(ComPortConfigTest, DesigningTakesNoDeviceAction) {
  Port.SetDesigning(true);
  Port.OpenPort();
  Port.SetConnected(true);
  EXPECT_TRUE(Port.Connected());  // only stored
  Port.SetBaudRate(TBaudRate::br300);
  Port.ClosePort();
  EXPECT_EQ(Device.Calls(), TCalls{});
}

TEST_F(ComPortConfigTest, DeviceCanOnlyBeReplacedWhileClosed) {
  Port.OpenPort();
  const EComPort Error =
      CatchComPortError([&] { Port.SetDevice(std::make_unique<TFakeDevice>()); });
  EXPECT_EQ(Error.ErrorNumber(), 14);
  EXPECT_EQ(&Port.Device(), &Device);
  EXPECT_THROW(Port.SetDevice(nullptr), std::invalid_argument);
}

TEST_F(ComPortConfigTest, ShowPortSetupRunsTheInstalledRunner) {
  Port.ShowPortSetup();  // no runner: nothing happens
  TCustomComPort* Shown = nullptr;
  TCustomComPort::SetPortSetupRunner([&Shown](TCustomComPort& P) { Shown = &P; });
  Port.ShowPortSetup();
  TCustomComPort::SetPortSetupRunner(nullptr);
  EXPECT_EQ(Shown, &Port);
}

class ComPortLoadingTest : public ComPortConfigTest {
 protected:
  ComPortLoadingTest() {
    SetApplicationExceptionHandler([this](TObject* Sender, std::exception_ptr Error) {
      Reported.emplace_back(Sender, Error);
    });
  }
  ~ComPortLoadingTest() override { SetApplicationExceptionHandler(nullptr); }
  std::vector<std::pair<TObject*, std::exception_ptr>> Reported;
};

TEST_F(ComPortLoadingTest, StoredConnectedOpensOnlyAfterLoading) {
  Port.BeginLoading();
  Port.SetConnected(true);
  Port.SetBaudRate(TBaudRate::br38400);
  EXPECT_EQ(Device.Calls(), TCalls{});
  Port.EndLoading();
  EXPECT_TRUE(Port.Connected());
  EXPECT_EQ(Device.LastDcb().BaudRate, 38400u);
  EXPECT_TRUE(Reported.empty());
}

TEST_F(ComPortLoadingTest, AFailedOpeningAfterLoadingGoesToTheApplicationHandler) {
  Device.FailNext("Open", ENOENT);
  Port.BeginLoading();
  Port.SetConnected(true);
  EXPECT_NO_THROW(Port.EndLoading());
  EXPECT_FALSE(Port.Connected());
  ASSERT_EQ(Reported.size(), 1u);
  EXPECT_EQ(Reported[0].first, &Port);
  const EComPort Error = CatchComPortError([&] { std::rethrow_exception(Reported[0].second); });
  EXPECT_EQ(Error.ErrorNumber(), 1);
  EXPECT_EQ(Error.SystemErrorCode(), ENOENT);
}

}  // namespace
}  // namespace tolvane
