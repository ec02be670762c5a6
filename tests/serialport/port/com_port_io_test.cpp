// The data path: writes, reads, transfer records, status queries and their failures.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "serialport/port/com_port.h"
#include "tests/support/fake_device.h"
#include "tests/support/port_recorder.h"

namespace tolvane {
namespace {

using TCalls = std::vector<std::string>;

class ComPortIoTest : public ::testing::Test {
 protected:
  ComPortIoTest() {
    Port.SetEvents({});
    Port.OpenPort();
    Device.ClearCalls();
    RecordLink(Link, "L", Log);
    Port.AttachLink(&Link);
  }

  // The log and the link outlive the port, whose destruction still notifies them.
  TEventLog Log;
  TComLink Link;
  TComPort Port{nullptr};
  TFakeDevice& Device = InstallFakeDevice(Port);
};

TEST_F(ComPortIoTest, WriteStringSendsTheBytesAndTellsTheLinks) {
  EXPECT_EQ(Port.WriteString("ID;"), 3);
  EXPECT_EQ(Device.Written(), "ID;");
  EXPECT_EQ(Device.Calls(), (TCalls{"WriteFile 3", "GetOverlappedResult"}));
  EXPECT_EQ(Log, (TEventLog{"L TxActivity true", "L TxBuf ID;"}));
}

// The port reuses one record for its writes; a write made from inside another's link
// notification needs a record of its own, or the outer write's bytes would be overwritten
// while the links after the writing one are still to be given them.
TEST_F(ComPortIoTest, AWriteFromInsideAWritesNotificationKeepsBothCopies) {
  TComLink Echo;
  TComLink Last;
  bool Nested = false;
  Echo.OnTxBuf = [&](TObject*, const void*, std::int32_t) {
    if (Nested) return;
    Nested = true;
    Port.WriteString("DI;");
  };
  RecordLink(Last, "M", Log);
  Port.WriteString("ID;");  // the port now has a record to reuse
  Log.clear();
  Port.AttachLink(&Echo);
  Port.AttachLink(&Last);
  EXPECT_EQ(Port.WriteString("ST0012;"), 7);
  EXPECT_EQ(Device.Written(), "ID;ST0012;DI;");
  EXPECT_EQ(Log, (TEventLog{"L TxActivity true", "M TxActivity true", "L TxBuf ST0012;",
                            "L TxActivity true", "M TxActivity true", "L TxBuf DI;", "M TxBuf DI;",
                            "M TxBuf ST0012;"}));
  Port.DetachLink(&Last);
  Port.DetachLink(&Echo);
}

TEST_F(ComPortIoTest, AnEmptyTextIsNoTransfer) {
  EXPECT_EQ(Port.WriteString(""), 0);
  PComTransfer Transfer = nullptr;
  NewTransfer(Transfer);
  EXPECT_EQ(Port.StartWriteStr("", Transfer), 0);
  FreeTransfer(Transfer);
  EXPECT_EQ(Transfer, nullptr);
  EXPECT_EQ(Device.Calls(), TCalls{});
  EXPECT_EQ(Log, TEventLog{});
}

TEST_F(ComPortIoTest, AWriteCutShortReportsWhatWentOut) {
  Device.LimitWrites(2);
  EXPECT_EQ(Port.WriteString("ST0012;"), 2);
  EXPECT_EQ(Device.Written(), "ST");
  // The links still hear the bytes the caller wrote.
  EXPECT_EQ(Log.back(), "L TxBuf ST0012;");
}

TEST_F(ComPortIoTest, BinaryBytesPassUnchanged) {
  const std::string Bytes("\0\xff\x11\x13;", 5);
  EXPECT_EQ(Port.WriteString(Bytes), 5);
  EXPECT_EQ(Device.Written(), Bytes);
  EXPECT_EQ(Log.back(), "L TxBuf " + Bytes);
}

TEST_F(ComPortIoTest, AnEmptyTransferReferenceTouchesNoDevice) {
  PComTransfer Empty = nullptr;
  char Buffer[4] = {};
  const std::function<void()> Operations[] = {
      [&] { Port.StartWrite("ab", 2, Empty); },
      [&] { Port.StartWriteStr("ab", Empty); },
      [&] { Port.StartRead(Buffer, 4, Empty); },
      [&] { Port.WaitTransfer(Empty); },
  };
  for (const auto& Operation : Operations) {
    const EComPort Error = CatchComPortError(Operation);
    EXPECT_EQ(Error.ErrorNumber(), 4);
    EXPECT_EQ(Error.SystemErrorCode(), -1);
    EXPECT_STREQ(Error.what(), "Invalid Async parameter");
    EXPECT_EQ(Error.DevicePath(), "");  // the caller's mistake, not the device's
    EXPECT_EQ(Error.Detail(), "");
  }
  EXPECT_EQ(Device.Calls(), TCalls{});
  EXPECT_EQ(Log, TEventLog{});
}

TEST_F(ComPortIoTest, ABadBufferOrCountIsRefusedBeforeTheDevice) {
  PComTransfer Transfer = nullptr;
  NewTransfer(Transfer);
  char Buffer[4] = {};
  EXPECT_EQ(CatchComPortError([&] { Port.StartWrite(Buffer, -1, Transfer); }).ErrorNumber(), 2);
  EXPECT_EQ(CatchComPortError([&] { Port.StartWrite(nullptr, 3, Transfer); }).ErrorNumber(), 2);
  EXPECT_EQ(CatchComPortError([&] { Port.StartRead(Buffer, -5, Transfer); }).SystemErrorCode(),
            EINVAL);
  EXPECT_EQ(CatchComPortError([&] { Port.ReadData(nullptr, 4); }).ErrorNumber(), 3);
  FreeTransfer(Transfer);
  EXPECT_EQ(Device.Calls(), TCalls{});
}

TEST_F(ComPortIoTest, AReadThatEmptiesTheQueueReportsRxActivityOff) {
  char Buffer[16] = {};
  EXPECT_EQ(Port.ReadData(Buffer, sizeof Buffer), 0);
  EXPECT_EQ(Log, TEventLog{"L RxActivity false"});

  Log.clear();
  Device.InjectInput("ST0012;");
  EXPECT_EQ(Port.ReadData(Buffer, sizeof Buffer), 7);
  EXPECT_EQ(std::string(Buffer, 7), "ST0012;");
  EXPECT_EQ(Log, TEventLog{"L RxActivity false"});
}

TEST_F(ComPortIoTest, AReadThatLeavesBytesNotifiesNothing) {
  Device.InjectInput("abcdef");
  char Buffer[4] = {};
  EXPECT_EQ(Port.ReadData(Buffer, 4), 4);
  EXPECT_EQ(Device.InputQueued(), 2u);
  EXPECT_EQ(Log, TEventLog{});
}

TEST_F(ComPortIoTest, AReadOnARecordThatOnceWroteDoesNotRepeatTheWrite) {
  PComTransfer Transfer = nullptr;
  NewTransfer(Transfer);
  Port.StartWriteStr("DI;", Transfer);
  Port.WaitTransfer(Transfer);
  Log.clear();
  Device.InjectInput("xyz");
  char Buffer[1] = {};
  EXPECT_EQ(Port.StartRead(Buffer, 1, Transfer), 1);
  EXPECT_EQ(Port.WaitTransfer(Transfer), 1);
  EXPECT_EQ(Transfer->Kind, TTransferKind::xkRead);
  EXPECT_EQ(Log, TEventLog{});
  FreeTransfer(Transfer);
}

TEST_F(ComPortIoTest, ARecordReusedForWritesKeepsOnlyTheLastCopy) {
  PComTransfer Transfer = nullptr;
  NewTransfer(Transfer);
  EXPECT_EQ(Transfer->Kind, TTransferKind::xkWrite);
  EXPECT_EQ(Transfer->Data, nullptr);
  Port.StartWriteStr("first", Transfer);
  Port.StartWriteStr("2nd", Transfer);
  EXPECT_EQ(Transfer->Size, 3);
  Log.clear();
  Port.WaitTransfer(Transfer);
  EXPECT_EQ(Log, TEventLog{"L TxBuf 2nd"});
  FreeTransfer(Transfer);
}

TEST_F(ComPortIoTest, RefusedTransfersRaiseTheirNumberAndLeaveThePortOpen) {
  struct TCase {
    const char* Call;
    std::function<void()> Operation;
    std::int32_t ErrorNumber;
    TEventLog Heard;  // a started write has told the links; a failed one has not
  };
  char Buffer[8] = {};
  const TCase Cases[] = {
      {"WriteFile", [&] { Port.WriteString("ID;"); }, 2, {}},
      {"GetOverlappedResult", [&] { Port.WriteString("ID;"); }, 2, {"L TxActivity true"}},
      {"ReadFile", [&] { Port.ReadData(Buffer, 8); }, 3, {}},
      {"GetOverlappedResult", [&] { Port.ReadData(Buffer, 8); }, 3, {}},
      {"PurgeComm", [&] { Port.AbortTransfers(); }, 5, {}},
      {"InputCount", [&] { Port.InputQueueCount(); }, 10, {}},
      {"ClearCommError", [&] { Port.PendingErrors(); }, 10, {}},
      {"GetCommModemStatus", [&] { Port.LineSignals(); }, 11, {}},
  };
  for (const TCase& Case : Cases) {
    Log.clear();
    Device.FailNext(Case.Call, EIO);
    const EComPort Error = CatchComPortError(Case.Operation);
    EXPECT_EQ(Error.ErrorNumber(), Case.ErrorNumber) << Case.Call;
    EXPECT_EQ(Error.SystemErrorCode(), EIO) << Case.Call;
    EXPECT_EQ(Error.DevicePath(), "/dev/ttyS0") << Case.Call;  // the device COM1 opens
    EXPECT_EQ(Error.Detail(), "/dev/ttyS0: Input/output error") << Case.Call;
    EXPECT_EQ(Log, Case.Heard) << Case.Call;
    EXPECT_TRUE(Port.Connected());
  }
}

TEST_F(ComPortIoTest, AReadWhoseQueueCheckFailsRaisesTheQueryError) {
  Device.FailAlways("InputCount", EIO);
  char Buffer[2] = {};
  EXPECT_EQ(CatchComPortError([&] { Port.ReadData(Buffer, 2); }).ErrorNumber(), 10);
}

TEST_F(ComPortIoTest, LineSignalsMapTheModemBits) {
  struct TCase {
    std::uint32_t Status;
    TComLineSignals Signals;
  };
  using enum TComLineSignal;
  const TCase Cases[] = {
      {0, {}},
      {MS_CTS_ON | MS_RLSD_ON, {lsCTS, lsRLSD}},
      {MS_DSR_ON | MS_RING_ON, {lsDSR, lsRing}},
      {MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON | 0xFF0F, {lsCTS, lsDSR, lsRing, lsRLSD}},
      {0xFF0F, {}},
  };
  for (const TCase& Case : Cases) {
    Device.SetModemStatus(Case.Status);
    EXPECT_EQ(Port.LineSignals(), Case.Signals) << Case.Status;
  }
}

TEST_F(ComPortIoTest, PendingErrorsMapTheFlagsAndClearThem) {
  using enum TComError;
  const std::pair<std::uint32_t, TComError> Flags[] = {
      {CE_FRAME, ceFrame}, {CE_OVERRUN, ceOverrun}, {CE_BREAK, ceBreak},   {CE_IOE, ceIO},
      {CE_MODE, ceMode},   {CE_RXOVER, ceRxOver},   {CE_TXFULL, ceTxFull},
  };
  for (const auto& [Flag, Error] : Flags) {
    Device.SetLineErrors(Flag | 0x0200);  // plus a flag the port ignores
    EXPECT_EQ(Port.PendingErrors(), TComErrors{Error}) << Flag;
    EXPECT_TRUE(Port.PendingErrors().Empty()) << Flag;
  }
}

TEST_F(ComPortIoTest, ParityErrorsCountOnlyWhenCheckIsOn) {
  Device.SetLineErrors(CE_RXPARITY | CE_FRAME);
  EXPECT_EQ(Port.PendingErrors(), TComErrors{TComError::ceFrame});
  Port.Parity().SetCheck(true);
  Device.SetLineErrors(CE_RXPARITY | CE_FRAME);
  EXPECT_EQ(Port.PendingErrors(), (TComErrors{TComError::ceFrame, TComError::ceRxParity}));
}

TEST(ComPortClosedIoTest, EveryOperationOnAClosedPortFailsWithABadHandle) {
  TComPort Port(nullptr);
  TFakeDevice& Device = InstallFakeDevice(Port);
  char Buffer[4] = {};
  const std::pair<std::function<void()>, std::int32_t> Cases[] = {
      {[&] { Port.WriteString("ID;"); }, 2}, {[&] { Port.ReadData(Buffer, 4); }, 3},
      {[&] { Port.AbortTransfers(); }, 5},   {[&] { Port.InputQueueCount(); }, 10},
      {[&] { Port.PendingErrors(); }, 10},   {[&] { Port.LineSignals(); }, 11},
  };
  for (const auto& [Operation, ErrorNumber] : Cases) {
    const EComPort Error = CatchComPortError(Operation);
    EXPECT_EQ(Error.ErrorNumber(), ErrorNumber);
    EXPECT_EQ(Error.SystemErrorCode(), EBADF);
  }
  EXPECT_FALSE(Port.Connected());
  EXPECT_FALSE(Device.IsOpen());

  // A port takes its device when it opens; until then its calls meet a device that is not open,
  // and the error names the device that its name stands for.
  TComPort Unopened(nullptr);
  Unopened.SetPort("COM2");
  const EComPort Error = CatchComPortError([&] { Unopened.InputQueueCount(); });
  EXPECT_EQ(Error.SystemErrorCode(), EBADF);
  EXPECT_EQ(Error.DevicePath(), "/dev/ttyS1");
}

}  // namespace
}  // namespace tolvane
