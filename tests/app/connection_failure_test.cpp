// Failures of the port while connecting and disconnecting, on the recording fake device.
#include <QLineEdit>
#include <QToolButton>
#include <cerrno>

#include "main_window_fixture.h"
#include "tests/support/fake_device.h"

namespace tolvane {
namespace {

class ConnectionFailure : public MainWindowTest {
 protected:
  void ExpectTransferButtonsEnabled(bool Enabled) {
    for (const char* Button : {"Button4", "Button5", "Button6", "Button7"}) {
      EXPECT_EQ(Find<QToolButton>(Button)->isEnabled(), Enabled) << Button;
    }
  }

  TFakeDevice& Device = InstallFakeDevice(Form->ComPort());
};

// On a line that is still there (the failure is not one of a lost line).
TEST_F(ConnectionFailure, AFailedDisconnectNoticeLeavesThePortOpen) {
  Find<QToolButton>("Button_Open")->click();
  ASSERT_TRUE(Form->ComPort().Connected());

  Device.FailNext("WriteFile", EINVAL);
  Find<QToolButton>("Button_Open")->click();

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Form->ComPort().Connected());
  EXPECT_TRUE(Device.CallsNamed("Close").empty());
  EXPECT_TRUE(Find<QToolButton>("Button_Open")->isChecked());
  EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()), "Disconnect");
  ExpectTransferButtonsEnabled(false);

  // The next press finds the port open and disconnects it.
  Find<QToolButton>("Button_Open")->click();
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_EQ(Device.Written(), "DI;");
  EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
}

TEST_F(ConnectionFailure, AFailedSendIsReportedAndTheWindowStaysConnected) {
  Find<QToolButton>("Button_Open")->click();
  Find<QLineEdit>("Edit_Data")->setText("ID;");
  Device.FailNext("WriteFile", EINVAL);
  Find<QToolButton>("Button4")->click();

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Form->ComPort().Connected());
  ExpectTransferButtonsEnabled(true);
}

// "DI;" that cannot be written because the line is gone is reported once, and the port is let go
// all the same, so the device can be opened again when it is back.
TEST_F(ConnectionFailure, ADisconnectNoticeOnALostLineClosesThePortAnyway) {
  Find<QToolButton>("Button_Open")->click();
  Device.FailAlways("WriteFile", ENXIO);
  Find<QToolButton>("Button_Open")->click();

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text.toStdString(),
            "Connection to /dev/ttyS0 lost: No such device or address");
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_EQ(Device.CallsNamed("Close").size(), 1u);
  EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
  EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()), "Connect");
  ExpectTransferButtonsEnabled(false);

  Device.ClearFailures();
  Find<QToolButton>("Button_Open")->click();
  EXPECT_TRUE(Form->ComPort().Connected());
  EXPECT_EQ(Messages.Boxes.size(), 1u);
}

TEST_F(ConnectionFailure, AFailedLineSetupOnOpeningLeavesTheWindowDisconnected) {
  Device.FailNext("SetCommState", EINVAL);
  Find<QToolButton>("Button_Open")->click();

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
  EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()), "Connect");
  ExpectTransferButtonsEnabled(false);
}

}  // namespace
}  // namespace tolvane
