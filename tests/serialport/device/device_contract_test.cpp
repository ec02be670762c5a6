// What every device owes the port, stated once and run against each device type through its
// far end (tests/support/device_far_ends.h; on Windows tests/support/wine/win32_far_end.h and
// the network device's, tests/support/network_far_end.h). A
// new backend adds its far end to DeviceTypes.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "serialport/base/system_error_cause.h"
#include "serialport/base/system_error_codes.h"
#include "serialport/device/com_device.h"
#include "serialport/dispatch/stop_signal.h"
#ifdef _WIN32
#include "tests/support/network_far_end.h"
#include "tests/support/wine/win32_far_end.h"
#else
#include "tests/support/device_far_ends.h"
#endif

namespace tolvane {
namespace {

#ifdef _WIN32
using DeviceTypes = ::testing::Types<test::TWin32FarEnd, test::TRfc2217FarEnd, test::TRawTcpFarEnd>;
#else
using DeviceTypes = ::testing::Types<test::TFakeFarEnd, test::TPosixFarEnd, test::TRfc2217FarEnd,
                                     test::TRawTcpFarEnd>;
#endif

// A far end that may be missing (the Windows one, without its helper) says why.
template <typename TFarEnd>
std::string UnavailableReason(const TFarEnd& FarEnd) {
  if constexpr (requires { FarEnd.Unavailable(); }) {
    return FarEnd.Unavailable();
  } else {
    return {};
  }
}

struct TDeviceName {
  template <typename T>
  static std::string GetName(int) {
    return T::Name;
  }
};

TDcb LineOf9600Baud8N1() {
  TDcb Dcb;
  Dcb.BaudRate = 9600;
  Dcb.fBinary = true;
  Dcb.ByteSize = 8;
  Dcb.Parity = NOPARITY;
  Dcb.StopBits = ONESTOPBIT;
  Dcb.XonChar = 0x11;
  Dcb.XoffChar = 0x13;
  return Dcb;
}

template <typename TFarEnd>
class DeviceContract : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string Why = UnavailableReason(FarEnd); !Why.empty()) GTEST_SKIP() << Why;
    Tested = FarEnd.NewDevice();
    ASSERT_EQ(Tested->Open(FarEnd.PortName()), 0);
    ASSERT_EQ(Tested->SetupComm(4096, 4096), 0);
    ASSERT_EQ(Tested->SetCommState(LineOf9600Baud8N1()), 0);
  }
  void TearDown() override {
    if (Tested && Tested->IsOpen()) Tested->Close();
  }

  // Bytes the far end sends reach the device's queue on their own time; this waits (a few
  // seconds at most, so that a device that never counts them fails instead of hanging).
  bool CountReaches(std::uint32_t Count) {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      std::uint32_t Queued = 0;
      if (Tested->InputCount(Queued) != 0) return false;
      if (Queued >= Count) return Queued == Count;
      if (std::chrono::steady_clock::now() > Deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Reads up to Count bytes under Timeouts; the bytes read, or "error N".
  std::string Read(std::uint32_t Count, const TCommTimeouts& Timeouts) {
    EXPECT_EQ(Tested->SetCommTimeouts(Timeouts), 0);
    std::string Buffer(Count, '\0');
    TOverlapped Overlapped;
    if (const int Error = Tested->ReadFile(Buffer.data(), Count, Overlapped))
      return "error " + std::to_string(Error);
    std::uint32_t Transferred = 0;
    EXPECT_EQ(Tested->GetOverlappedResult(Overlapped, Transferred), 0);
    EXPECT_EQ(Transferred, Overlapped.Transferred);
    Buffer.resize(Transferred);
    return Buffer;
  }

  TFarEnd FarEnd;
  std::unique_ptr<TComDevice> Tested;  // the device under test
};

TYPED_TEST_SUITE(DeviceContract, DeviceTypes, TDeviceName);

TYPED_TEST(DeviceContract, OpensOnceAndRefusesEveryCallOnceClosed) {
  TComDevice& Device = *this->Tested;
  EXPECT_TRUE(Device.IsOpen());
  EXPECT_EQ(Device.Open(this->FarEnd.PortName()), BusyErrorCode)
      << "an open device is not opened again";
  EXPECT_EQ(Device.Close(), 0);
  EXPECT_FALSE(Device.IsOpen());
  std::uint32_t Count = 0;
  std::uint32_t Errors = 0;
  TOverlapped Overlapped;
  TStopSignal Stop;
  EXPECT_EQ(Device.InputCount(Count), NotOpenErrorCode);
  EXPECT_EQ(Device.ClearCommError(Errors, Count), NotOpenErrorCode);
  EXPECT_EQ(Device.WriteFile("x", 1, Overlapped), NotOpenErrorCode);
  EXPECT_EQ(Device.ReadFile(&Count, 1, Overlapped), NotOpenErrorCode);
  EXPECT_EQ(Device.SetCommState(LineOf9600Baud8N1()), NotOpenErrorCode);
  EXPECT_EQ(Device.WaitCommEvent(Errors, Stop), TWaitResult::Failed);
  // Closed, it opens again.
  EXPECT_EQ(Device.Open(this->FarEnd.PortName()), 0);
}

TYPED_TEST(DeviceContract, SettingsAreAppliedAndThoseNoLineCanCarryRefused) {
  TComDevice& Device = *this->Tested;
  TDcb Seven = LineOf9600Baud8N1();
  Seven.ByteSize = 7;
  Seven.Parity = EVENPARITY;
  Seven.StopBits = TWOSTOPBITS;
  EXPECT_EQ(Device.SetCommState(Seven), 0);
  EXPECT_EQ(Device.SetCommTimeouts({MAXDWORD, 0, 0, 10, 100}), 0);
  for (const auto& [What, Change] :
       {std::pair<const char*, void (*)(TDcb&)>{"nine data bits", [](TDcb& D) { D.ByteSize = 9; }},
        {"parity code 7", [](TDcb& D) { D.Parity = 7; }},
        {"stop-bit code 5", [](TDcb& D) { D.StopBits = 5; }}}) {
    TDcb Bad = LineOf9600Baud8N1();
    Change(Bad);
    EXPECT_EQ(Device.SetCommState(Bad), InvalidArgumentErrorCode) << What;
  }
}

TYPED_TEST(DeviceContract, ReadReturnsWhatTheFarEndWrote) {
  this->FarEnd.Send("ST001203200;");
  ASSERT_TRUE(this->CountReaches(12));
  // Without any time-out a read waits for all it asked for; counted bytes are there already,
  // so it ends at once. The port's reception relies on it.
  EXPECT_EQ(this->Read(12, {}), "ST001203200;");
  std::uint32_t Count = 99;
  ASSERT_EQ(this->Tested->InputCount(Count), 0);
  EXPECT_EQ(Count, 0u);
  // Bytes that look like a tty's in-band marks of a break or a bad byte are data like any other.
  const std::string LikeMarks("\xFF\xFF\xFF\x00\x41\xFF\x00\x00", 8);
  this->FarEnd.Send(LikeMarks);
  ASSERT_TRUE(this->CountReaches(8));
  EXPECT_EQ(this->Read(8, {}), LikeMarks);
}

TYPED_TEST(DeviceContract, EachTimeoutRuleEndsAReadOfMoreThanIsThere) {
  const struct {
    const char* Rule;
    TCommTimeouts Timeouts;
  } Rules[] = {
      {"at once", {MAXDWORD, 0, 0, 0, 0}},
      {"on the first byte", {MAXDWORD, MAXDWORD, 30, 0, 0}},
      {"total", {0, 0, 30, 0, 0}},
      {"interval", {20, 0, 0, 0, 0}},
  };
  for (const auto& Rule : Rules) {
    this->FarEnd.Send("abc");
    ASSERT_TRUE(this->CountReaches(3)) << Rule.Rule;
    EXPECT_EQ(this->Read(10, Rule.Timeouts), "abc") << Rule.Rule;
  }
  EXPECT_EQ(this->Read(10, {MAXDWORD, 0, 0, 0, 0}), "") << "nothing there, at once";
  EXPECT_EQ(this->Read(10, {0, 0, 30, 0, 0}), "") << "nothing came within the total";
}

TYPED_TEST(DeviceContract, WritesReachTheFarEnd) {
  TOverlapped Overlapped;
  ASSERT_EQ(this->Tested->WriteFile("ID;", 3, Overlapped), 0);
  std::uint32_t Transferred = 0;
  EXPECT_EQ(this->Tested->GetOverlappedResult(Overlapped, Transferred), 0);
  EXPECT_EQ(Transferred, 3u);
  EXPECT_EQ(this->FarEnd.Received(3), "ID;");
}

TYPED_TEST(DeviceContract, TheInputCountFollowsReadsAndPurges) {
  TComDevice& Device = *this->Tested;
  this->FarEnd.Send("12345");
  ASSERT_TRUE(this->CountReaches(5));
  std::uint32_t Errors = 0;
  std::uint32_t Count = 0;
  ASSERT_EQ(Device.ClearCommError(Errors, Count), 0);
  EXPECT_EQ(Count, 5u) << "both queries count alike";
  EXPECT_EQ(Errors, 0u);
  EXPECT_EQ(this->Read(2, {MAXDWORD, 0, 0, 0, 0}), "12");
  ASSERT_EQ(Device.InputCount(Count), 0);
  EXPECT_EQ(Count, 3u);
  ASSERT_EQ(Device.PurgeComm(PURGE_RXCLEAR), 0);
  ASSERT_EQ(Device.InputCount(Count), 0);
  EXPECT_EQ(Count, 0u);
  EXPECT_EQ(this->Read(10, {MAXDWORD, 0, 0, 0, 0}), "") << "purged bytes are gone";
}

TYPED_TEST(DeviceContract, AWaitEndsWithTheEventsOfNewInputOrWithTheStopSignal) {
  TComDevice& Device = *this->Tested;
  TStopSignal Stop;
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR | EV_TXEMPTY), 0);
  this->FarEnd.Send("x");
  std::uint32_t Mask = 0;
  ASSERT_EQ(Device.WaitCommEvent(Mask, Stop), TWaitResult::Event);
  EXPECT_EQ(Mask, EV_RXCHAR);
  Stop.Set();
  EXPECT_EQ(Device.WaitCommEvent(Mask, Stop), TWaitResult::Stopped);
}

TYPED_TEST(DeviceContract, ALostLineEndsEveryWaitAndNamesItsReason) {
  TComDevice& Device = *this->Tested;
  TStopSignal Stop;
  EXPECT_EQ(Device.LineError(), 0) << "the line is there";
  ASSERT_EQ(Device.SetCommMask(EV_RXCHAR), 0);
  this->FarEnd.Drop();
  std::uint32_t Mask = 0;
  EXPECT_EQ(Device.WaitCommEvent(Mask, Stop), TWaitResult::LineLost);
  EXPECT_TRUE(IsLineLostError(Device.LineError())) << Device.LineError();
  EXPECT_EQ(Device.WaitCommEvent(Mask, Stop), TWaitResult::LineLost) << "and stays lost";
  EXPECT_EQ(Device.Close(), 0);
  EXPECT_EQ(Device.LineError(), 0) << "closing forgets the line";
}

}  // namespace
}  // namespace tolvane
