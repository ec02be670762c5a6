#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>

#include "portsetup/com_setup_form.h"
#include "portsetup/run_setup_dialog.h"
#include "tests/portsetup/operator.h"
#include "tests/portsetup/recording_port.h"
#include "tests/support/sysfs_tree.h"

namespace tolvane {
namespace {

using TOperate = std::function<void(TComSetupFrm& Form)>;

// A modal run that lets the test act as the operator and then press a button.
TSetupDialogExec Operator(TOperate Operate, QPushButton* TComSetupFrm::*Button) {
  return [Operate, Button](TComSetupFrm& Form) {
    if (Operate) Operate(Form);
    (Form.*Button)->click();
    return Form.result();
  };
}
TSetupDialogExec PressOk(TOperate Operate = {}) {
  return Operator(std::move(Operate), &TComSetupFrm::Button1);
}
TSetupDialogExec PressCancel(TOperate Operate = {}) {
  return Operator(std::move(Operate), &TComSetupFrm::Button2);
}

QStringList Shown(const TComSetupFrm& Form) {
  QStringList Texts;
  for (const TComComboBox* Combo : Form.Combos()) Texts << Combo->Text();
  return Texts;
}

class SetupDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    Tree.AddPort("ttyUSB0");
    Tree.AddPort("ttyS0", "4");
    Tree.AddPort("ttyS1", "0");
    Tree.AddPort("ttyACM0");
    SetPortListPlaces(Tree.Places());
    Port.SetPort("ttyUSB0");
    Port.FlowControl().SetFlowControl(TFlowControl::fcHardware);
    Port.Log.clear();
  }
  void TearDown() override { SetPortListPlaces(TPortPlaces()); }

  TSysfsTree Tree;
  TRecordingPort Port{nullptr};
};

TEST_F(SetupDialogTest, ShowsThePortsCurrentValues) {
  QStringList Seen;
  RunSetupDialog(Port, PressCancel([&](TComSetupFrm& Form) { Seen = Shown(Form); }));
  EXPECT_EQ(Seen, (QStringList{"ttyUSB0", "9600", "8", "1", "None", "Hardware"}));
}

TEST_F(SetupDialogTest, GrabsPicturesOfTheDialogWithAPortNamedCom1AndWithATypedNetworkName) {
  Port.SetPort("COM1");
  QPixmap Picture;
  QSize FormSize;
  RunSetupDialog(Port, PressCancel([&](TComSetupFrm& Form) {
                   Form.show();
                   Picture = Form.grab();
                   FormSize = Form.size();
                 }));
  EXPECT_EQ(Picture.size(), FormSize);
  EXPECT_EQ(FormSize.height(), 216);
  const QString Path = QString(TOLVANE_TEST_OUTPUT_DIR) + "/setup_dialog.png";
  EXPECT_TRUE(Picture.save(Path)) << Path.toStdString();

  // And with a network name typed into the port box.
  RunSetupDialog(Port, PressCancel([&](TComSetupFrm& Form) {
                   Form.show();
                   Form.Combo1->setFocus();
                   Type(*Form.Combo1, "rfc2217://127.0.0.1:7000");
                   Picture = Form.grab();
                 }));
  const QString TypedPath = QString(TOLVANE_TEST_OUTPUT_DIR) + "/setup_dialog_network_name.png";
  EXPECT_TRUE(Picture.save(TypedPath)) << TypedPath.toStdString();
}

QStringList PortItems(const TComSetupFrm& Form) {
  QStringList Items;
  for (int I = 0; I < Form.Combo1->count(); ++I) Items << Form.Combo1->itemText(I);
  return Items;
}

TEST_F(SetupDialogTest, ListsTheInstalledPortsSortedAndTheirStableNamesAfterThem) {
  Tree.AddById("usb-FTDI_FT232R_A10K3X2Y-if00-port0", "ttyUSB0");
  Tree.AddById("usb-Arduino_Uno_75735-if00", "ttyACM0");
  QStringList Items;
  RunSetupDialog(Port, PressCancel([&](TComSetupFrm& Form) { Items = PortItems(Form); }));
  EXPECT_EQ(Items,
            (QStringList{"ttyACM0", "ttyS0", "ttyUSB0", "serial/by-id/usb-Arduino_Uno_75735-if00",
                         "serial/by-id/usb-FTDI_FT232R_A10K3X2Y-if00-port0"}));
}

TEST_F(SetupDialogTest, ThePortListIsReadEachTimeTheDialogOpens) {
  QStringList Before;
  RunSetupDialog(Port, PressCancel([&](TComSetupFrm& Form) { Before = PortItems(Form); }));
  Tree.AddPort("ttyUSB1");  // an adapter plugged in while the program runs
  QStringList After;
  RunSetupDialog(Port, PressCancel([&](TComSetupFrm& Form) { After = PortItems(Form); }));
  EXPECT_EQ(Before, (QStringList{"ttyACM0", "ttyS0", "ttyUSB0"}));
  EXPECT_EQ(After, (QStringList{"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1"}));
}

TEST_F(SetupDialogTest, ThePortsDeviceIsShownSelectedAndOkKeepsTheName) {
  Tree.AddById("usb-FTDI_FT232R_A10K3X2Y-if00-port0", "ttyUSB0");
  struct TCase {
    std::string Name;
    QString Shown;
  };
  const TCase Cases[] = {
      {"COM1", "ttyS0"},  // COM1 opens /dev/ttyS0
      {"serial/by-id/usb-FTDI_FT232R_A10K3X2Y-if00-port0",
       "serial/by-id/usb-FTDI_FT232R_A10K3X2Y-if00-port0"},  // its own item, not ttyUSB0's
      {Tree.DeviceRoot() + "/ttyACM0", "ttyACM0"},
  };
  for (const TCase& Case : Cases) {
    Port.SetPort(Case.Name);
    QString Seen;
    RunSetupDialog(Port, PressOk([&](TComSetupFrm& Form) { Seen = Form.Combo1->Text(); }));
    EXPECT_EQ(Seen, Case.Shown) << Case.Name;
    EXPECT_EQ(Port.Port(), Case.Name);
  }
}

TEST_F(SetupDialogTest, CustomSetsTheCustomRateModeAndKeepsTheRate) {
  Port.SetCustomBaudRate(31250);
  RunSetupDialog(Port, PressOk([](TComSetupFrm& Form) { Pick(*Form.Combo2, "Custom"); }));
  EXPECT_EQ(Port.BaudRate(), TBaudRate::brCustom);
  EXPECT_EQ(Port.CustomBaudRate(), 31250);
}

TEST_F(SetupDialogTest, CancelOrClosingTheWindowAssignsNothing) {
  const TOperate PickEverything = [](TComSetupFrm& Form) {
    Pick(*Form.Combo1, "ttyS0");
    Pick(*Form.Combo2, "300");
    Pick(*Form.Combo3, "5");
    Pick(*Form.Combo4, "2");
    Pick(*Form.Combo5, "Odd");
    Pick(*Form.Combo6, "Software");
  };
  const std::string Before = Port.Summary();
  RunSetupDialog(Port, PressCancel(PickEverything));
  RunSetupDialog(Port, [&](TComSetupFrm& Form) {
    PickEverything(Form);
    Form.close();
    return Form.result();
  });
  EXPECT_EQ(Port.Summary(), Before);
  EXPECT_TRUE(Port.Log.empty());
}

TEST_F(SetupDialogTest, OkWithoutChangesReassignsAllInOneConfigurationBracket) {
  RunSetupDialog(Port, PressOk());
  // Only the flow-control summary re-applies on an equal value; the bracket holds it back until
  // the one ApplySettings at its end.
  EXPECT_EQ(Port.Log, (std::vector<std::string>{"line", "apply ttyUSB0 9600 8 1 None Hardware"}));
}

TEST_F(SetupDialogTest, OkAppliesEveryPickOnceAtTheEndOfTheBracket) {
  RunSetupDialog(Port, PressOk([](TComSetupFrm& Form) {
                   Pick(*Form.Combo1, "ttyACM0");
                   Pick(*Form.Combo2, "19200");
                   Pick(*Form.Combo3, "7");
                   Pick(*Form.Combo4, "2");
                   Pick(*Form.Combo5, "Even");
                   Pick(*Form.Combo6, "Software");
                 }));
  EXPECT_EQ(Port.Log, (std::vector<std::string>{"line", "line", "line", "line", "line",
                                                "apply ttyACM0 19200 7 2 Even Software"}));
}

TEST_F(SetupDialogTest, ASetterRaisingOnOkStillEndsTheBracketAndReachesTheCaller) {
  Port.RefuseLineSettings = true;
  try {
    RunSetupDialog(Port, PressOk([](TComSetupFrm& Form) {
                     Pick(*Form.Combo1, "ttyS0");
                     Pick(*Form.Combo2, "19200");  // its line-settings apply is refused
                     Pick(*Form.Combo3, "5");
                   }));
    FAIL() << "the refusal did not reach the caller";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.ErrorNumber(), 7);
    EXPECT_EQ(Error.SystemErrorCode(), 22);
  }
  // The assignments before the refusal stay, the later ones are not made.
  EXPECT_EQ(Port.Log, (std::vector<std::string>{"line", "apply ttyS0 19200 8 1 None Hardware"}));
  Port.EndConfig();  // the bracket is closed: an extra EndConfig applies nothing
  EXPECT_EQ(Port.Log.size(), 2u);
}

TEST_F(SetupDialogTest, APortNameOfNoListedDeviceIsShownAsAnItemOfItsOwnAndOkKeepsIt) {
  Port.SetPort("/dev/pts/3");
  QString Seen = "unset";
  QStringList Items;
  RunSetupDialog(Port, PressOk([&](TComSetupFrm& Form) {
                   Seen = Form.Combo1->Text();
                   Items = PortItems(Form);
                 }));
  EXPECT_EQ(Seen, "/dev/pts/3");
  EXPECT_EQ(Items, (QStringList{"ttyACM0", "ttyS0", "ttyUSB0", "/dev/pts/3"}));
  EXPECT_EQ(Port.Port(), "/dev/pts/3");

  RunSetupDialog(Port, PressOk([](TComSetupFrm& Form) { Pick(*Form.Combo1, "ttyACM0"); }));
  EXPECT_EQ(Port.Port(), "ttyACM0");
}

TEST_F(SetupDialogTest, ATypedNameReachesThePortOnOkAsTypedAndAnEmptyOneChangesNothing) {
  RunSetupDialog(Port, PressOk([](TComSetupFrm& Form) {
                   Type(*Form.Combo1, "  rfc2217://Lab-Station.local:7000 ");
                 }));
  EXPECT_EQ(Port.Port(), "rfc2217://Lab-Station.local:7000");

  RunSetupDialog(Port, PressOk([](TComSetupFrm& Form) { Type(*Form.Combo1, "   "); }));
  EXPECT_EQ(Port.Port(), "rfc2217://Lab-Station.local:7000");
}

// The keys of a modal run: the test types, then presses one key in the port box.
TSetupDialogExec TypeInThePortBoxAndPress(const QString& Typed, Qt::Key Key) {
  return [Typed, Key](TComSetupFrm& Form) {
    Form.show();
    Form.Combo1->setFocus();
    Type(*Form.Combo1, Typed);
    QTest::keyClick(Form.Combo1, Key);
    EXPECT_FALSE(Form.isVisible()) << "the key did not close the dialog";
    return Form.result();
  };
}

TEST_F(SetupDialogTest, ReturnInThePortBoxAcceptsTheNameInItsOwnLettersAndEscapeCancels) {
  // ttyS0 is listed; TTYS0 names another device and must not become the listed item.
  RunSetupDialog(Port, TypeInThePortBoxAndPress("TTYS0", Qt::Key_Return));
  EXPECT_EQ(Port.Port(), "TTYS0");

  RunSetupDialog(Port, TypeInThePortBoxAndPress("socket://127.0.0.1:4001", Qt::Key_Escape));
  RunSetupDialog(
      Port, PressCancel([](TComSetupFrm& Form) { Type(*Form.Combo1, "socket://127.0.0.1:4001"); }));
  EXPECT_EQ(Port.Port(), "TTYS0");
}

TEST_F(SetupDialogTest, AnUnreadablePortListRaisesBeforeTheDialogAppears) {
  SetPortListPlaces({Tree.ClassRoot() + "/missing", Tree.DeviceRoot()});
  bool Shown = false;
  try {
    RunSetupDialog(Port, [&](TComSetupFrm&) {
      Shown = true;
      return 0;
    });
    FAIL() << "no error";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.ErrorNumber(), 23);
    EXPECT_EQ(Error.SystemErrorCode(), ENOENT);
  }
  EXPECT_FALSE(Shown);
}

TEST_F(SetupDialogTest, ShowPortSetupRunsTheInstalledDialogModally) {
  InstallPortSetupDialog();
  bool Found = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* Window : QApplication::topLevelWidgets()) {
      auto* Form = qobject_cast<TComSetupFrm*>(Window);
      if (Form == nullptr || !Form->isVisible()) continue;
      Found = true;
      Pick(*Form->Combo2, "38400");
      Form->Button1->click();
    }
  });
  Port.ShowPortSetup();
  TCustomComPort::SetPortSetupRunner({});
  EXPECT_TRUE(Found);
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br38400);
  for (QWidget* Window : QApplication::topLevelWidgets()) {
    EXPECT_EQ(qobject_cast<TComSetupFrm*>(Window), nullptr) << "the form was not freed";
  }
}

}  // namespace
}  // namespace tolvane
