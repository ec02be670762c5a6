#include <gtest/gtest.h>

#include <QPushButton>

#include "portsetup/com_setup_form.h"
#include "portsetup/run_setup_dialog.h"
#include "serialport/port/com_port.h"
#include "tests/portsetup/operator.h"
#include "tests/support/fake_device.h"
#include "tests/support/sysfs_tree.h"

namespace tolvane {
namespace {

class OpenPortSetupTest : public testing::Test {
 protected:
  void SetUp() override {
    Tree.AddPort("ttyUSB0");
    SetPortListPlaces(Tree.Places());
    Port.SetPort("ttyUSB0");
    Port.SetEvents({});  // no event thread: this test is about the settings alone
    Port.OpenPort();
    Device.ClearCalls();
  }
  void TearDown() override { SetPortListPlaces(TPortPlaces()); }

  TSysfsTree Tree;
  TComPort Port{nullptr};
  TFakeDevice& Device = InstallFakeDevice(Port);
};

TEST_F(OpenPortSetupTest, OkSendsTheChosenSettingsToTheDeviceOnce) {
  RunSetupDialog(Port, [](TComSetupFrm& Form) {
    Pick(*Form.Combo2, "19200");
    Pick(*Form.Combo3, "7");
    Pick(*Form.Combo5, "Even");
    Pick(*Form.Combo6, "Hardware");
    Form.Button1->click();
    return Form.result();
  });
  EXPECT_EQ(Device.Calls(),
            (std::vector<std::string>{"SetupComm 1024 1024", "SetCommState", "SetCommTimeouts"}));
  const TDcb Dcb = Device.LastDcb();
  EXPECT_EQ(Dcb.BaudRate, 19200u);
  EXPECT_EQ(Dcb.ByteSize, 7);
  EXPECT_EQ(Dcb.Parity, EVENPARITY);
  EXPECT_TRUE(Dcb.fOutxCtsFlow);
  EXPECT_EQ(Dcb.fRtsControl, RTS_CONTROL_HANDSHAKE);
  EXPECT_TRUE(Port.Connected());
}

TEST_F(OpenPortSetupTest, CancelSendsNothing) {
  RunSetupDialog(Port, [](TComSetupFrm& Form) {
    Pick(*Form.Combo2, "110");
    Form.Button2->click();
    return Form.result();
  });
  EXPECT_TRUE(Device.Calls().empty());
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br9600);
}

}  // namespace
}  // namespace tolvane
