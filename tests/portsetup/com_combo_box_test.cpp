#include "portsetup/com_combo_box.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QtTest/QTest>
#include <memory>

#include "tests/portsetup/operator.h"
#include "tests/portsetup/recording_port.h"
#include "tests/support/sysfs_tree.h"

namespace tolvane {
namespace {

class ComComboBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    Tree.AddPort("ttyS0", "4");
    Tree.AddPort("ttyUSB0");
    SetPortListPlaces(Tree.Places());
    Combo.OnChange = [this](TComComboBox* Sender) {
      EXPECT_EQ(Sender, &Combo);
      ChangesSeen.push_back(Combo.Text());
    };
  }
  void TearDown() override { SetPortListPlaces(TPortPlaces()); }

  TSysfsTree Tree;
  TRecordingPort Port{nullptr};
  TComComboBox Combo;
  QStringList ChangesSeen;
};

TEST_F(ComComboBoxTest, IsANonEditableListWithNothingByDefault) {
  EXPECT_FALSE(Combo.isEditable());
  EXPECT_EQ(Combo.ComProperty(), TComProperty::cpNone);
  EXPECT_EQ(Combo.ComPort(), nullptr);
  EXPECT_FALSE(Combo.AutoApply());
  EXPECT_EQ(Combo.count(), 0);
  EXPECT_EQ(Combo.Text(), "");
}

TEST_F(ComComboBoxTest, SettingThePropertySelectsItemZeroWithoutPortAndTheCurrentValueWithOne) {
  Combo.SetComProperty(TComProperty::cpStopBits);
  EXPECT_EQ(Combo.currentIndex(), 0);
  Port.SetStopBits(TStopBits::sbTwoStopBits);
  Combo.SetComPort(&Port);
  EXPECT_EQ(Combo.Text(), "2");
  Combo.SetComProperty(TComProperty::cpDataBits);
  EXPECT_EQ(Combo.Text(), "8");
  Combo.SetComProperty(TComProperty::cpNone);
  EXPECT_EQ(Combo.count(), 0);
}

TEST_F(ComComboBoxTest, BindingShowsTheCurrentValueAndBindingNoneKeepsTheSelection) {
  Combo.SetComProperty(TComProperty::cpParity);
  Port.Parity().SetBits(TParityBits::prSpace);
  Combo.SetComPort(&Port);
  EXPECT_EQ(Combo.Text(), "Space");
  Combo.SetComPort(nullptr);
  EXPECT_EQ(Combo.ComPort(), nullptr);
  EXPECT_EQ(Combo.Text(), "Space");
}

TEST_F(ComComboBoxTest, TextWriteSelectsIgnoringCaseAndIgnoresUnlistedText) {
  Combo.SetComProperty(TComProperty::cpFlowControl);
  Combo.SetText("software");
  EXPECT_EQ(Combo.Text(), "Software");
  Combo.SetText("RTS");
  EXPECT_EQ(Combo.Text(), "Software");
  Combo.setCurrentIndex(-1);
  EXPECT_EQ(Combo.Text(), "");
}

TEST_F(ComComboBoxTest, OperatorPickIsTakenAndAnnouncedProgramSelectionIsNot) {
  Combo.SetComProperty(TComProperty::cpBaudRate);
  Combo.SetComPort(&Port);
  Pick(Combo, "57600");
  EXPECT_EQ(ChangesSeen, QStringList{"57600"});
  Combo.SetText("110");      // the program's selections are shown but not held
  Combo.setCurrentIndex(3);  // "600"
  EXPECT_EQ(ChangesSeen, QStringList{"57600"});
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br9600);  // nothing written before ApplyValue
  Combo.ApplyValue();
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br57600);
}

TEST_F(ComComboBoxTest, KeyboardPickReachesThePort) {
  Combo.SetComProperty(TComProperty::cpDataBits);
  Port.SetDataBits(TDataBits::dbSeven);
  Combo.SetComPort(&Port);
  QTest::keyClick(&Combo, Qt::Key_Down);
  EXPECT_EQ(ChangesSeen, QStringList{"8"});
  Port.SetDataBits(TDataBits::dbFive);
  Combo.ApplyValue();
  EXPECT_EQ(Port.DataBits(), TDataBits::dbEight);
}

TEST_F(ComComboBoxTest, AnEditablePortBoxShowsTheBoundPortsNameAndHoldsWhatIsTypedAsTyped) {
  Combo.SetEditable(true);
  Combo.SetComProperty(TComProperty::cpPort);
  Port.SetPort("rfc2217://192.0.2.7:7000");  // no installed port: not in the list
  Combo.SetComPort(&Port);
  EXPECT_EQ(Combo.lineEdit()->text(), "rfc2217://192.0.2.7:7000");
  EXPECT_EQ(Combo.Text(), "rfc2217://192.0.2.7:7000");

  Type(Combo, " Socket://Station-B:4001 ");
  EXPECT_TRUE(ChangesSeen.empty());  // still being typed
  QTest::keyClick(&Combo, Qt::Key_Return);
  EXPECT_EQ(ChangesSeen, QStringList{" Socket://Station-B:4001 "});
  EXPECT_EQ(Port.Port(), "rfc2217://192.0.2.7:7000");  // nothing written before ApplyValue
  Combo.ApplyValue();
  EXPECT_EQ(Port.Port(), "Socket://Station-B:4001");
  // The installed ports and the bound port's own name; a typed name adds no item.
  EXPECT_EQ(Combo.count(), 3);
}

TEST_F(ComComboBoxTest, AutoApplyWritesEveryPick) {
  Combo.SetComProperty(TComProperty::cpParity);
  Combo.SetComPort(&Port);
  Combo.SetAutoApply(true);
  Pick(Combo, "Odd");
  EXPECT_EQ(Port.Parity().Bits(), TParityBits::prOdd);
  Pick(Combo, "Even");
  EXPECT_EQ(Port.Parity().Bits(), TParityBits::prEven);
  Combo.SetComProperty(TComProperty::cpPort);
  Pick(Combo, "ttyUSB0");
  EXPECT_EQ(Port.Port(), "ttyUSB0");
}

TEST_F(ComComboBoxTest, ADestroyedPortIsForgottenAndItemZeroShown) {
  auto Doomed = std::make_unique<TComPort>(nullptr);
  Doomed->SetBaudRate(TBaudRate::br115200);
  Combo.SetComProperty(TComProperty::cpBaudRate);
  Combo.SetComPort(Doomed.get());
  ASSERT_EQ(Combo.Text(), "115200");
  Doomed.reset();
  EXPECT_EQ(Combo.ComPort(), nullptr);
  EXPECT_EQ(Combo.currentIndex(), 0);
  EXPECT_TRUE(ChangesSeen.empty());
  Combo.ApplyValue();  // nothing bound: nothing to write to, and no dangling port
  Combo.ShowCurrentValue();
  EXPECT_EQ(Combo.currentIndex(), -1);
}

TEST_F(ComComboBoxTest, OnlyTheBoundPortIsWatched) {
  auto First = std::make_unique<TComPort>(nullptr);
  Combo.SetComProperty(TComProperty::cpStopBits);
  Combo.SetComPort(First.get());
  Port.SetStopBits(TStopBits::sbOne5StopBits);
  Combo.SetComPort(&Port);
  First.reset();  // no longer bound: the combo box keeps its port and selection
  EXPECT_EQ(Combo.ComPort(), &Port);
  EXPECT_EQ(Combo.Text(), "1.5");
}

}  // namespace
}  // namespace tolvane
