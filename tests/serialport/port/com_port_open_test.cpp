// Opening and closing: the order of the steps and notifications, and what each failure leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "serialport/base/application_exception.h"
#include "serialport/device/posix/device_path.h"
#include "serialport/port/com_port.h"
#include "tests/support/fake_device.h"
#include "tests/support/port_recorder.h"

namespace tolvane {
namespace {

using TCalls = std::vector<std::string>;

class ComPortOpenTest : public ::testing::Test {
 protected:
  ComPortOpenTest() {
    Port.SetEvents({});
    RecordPortEvents(Port, Log);
  }

  // The open and close notifications only, without the line reports.
  TEventLog Lifecycle() const {
    TEventLog Kept;
    for (const std::string& Entry : Log) {
      if (Entry.find("Open") != std::string::npos || Entry.find("Close") != std::string::npos) {
        Kept.push_back(Entry);
      }
    }
    return Kept;
  }

  // The log and the link outlive the port, whose destruction still notifies them.
  TEventLog Log;
  TComLink Link;
  TComPort Port{nullptr};
  TFakeDevice& Device = InstallFakeDevice(Port);
};

TEST_F(ComPortOpenTest, OpeningNotifiesLinksBeforeEventsAndReportsTheLines) {
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  Device.SetModemStatus(MS_CTS_ON | MS_RLSD_ON);
  Port.OpenPort();
  EXPECT_EQ(Log, (TEventLog{"BeforeOpen", "L ConnChange true", "AfterOpen", "L CTSChange true",
                            "CTSChange true", "L DSRChange false", "DSRChange false",
                            "L RLSDChange true", "RLSDChange true"}));
  EXPECT_EQ(Device.CallsNamed("GetCommModemStatus").size(), 3u);
}

TEST_F(ComPortOpenTest, ClosingReportsTheLinesOffWithoutReadingThem) {
  RecordLink(Link, "L", Log);
  Port.AttachLink(&Link);
  Device.SetModemStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  Port.OpenPort();
  Log.clear();
  Device.ClearCalls();
  Port.ClosePort();
  EXPECT_EQ(Log, (TEventLog{"L CTSChange false", "L DSRChange false", "L RLSDChange false",
                            "CTSChange false", "DSRChange false", "RLSDChange false", "BeforeClose",
                            "L ConnChange false", "AfterClose"}));
  EXPECT_EQ(Device.Calls(), (TCalls{"PurgeComm 3", "Close"}));
  EXPECT_FALSE(Port.Connected());
  EXPECT_FALSE(Device.IsOpen());
}

TEST_F(ComPortOpenTest, ADeviceThatCannotOpenLeavesThePortClosed) {
  Device.FailNext("Open", ENOENT);
  const EComPort Error = CatchComPortError([&] { Port.OpenPort(); });
  EXPECT_EQ(Error.ErrorNumber(), 1);
  EXPECT_EQ(Error.SystemErrorCode(), 2);
  EXPECT_STREQ(Error.what(), "Unable to open com port (error code: 2)");
  EXPECT_EQ(Error.DevicePath(), "/dev/ttyS0");  // the device COM1 opens
  EXPECT_EQ(Error.Detail(), "/dev/ttyS0: No such file or directory");
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Log, TEventLog{"BeforeOpen"});
  // Nothing half-open remains: the next opening works.
  Port.OpenPort();
  EXPECT_TRUE(Port.Connected());
}

TEST_F(ComPortOpenTest, ARefusedSettingDuringOpeningClosesTheDeviceAgain) {
  const std::pair<const char*, std::int32_t> Cases[] = {
      {"SetupComm", 9}, {"SetCommState", 7}, {"SetCommTimeouts", 8}};
  for (const auto& [Call, ErrorNumber] : Cases) {
    Log.clear();
    Device.ClearCalls();
    Device.FailNext(Call, EIO);
    const EComPort Error = CatchComPortError([&] { Port.OpenPort(); });
    EXPECT_EQ(Error.ErrorNumber(), ErrorNumber) << Call;
    EXPECT_EQ(Error.SystemErrorCode(), EIO) << Call;
    EXPECT_EQ(Error.DevicePath(), "/dev/ttyS0") << Call;
    EXPECT_FALSE(Port.Connected()) << Call;
    EXPECT_FALSE(Device.IsOpen()) << Call;
    EXPECT_EQ(Device.Calls().back(), "Close") << Call;
    EXPECT_EQ(Log, TEventLog{"BeforeOpen"}) << Call;
  }
}

TEST_F(ComPortOpenTest, AFailedLineReadAtTheEndOfOpeningLeavesThePortOpen) {
  Device.FailNext("GetCommModemStatus", EIO);
  const EComPort Error = CatchComPortError([&] { Port.OpenPort(); });
  EXPECT_EQ(Error.ErrorNumber(), 11);
  EXPECT_EQ(Error.SystemErrorCode(), EIO);
  EXPECT_TRUE(Port.Connected());
  EXPECT_EQ(Lifecycle(), (TEventLog{"BeforeOpen", "AfterOpen"}));
}

TEST_F(ComPortOpenTest, AFailedPurgeStopsTheClosingWithThePortOpen) {
  Port.OpenPort();
  Log.clear();
  Device.FailNext("PurgeComm", EIO);
  const EComPort Error = CatchComPortError([&] { Port.ClosePort(); });
  EXPECT_EQ(Error.ErrorNumber(), 5);
  EXPECT_TRUE(Port.Connected());
  EXPECT_TRUE(Device.IsOpen());
  EXPECT_EQ(Lifecycle(), TEventLog{"BeforeClose"});
  Port.ClosePort();
  EXPECT_FALSE(Port.Connected());
}

TEST_F(ComPortOpenTest, ANewNameWhileOpenClosesAndReopens) {
  Port.OpenPort();
  Log.clear();
  Device.ClearCalls();
  Port.SetPort("COM2");
  EXPECT_EQ(Lifecycle(), (TEventLog{"BeforeClose", "AfterClose", "BeforeOpen", "AfterOpen"}));
  EXPECT_EQ(Device.CallsNamed("Open"), TCalls{"Open " + DevicePathFor("COM2")});
  EXPECT_TRUE(Port.Connected());

  // A name that does not match exactly is a new name.
  Device.ClearCalls();
  Port.SetPort("com2");
  EXPECT_EQ(Device.CallsNamed("Open"), TCalls{"Open " + DevicePathFor("com2")});
}

TEST_F(ComPortOpenTest, ANewNameThatCannotOpenEndsClosed) {
  Port.OpenPort();
  Device.FailNext("Open", ENOENT);
  const EComPort Error = CatchComPortError([&] { Port.SetPort("nowhere"); });
  EXPECT_EQ(Error.ErrorNumber(), 1);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Port(), "nowhere");
}

TEST_F(ComPortOpenTest, AnyPortNameReachesTheDeviceAsItsPath) {
  const std::string Names[] = {"", std::string(5000, 'x'), "a/b\\c:*? \n", "COM\x01\xff", "/abs"};
  for (const std::string& Name : Names) {
    Port.SetPort(Name);
    Device.ClearCalls();
    Device.FailNext("Open", ENAMETOOLONG);
    const EComPort Error = CatchComPortError([&] { Port.OpenPort(); });
    EXPECT_EQ(Error.ErrorNumber(), 1);
    EXPECT_EQ(Device.Calls(), TCalls{"Open " + DevicePathFor(Name)});
    EXPECT_FALSE(Port.Connected());
  }
}

TEST_F(ComPortOpenTest, AHandlerThatRaisesInBeforeOpenStopsTheOpening) {
  Port.OnBeforeOpen = [](TObject*) { throw std::runtime_error("no"); };
  EXPECT_THROW(Port.OpenPort(), std::runtime_error);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Device.Calls(), TCalls{});
}

class ComPortDestructionTest : public ::testing::Test {
 protected:
  ComPortDestructionTest() {
    SetApplicationExceptionHandler(
        [this](TObject*, std::exception_ptr Error) { Reported.push_back(Error); });
  }
  ~ComPortDestructionTest() override { SetApplicationExceptionHandler(nullptr); }
  std::vector<std::exception_ptr> Reported;
};

// A component that refers to a port and detaches its link when the port goes away.
class TLinkOwner : public TComponent {
 public:
  explicit TLinkOwner(TCustomComPort* Port) : TComponent(nullptr), Port_(Port) {
    Port_->AttachLink(&Link_);
    FreeNotification(Port_);
  }
  bool Heard = false;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (AComponent == Port_ && Operation == TOperation::opRemove) {
      Port_->DetachLink(&Link_);
      Heard = true;
      Port_ = nullptr;
    }
  }

 private:
  TCustomComPort* Port_;
  TComLink Link_;
};

TEST_F(ComPortDestructionTest, DestroyingAnOpenPortClosesItAndLetsReferrersDetach) {
  TEventLog Log;
  auto* Port = new TComPort(nullptr);
  InstallFakeDevice(*Port);
  Port->SetEvents({});
  RecordPortEvents(*Port, Log);
  TLinkOwner Owner(Port);
  Port->OpenPort();
  Log.clear();
  delete Port;
  EXPECT_TRUE(Owner.Heard);
  EXPECT_NE(std::ranges::find(Log, "AfterClose"), Log.end());
  EXPECT_TRUE(Reported.empty());
}

TEST_F(ComPortDestructionTest, AClosingThatFailsInTheDestructorIsReportedNotThrown) {
  TEventLog Log;
  auto* Port = new TComPort(nullptr);
  TFakeDevice& Device = InstallFakeDevice(*Port);
  Port->SetEvents({});
  RecordPortEvents(*Port, Log);
  Port->OpenPort();
  Device.FailAlways("PurgeComm", EIO);
  Log.clear();
  EXPECT_NO_THROW(delete Port);
  ASSERT_EQ(Reported.size(), 1u);
  const EComPort Error = CatchComPortError([&] { std::rethrow_exception(Reported[0]); });
  EXPECT_EQ(Error.ErrorNumber(), 5);
  EXPECT_EQ(std::ranges::find(Log, "AfterClose"), Log.end());
}

TEST_F(ComPortDestructionTest, OwnerDestroysItsPortClosingIt) {
  auto* Owner = new TComponent(nullptr);
  auto* Port = new TComPort(Owner);
  InstallFakeDevice(*Port);
  bool Closed = false;
  Port->SetEvents({});
  Port->OnAfterClose = [&Closed](TObject*) { Closed = true; };
  Port->OpenPort();
  delete Owner;
  EXPECT_TRUE(Closed);
}

}  // namespace
}  // namespace tolvane
