// Delivery of line events to the port's events and its links, and the link list itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "serialport/base/application_exception.h"
#include "serialport/port/com_port.h"
#include "tests/support/fake_device.h"
#include "tests/support/port_recorder.h"

namespace tolvane {
namespace {

using TCalls = std::vector<std::string>;

class ComPortDeliveryTest : public ::testing::Test {
 protected:
  ComPortDeliveryTest() {
    Port.SetEvents({});
    Port.OpenPort();
    Device.ClearCalls();
    RecordPortEvents(Port, Log);
  }

  // The log and the links outlive the port, whose destruction still notifies them.
  TEventLog Log;
  TComLink Link;
  TComLink Second;
  TComLink Third;
  TComPort Port{nullptr};
  TFakeDevice& Device = InstallFakeDevice(Port);
};

TEST_F(ComPortDeliveryTest, ReceivedBytesAreReadOnceForTheRawBufferLinks) {
  TComLink& Quiet = Third;  // no OnRxBuf: takes no part in reading
  RecordLink(Link, "L1", Log);
  RecordLink(Second, "L2", Log);
  Port.AttachLink(&Link);
  Port.AttachLink(&Quiet);
  Port.AttachLink(&Second);
  Device.InjectInput("ST0012");
  Port.ProcessRxChar();
  EXPECT_EQ(Log, (TEventLog{"L1 RxActivity true", "L2 RxActivity true", "L1 RxActivity false",
                            "L2 RxActivity false", "RxBuf ST0012", "L1 RxBuf ST0012",
                            "L2 RxBuf ST0012"}));
  EXPECT_EQ(Device.CallsNamed("ReadFile"), TCalls{"ReadFile 6"});
  EXPECT_EQ(Device.InputQueued(), 0u);
}

TEST_F(ComPortDeliveryTest, AReceptionCountsOnceAndReadsOnceAndLeavesTheLineErrors) {
  // The assembler's kind of link: raw buffers only, no activity callbacks.
  Link.OnRxBuf = [&](TObject*, const void*, std::int32_t Count) {
    Log.push_back("RxBuf " + std::to_string(Count));
  };
  Port.AttachLink(&Link);
  Device.InjectInput("ST001203200;");
  Device.SetLineErrors(CE_FRAME);
  Port.ProcessRxChar();
  EXPECT_EQ(Device.Calls(), (TCalls{"InputCount", "ReadFile 12"}));
  EXPECT_EQ(Log, (TEventLog{"RxBuf ST001203200;", "RxBuf 12"}));
  // The frame error is still there for the port's own question.
  EXPECT_EQ(Port.PendingErrors(), TComErrors{TComError::ceFrame});
}

TEST_F(ComPortDeliveryTest, WithoutConsumersTheCountIsAnnouncedAndTheBytesStay) {
  Device.InjectInput("abc");
  Port.ProcessRxChar();
  EXPECT_EQ(Log, TEventLog{"RxChar 3"});
  EXPECT_EQ(Device.InputQueued(), 3u);
  EXPECT_TRUE(Device.CallsNamed("ReadFile").empty());
}

TEST_F(ComPortDeliveryTest, AnEmptyQueueDeliversNothing) {
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  Port.ProcessRxChar();
  EXPECT_EQ(Log, TEventLog{});
}

TEST_F(ComPortDeliveryTest, WithRxCharOffThePortReadsForItselfWithoutLinks) {
  Port.SetRxCharEnabled(false);
  Device.InjectInput("xy");
  Port.ProcessRxChar();
  EXPECT_EQ(Log, TEventLog{"RxBuf xy"});
  EXPECT_EQ(Device.InputQueued(), 0u);
}

TEST_F(ComPortDeliveryTest, OnlyTheBytesActuallyReadAreHandedOver) {
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  Device.InjectInput("ABCDEF");
  Device.LimitReads(4);
  Port.ProcessRxChar();
  EXPECT_EQ(Log, (TEventLog{"L RxActivity true", "RxBuf ABCD", "L RxBuf ABCD"}));
  EXPECT_EQ(Device.InputQueued(), 2u);
}

TEST_F(ComPortDeliveryTest, AThrowingLinkStillEndsTheReceptionCleanly) {
  Link.OnRxBuf = [](TObject*, const void*, std::int32_t) { throw std::runtime_error("link"); };
  Port.AttachLink(&Link);
  Device.InjectInput("12345");
  EXPECT_THROW(Port.ProcessRxChar(), std::runtime_error);
  EXPECT_EQ(Log, TEventLog{"RxBuf 12345"});  // no RxChar after the failure
  EXPECT_EQ(Device.InputQueued(), 0u);
}

TEST_F(ComPortDeliveryTest, AFailedReadInReceptionRaisesReadError) {
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  Device.InjectInput("12");
  Device.FailNext("ReadFile", EIO);
  EXPECT_EQ(CatchComPortError([&] { Port.ProcessRxChar(); }).ErrorNumber(), 3);
  EXPECT_EQ(Log, TEventLog{"L RxActivity true"});
}

TEST_F(ComPortDeliveryTest, ALinkDetachingDuringAPassDoesNotDerailIt) {
  TComLink& Detacher = Link;
  TComLink& Other = Second;
  Detacher.OnRing = [&](TObject*) {
    Port.DetachLink(&Detacher);
    Log.push_back("detached");
  };
  RecordLink(Other, "O", Log);
  Port.AttachLink(&Detacher);
  Port.AttachLink(&Other);
  Port.ProcessRing();
  // The pass counts the links once; the second position now is past the end.
  EXPECT_EQ(Log, (TEventLog{"detached", "Ring"}));
  Port.ProcessRing();
  EXPECT_EQ(Log, (TEventLog{"detached", "Ring", "O Ring", "Ring"}));
}

TEST_F(ComPortDeliveryTest, SimpleStepsCallLinksThenTheEvent) {
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  Port.ProcessTxEmpty();
  Port.ProcessRxFlag();
  Port.ProcessRing();
  Port.ProcessBreak();
  Port.ProcessRx80Full();
  EXPECT_EQ(Log, (TEventLog{"L TxActivity false", "L TxEmpty", "TxEmpty", "L RxFlag", "RxFlag",
                            "L Ring", "Ring", "Break", "Rx80Full"}));
  EXPECT_EQ(Device.Calls(), TCalls{});
}

TEST_F(ComPortDeliveryTest, SignalStepsReportTheLineAsReadNow) {
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  Device.SetModemStatus(MS_DSR_ON);
  Port.ProcessCTSChange();
  Port.ProcessDSRChange();
  Port.ProcessRLSDChange();
  EXPECT_EQ(Log, (TEventLog{"L CTSChange false", "CTSChange false", "L DSRChange true",
                            "DSRChange true", "L RLSDChange false", "RLSDChange false"}));
}

TEST_F(ComPortDeliveryTest, ErrorFiresOnlyForANonEmptySet) {
  Device.SetLineErrors(CE_RXPARITY);  // ignored while Parity.Check is off
  Port.ProcessError();
  EXPECT_EQ(Log, TEventLog{});
  Device.SetLineErrors(CE_OVERRUN | CE_BREAK);
  Port.ProcessError();
  EXPECT_EQ(Log, TEventLog{"Error 12"});
}

TEST_F(ComPortDeliveryTest, WindowMessagesRunTheStepOfTheirEventBit) {
  const std::pair<std::uint32_t, const char*> Cases[] = {
      {EV_TXEMPTY, "TxEmpty"},       {EV_RXFLAG, "RxFlag"},       {EV_RING, "Ring"},
      {EV_BREAK, "Break"},           {EV_CTS, "CTSChange false"}, {EV_DSR, "DSRChange false"},
      {EV_RLSD, "RLSDChange false"}, {EV_RX80FULL, "Rx80Full"},
  };
  for (const auto& [Bit, Event] : Cases) {
    Log.clear();
    Port.EventWindowProc(CM_COMPORT, Bit);
    EXPECT_EQ(Log, TEventLog{Event}) << Bit;
  }
  Log.clear();
  Device.InjectInput("ab");
  Port.EventWindowProc(CM_COMPORT, EV_RXCHAR);
  Device.SetLineErrors(CE_FRAME);
  Port.EventWindowProc(CM_COMPORT, EV_ERR);
  EXPECT_EQ(Log, (TEventLog{"RxChar 2", "Error 1"}));
}

TEST_F(ComPortDeliveryTest, OtherWindowMessagesAndUnknownBitsDoNothing) {
  Device.InjectInput("ab");
  Port.EventWindowProc(CM_COMPORT + 1, EV_RXCHAR);
  Port.EventWindowProc(CM_COMPORT, 0x0200);
  Port.EventWindowProc(CM_COMPORT, EV_RXCHAR | EV_RING);
  EXPECT_EQ(Log, TEventLog{});
  EXPECT_EQ(Device.Calls(), TCalls{});
}

TEST_F(ComPortDeliveryTest, WindowMessagesAfterDisconnectRunNoStep) {
  Port.ClosePort();
  Log.clear();
  Device.ClearCalls();
  Port.EventWindowProc(CM_COMPORT, EV_RING);
  Port.EventWindowProc(CM_COMPORT, EV_RXCHAR);
  EXPECT_EQ(Log, TEventLog{});
  EXPECT_EQ(Device.Calls(), TCalls{});
}

TEST_F(ComPortDeliveryTest, AStepFailingInTheWindowGoesToTheApplicationHandler) {
  std::vector<std::exception_ptr> Reported;
  SetApplicationExceptionHandler(
      [&Reported](TObject*, std::exception_ptr Error) { Reported.push_back(Error); });
  Device.FailNext("GetCommModemStatus", EIO);
  EXPECT_NO_THROW(Port.EventWindowProc(CM_COMPORT, EV_CTS));
  SetApplicationExceptionHandler(nullptr);
  ASSERT_EQ(Reported.size(), 1u);
  EXPECT_EQ(CatchComPortError([&] { std::rethrow_exception(Reported[0]); }).ErrorNumber(), 11);
}

TEST(ComPortLinkTest, AttachingTwiceOrDetachingTwiceFailsAndKeepsTheList) {
  TComPort Port(nullptr);
  TFakeDevice& Device = InstallFakeDevice(Port);
  TComLink Link;
  TEventLog Log;
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  const EComPort Twice = CatchComPortError([&] { Port.AttachLink(&Link); });
  EXPECT_EQ(Twice.ErrorNumber(), 18);
  EXPECT_STREQ(Twice.what(), "Link (un)registration failed");
  EXPECT_EQ(CatchComPortError([&] { Port.AttachLink(nullptr); }).ErrorNumber(), 18);

  // One entry: opening notifies the link once.
  Port.SetEvents({});
  Port.OpenPort();
  EXPECT_EQ(std::ranges::count(Log, "L ConnChange true"), 1);
  Device.ClearCalls();

  Port.DetachLink(&Link);
  EXPECT_EQ(CatchComPortError([&] { Port.DetachLink(&Link); }).ErrorNumber(), 18);
  EXPECT_EQ(Device.Calls(), TCalls{});  // neither touches the device
}

TEST(ComPortLinkTest, HasRxBufLinkFollowsTheAttachedLinks) {
  TComPort Port(nullptr);
  TComLink Plain;
  TComLink Raw;
  Raw.OnRxBuf = [](TObject*, const void*, std::int32_t) {};
  Port.AttachLink(&Plain);
  EXPECT_FALSE(Port.HasRxBufLink());
  Port.AttachLink(&Raw);
  EXPECT_TRUE(Port.HasRxBufLink());
  Port.DetachLink(&Raw);
  EXPECT_FALSE(Port.HasRxBufLink());
}

}  // namespace
}  // namespace tolvane
