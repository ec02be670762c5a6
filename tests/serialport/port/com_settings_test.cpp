#include "serialport/port/com_settings.h"

#include <gtest/gtest.h>

#include "serialport/port/com_port.h"
#include "tests/support/fake_device.h"

namespace tolvane {
namespace {

TEST(ComSettingsTest, AssignCopiesEveryFieldButKeepsTheTargetsPort) {
  TComPort Port(nullptr);
  TComFlowControl Source;
  Source.SetOutCTSFlow(true);
  Source.SetOutDSRFlow(true);
  Source.SetControlDTR(TDTRFlowControl::dtrHandshake);
  Source.SetControlRTS(TRTSFlowControl::rtsToggle);
  Source.SetXonXoffOut(true);
  Source.SetXonXoffIn(true);
  Source.SetDSRSensitivity(true);
  Source.SetTxContinueOnXoff(true);
  Source.SetXonChar('a');
  Source.SetXoffChar('b');

  Port.FlowControl().Assign(Source);
  const TComFlowControl& Copy = Port.FlowControl();
  EXPECT_EQ(Copy.ComPort(), &Port);
  EXPECT_TRUE(Copy.OutCTSFlow());
  EXPECT_TRUE(Copy.OutDSRFlow());
  EXPECT_EQ(Copy.ControlDTR(), TDTRFlowControl::dtrHandshake);
  EXPECT_EQ(Copy.ControlRTS(), TRTSFlowControl::rtsToggle);
  EXPECT_TRUE(Copy.XonXoffOut());
  EXPECT_TRUE(Copy.XonXoffIn());
  EXPECT_TRUE(Copy.DSRSensitivity());
  EXPECT_TRUE(Copy.TxContinueOnXoff());
  EXPECT_EQ(Copy.XonChar(), 'a');
  EXPECT_EQ(Copy.XoffChar(), 'b');
}

TEST(ComSettingsTest, AssignOfTheOtherGroupsCopiesTheirFields) {
  TComParity Parity;
  Parity.SetBits(TParityBits::prMark);
  Parity.SetCheck(true);
  Parity.SetReplace(true);
  Parity.SetReplaceChar('?');
  TComParity ParityCopy;
  ParityCopy.Assign(Parity);
  EXPECT_EQ(ParityCopy.Bits(), TParityBits::prMark);
  EXPECT_TRUE(ParityCopy.Check());
  EXPECT_TRUE(ParityCopy.Replace());
  EXPECT_EQ(ParityCopy.ReplaceChar(), '?');

  TComTimeouts Timeouts;
  Timeouts.SetReadInterval(1);
  Timeouts.SetReadTotalMultiplier(2);
  Timeouts.SetReadTotalConstant(3);
  Timeouts.SetWriteTotalMultiplier(4);
  Timeouts.SetWriteTotalConstant(5);
  TComTimeouts TimeoutsCopy;
  TimeoutsCopy.Assign(Timeouts);
  EXPECT_EQ(TimeoutsCopy.ReadInterval(), 1);
  EXPECT_EQ(TimeoutsCopy.ReadTotalMultiplier(), 2);
  EXPECT_EQ(TimeoutsCopy.ReadTotalConstant(), 3);
  EXPECT_EQ(TimeoutsCopy.WriteTotalMultiplier(), 4);
  EXPECT_EQ(TimeoutsCopy.WriteTotalConstant(), 5);

  TComBuffer Buffer;
  Buffer.SetInputSize(64);
  Buffer.SetOutputSize(32);
  TComBuffer BufferCopy;
  BufferCopy.Assign(Buffer);
  EXPECT_EQ(BufferCopy.InputSize(), 64);
  EXPECT_EQ(BufferCopy.OutputSize(), 32);
}

TEST(ComSettingsTest, AssignFromAnotherClassRaisesAConvertErrorAndChangesNothing) {
  TComParity Parity;
  TComBuffer Buffer;
  TComTimeouts Timeouts;
  TComFlowControl Flow;
  Buffer.SetInputSize(64);
  EXPECT_THROW(Buffer.Assign(Parity), EConvertError);
  EXPECT_EQ(Buffer.InputSize(), 64);
  EXPECT_THROW(Parity.Assign(Buffer), EConvertError);
  EXPECT_THROW(Timeouts.Assign(Flow), EConvertError);
  EXPECT_THROW(Flow.Assign(Timeouts), EConvertError);
}

TEST(ComSettingsTest, QueueSizesLowerAPositiveOddValueByOne) {
  struct TCase {
    std::int32_t Given;
    std::int32_t Stored;
  };
  for (const TCase& Case : {TCase{1025, 1024}, TCase{1026, 1026}, TCase{1, 0}, TCase{0, 0},
                            TCase{-3, -3}, TCase{-4, -4}, TCase{2147483647, 2147483646}}) {
    TComBuffer Buffer;
    Buffer.SetInputSize(Case.Given);
    Buffer.SetOutputSize(Case.Given);
    EXPECT_EQ(Buffer.InputSize(), Case.Stored) << Case.Given;
    EXPECT_EQ(Buffer.OutputSize(), Case.Stored) << Case.Given;
  }
}

struct TFlowCase {
  TRTSFlowControl ControlRTS;
  bool OutCTSFlow;
  bool XonXoffIn;
  bool XonXoffOut;
  TFlowControl Summary;
};

TEST(ComSettingsTest, FlowControlSummaryIsReadFromFourFields) {
  using enum TRTSFlowControl;
  using enum TFlowControl;
  const TFlowCase Cases[] = {
      {rtsHandshake, true, false, false, fcHardware}, {rtsDisable, false, true, true, fcSoftware},
      {rtsDisable, false, false, false, fcNone},      {rtsHandshake, false, false, false, fcCustom},
      {rtsEnable, false, false, false, fcCustom},     {rtsDisable, true, false, false, fcCustom},
      {rtsDisable, false, true, false, fcCustom},     {rtsHandshake, true, true, true, fcCustom},
  };
  for (const TFlowCase& Case : Cases) {
    TComFlowControl Flow;
    Flow.SetControlRTS(Case.ControlRTS);
    Flow.SetOutCTSFlow(Case.OutCTSFlow);
    Flow.SetXonXoffIn(Case.XonXoffIn);
    Flow.SetXonXoffOut(Case.XonXoffOut);
    // The fields that do not count may be anything.
    Flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
    Flow.SetOutDSRFlow(true);
    Flow.SetDSRSensitivity(true);
    Flow.SetTxContinueOnXoff(true);
    EXPECT_EQ(Flow.FlowControl(), Case.Summary)
        << static_cast<int>(Case.ControlRTS) << Case.OutCTSFlow << Case.XonXoffIn;
  }
}

TEST(ComSettingsTest, WritingTheSummarySetsTheFourFieldsFromAnyStart) {
  using enum TRTSFlowControl;
  for (TFlowControl Written :
       {TFlowControl::fcHardware, TFlowControl::fcSoftware, TFlowControl::fcNone}) {
    TComFlowControl Flow;
    Flow.SetControlRTS(rtsToggle);
    Flow.SetOutCTSFlow(true);
    Flow.SetXonXoffIn(true);
    Flow.SetControlDTR(TDTRFlowControl::dtrEnable);
    Flow.SetFlowControl(Written);
    EXPECT_EQ(Flow.FlowControl(), Written);
    EXPECT_EQ(Flow.ControlDTR(), TDTRFlowControl::dtrEnable);  // not one of the four
  }
}

TEST(ComSettingsTest, WritingCustomLeavesTheFieldsButStillReapplies) {
  TComPort Port(nullptr);
  TFakeDevice& Device = InstallFakeDevice(Port);
  Port.SetEvents({});
  Port.OpenPort();
  Port.FlowControl().SetControlRTS(TRTSFlowControl::rtsHandshake);
  Device.ClearCalls();

  Port.FlowControl().SetFlowControl(TFlowControl::fcCustom);
  EXPECT_EQ(Port.FlowControl().ControlRTS(), TRTSFlowControl::rtsHandshake);
  EXPECT_FALSE(Port.FlowControl().OutCTSFlow());
  EXPECT_EQ(Device.Calls(), std::vector<std::string>{"SetCommState"});

  // Writing the mode it already has re-applies too.
  Port.FlowControl().SetFlowControl(TFlowControl::fcNone);
  Port.FlowControl().SetFlowControl(TFlowControl::fcNone);
  EXPECT_EQ(Device.CallsNamed("SetCommState").size(), 3u);
}

}  // namespace
}  // namespace tolvane
