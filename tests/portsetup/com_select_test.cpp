#include "portsetup/com_select.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/portsetup/recording_port.h"
#include "tests/support/sysfs_tree.h"

namespace tolvane {
namespace {

using Names = std::vector<std::string>;

class TVectorItems : public TSelectorItems {
 public:
  void Replace(const Names& NewNames) override { List = NewNames; }
  void Add(const std::string& Name) override { List.push_back(Name); }
  int Count() const override { return static_cast<int>(List.size()); }
  std::string Item(int Index) const override { return List.at(static_cast<std::size_t>(Index)); }
  Names List;
};

class ComSelectTest : public testing::Test {
 protected:
  void SetUp() override {
    Tree.AddPort("ttyS0", "4");
    Tree.AddPort("ttyUSB0");
    Tree.AddPort("ttyS1", "0");
    SetPortListPlaces(Tree.Places());
  }
  void TearDown() override { SetPortListPlaces(TPortPlaces()); }

  TSysfsTree Tree;
  TVectorItems Items;
  TComSelect Select{Items};
  TRecordingPort Port{nullptr};
};

TEST_F(ComSelectTest, EachPropertyFillsItsListInOrdinalOrder) {
  struct TCase {
    TComProperty Property;
    Names Expected;
  };
  const TCase Cases[] = {
      {TComProperty::cpNone, {}},
      {TComProperty::cpPort, {"ttyS0", "ttyUSB0"}},
      {TComProperty::cpBaudRate,
       {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
        "56000", "57600", "115200", "128000", "256000"}},
      {TComProperty::cpDataBits, {"5", "6", "7", "8"}},
      {TComProperty::cpStopBits, {"1", "1.5", "2"}},
      {TComProperty::cpParity, {"None", "Odd", "Even", "Mark", "Space"}},
      {TComProperty::cpFlowControl, {"Hardware", "Software", "None", "Custom"}},
  };
  Items.List = {"left over"};
  for (const TCase& Case : Cases) {
    Select.SelectProperty(Case.Property);
    EXPECT_EQ(Select.ComProperty(), Case.Property);
    EXPECT_EQ(Items.List, Case.Expected) << static_cast<int>(Case.Property);
  }
}

TEST_F(ComSelectTest, UnreadablePortListRaisesRegistryError) {
  SetPortListPlaces({Tree.ClassRoot() + "/missing", Tree.DeviceRoot()});
  try {
    Select.SelectProperty(TComProperty::cpPort);
    FAIL() << "no error";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.ErrorNumber(), 23);
    EXPECT_EQ(Error.SystemErrorCode(), ENOENT);
  }
}

TEST_F(ComSelectTest, TakeValueParsesTheNameAndApplyValueWritesIt) {
  Select.SetComPort(&Port);
  struct TCase {
    TComProperty Property;
    std::string Text;
    std::string Expected;  // the port's summary afterwards
  };
  const TCase Cases[] = {
      {TComProperty::cpPort, "ttyUSB0", "ttyUSB0 9600 8 1 None None"},
      {TComProperty::cpBaudRate, "custom", "ttyUSB0 Custom 8 1 None None"},
      {TComProperty::cpBaudRate, "19200", "ttyUSB0 19200 8 1 None None"},
      {TComProperty::cpBaudRate, "31250", "ttyUSB0 9600 8 1 None None"},  // unlisted: fallback
      {TComProperty::cpDataBits, "7", "ttyUSB0 9600 7 1 None None"},
      {TComProperty::cpStopBits, "1.5", "ttyUSB0 9600 7 1.5 None None"},
      {TComProperty::cpParity, "EVEN", "ttyUSB0 9600 7 1.5 Even None"},
      {TComProperty::cpFlowControl, "Hardware", "ttyUSB0 9600 7 1.5 Even Hardware"},
      {TComProperty::cpFlowControl, "Software", "ttyUSB0 9600 7 1.5 Even Software"},
  };
  for (const TCase& Case : Cases) {
    Select.SelectProperty(Case.Property);
    Select.TakeValue(Case.Text);
    Select.ApplyValue();
    EXPECT_EQ(Port.Summary(), Case.Expected) << Case.Text;
  }
}

TEST_F(ComSelectTest, TakeValueAloneChangesNothingUnlessAutoApply) {
  Select.SetComPort(&Port);
  Select.SelectProperty(TComProperty::cpDataBits);
  Select.TakeValue("6");
  EXPECT_EQ(Port.DataBits(), TDataBits::dbEight);
  Select.SetAutoApply(true);
  Select.TakeValue("5");
  EXPECT_EQ(Port.DataBits(), TDataBits::dbFive);
}

TEST_F(ComSelectTest, ApplyValueWithoutPortOrPropertyAssignsNothing) {
  Select.SelectProperty(TComProperty::cpBaudRate);
  Select.TakeValue("110");
  Select.ApplyValue();  // no port bound: must not crash
  Select.SetComPort(&Port);
  Select.SelectProperty(TComProperty::cpNone);
  Select.TakeValue("110");
  Select.ApplyValue();
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br9600);
  EXPECT_TRUE(Port.Log.empty());
}

TEST_F(ComSelectTest, TheInitialHeldValueIsAssignedEvenIfNeverTaken) {
  // The held flow control starts as fcHardware; applying it writes it although nothing was
  // picked, and writing the summary always re-applies the line settings.
  Select.SetComPort(&Port);
  Select.SelectProperty(TComProperty::cpFlowControl);
  Select.ApplyValue();
  EXPECT_EQ(Port.FlowControl().FlowControl(), TFlowControl::fcHardware);
  EXPECT_FALSE(Port.Log.empty());
}

TEST_F(ComSelectTest, FindCurrentFindsThePortsDeviceAndHoldsThePortsOwnName) {
  Select.SetComPort(&Port);
  Select.SelectProperty(TComProperty::cpPort);
  Port.SetPort("COM1");  // opens /dev/ttyS0
  EXPECT_EQ(Select.FindCurrent(), 0);
  Port.SetPort("COM2");
  Select.ApplyValue();
  EXPECT_EQ(Port.Port(), "COM1");
  EXPECT_EQ(Items.List, (Names{"ttyS0", "ttyUSB0"}));
}

TEST_F(ComSelectTest, FindCurrentIgnoresCaseInValueNamesAndHoldsTheListedValue) {
  Select.SetComPort(&Port);
  Port.Parity().SetBits(TParityBits::prMark);
  Select.SelectProperty(TComProperty::cpParity);
  EXPECT_EQ(Select.FindCurrent(), 3);
  Port.Parity().SetBits(TParityBits::prOdd);
  Select.ApplyValue();  // the value found is held: Mark
  EXPECT_EQ(Port.Parity().Bits(), TParityBits::prMark);
}

TEST_F(ComSelectTest, FindCurrentWithoutPortOrPropertyIsMinusOne) {
  Select.SelectProperty(TComProperty::cpBaudRate);
  EXPECT_EQ(Select.FindCurrent(), -1);
  Select.SetComPort(&Port);
  Select.SelectProperty(TComProperty::cpNone);
  EXPECT_EQ(Select.FindCurrent(), -1);
}

TEST_F(ComSelectTest, APortNameOfNoListedDeviceIsAddedOnceAndApplyKeepsIt) {
  Select.SetComPort(&Port);
  Select.SelectProperty(TComProperty::cpPort);
  Port.SetPort("ttyS0");
  ASSERT_EQ(Select.FindCurrent(), 0);
  for (const std::string Name : {"/dev/pts/7", "ttyusb0"}) {  // the latter: another device
    Select.SelectProperty(TComProperty::cpPort);
    Port.SetPort(Name);
    EXPECT_EQ(Select.FindCurrent(), 2) << Name;
    EXPECT_EQ(Select.FindCurrent(), 2) << Name;
    EXPECT_EQ(Items.List, (Names{"ttyS0", "ttyUSB0", Name}));
    Select.ApplyValue();  // not the stale ttyS0
    EXPECT_EQ(Port.Port(), Name);
  }
}

TEST_F(ComSelectTest, AnEmptyPortNameIsNeitherListedNorApplied) {
  Select.SetComPort(&Port);
  Select.SelectProperty(TComProperty::cpPort);
  Port.SetPort("ttyS0");
  ASSERT_EQ(Select.FindCurrent(), 0);
  Port.SetPort("");
  EXPECT_EQ(Select.FindCurrent(), -1);
  EXPECT_EQ(Items.List, (Names{"ttyS0", "ttyUSB0"}));
  Select.ApplyValue();  // not the stale ttyS0
  EXPECT_EQ(Port.Port(), "");
}

}  // namespace
}  // namespace tolvane
