#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "serialport/base/com_error.h"
#include "serialport/port/com_port.h"
#include "serialport/store/ini_file.h"
#include "serialport/store/registry_store.h"
#include "tests/support/fake_device.h"
#include "tests/support/settings_files_fixture.h"

namespace tolvane {
namespace {

using testing::ReadWholeFile;
using testing::TScratchDirectory;
using testing::WriteWholeFile;

constexpr TStoredGroups AllGroups = TStoredGroups::FromWord(0x3F);

// Every stored property, for comparing two ports.
struct TStoredValues {
  std::string Port;
  TBaudRate BaudRate;
  std::int32_t CustomBaudRate;
  TStopBits StopBits;
  TDataBits DataBits;
  TParityBits ParityBits;
  bool Check, Replace;
  char ReplaceChar, EventChar;
  bool DiscardNull;
  std::int32_t OutputSize, InputSize;
  std::int32_t ReadInterval, ReadTotalConstant, ReadTotalMultiplier;
  std::int32_t WriteTotalConstant, WriteTotalMultiplier;
  TRTSFlowControl ControlRTS;
  TDTRFlowControl ControlDTR;
  bool DSRSensitivity, OutCTSFlow, OutDSRFlow, TxContinueOnXoff, XonXoffIn, XonXoffOut;
  char XoffChar, XonChar;

  friend bool operator==(const TStoredValues&, const TStoredValues&) = default;
};

TStoredValues ValuesOf(const TCustomComPort& Port) {
  const TComFlowControl& Flow = Port.FlowControl();
  const TComTimeouts& Times = Port.Timeouts();
  return {Port.Port(),
          Port.BaudRate(),
          Port.CustomBaudRate(),
          Port.StopBits(),
          Port.DataBits(),
          Port.Parity().Bits(),
          Port.Parity().Check(),
          Port.Parity().Replace(),
          Port.Parity().ReplaceChar(),
          Port.EventChar(),
          Port.DiscardNull(),
          Port.Buffer().OutputSize(),
          Port.Buffer().InputSize(),
          Times.ReadInterval(),
          Times.ReadTotalConstant(),
          Times.ReadTotalMultiplier(),
          Times.WriteTotalConstant(),
          Times.WriteTotalMultiplier(),
          Flow.ControlRTS(),
          Flow.ControlDTR(),
          Flow.DSRSensitivity(),
          Flow.OutCTSFlow(),
          Flow.OutDSRFlow(),
          Flow.TxContinueOnXoff(),
          Flow.XonXoffIn(),
          Flow.XonXoffOut(),
          Flow.XoffChar(),
          Flow.XonChar()};
}

// A port whose every stored property differs from the defaults.
void SetUnusualValues(TCustomComPort& Port) {
  Port.SetPort("/dev/ttyUSB3");
  Port.SetBaudRate(TBaudRate::brCustom);
  Port.SetCustomBaudRate(250000);
  Port.SetStopBits(TStopBits::sbOne5StopBits);
  Port.SetDataBits(TDataBits::dbSeven);
  Port.Parity().SetBits(TParityBits::prMark);
  Port.Parity().SetCheck(true);
  Port.Parity().SetReplace(true);
  Port.Parity().SetReplaceChar(' ');
  Port.SetEventChar('\r');
  Port.SetDiscardNull(true);
  Port.Buffer().SetOutputSize(4096);
  Port.Buffer().SetInputSize(2048);
  Port.Timeouts().SetReadInterval(5);
  Port.Timeouts().SetReadTotalConstant(6);
  Port.Timeouts().SetReadTotalMultiplier(7);
  Port.Timeouts().SetWriteTotalConstant(-1);
  Port.Timeouts().SetWriteTotalMultiplier(9);
  TComFlowControl& Flow = Port.FlowControl();
  Flow.SetControlRTS(TRTSFlowControl::rtsToggle);
  Flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
  Flow.SetDSRSensitivity(true);
  Flow.SetOutCTSFlow(true);
  Flow.SetOutDSRFlow(true);
  Flow.SetTxContinueOnXoff(true);
  Flow.SetXonXoffIn(true);
  Flow.SetXonXoffOut(false);
  Flow.SetXoffChar('~');
  Flow.SetXonChar(static_cast<char>(200));
}

const char* const UnusualSection =
    "[ComPort]\n"
    "Port=/dev/ttyUSB3\n"
    "BaudRate=Custom\n"
    "CustomBaudRate=250000\n"
    "StopBits=1.5\n"
    "DataBits=7\n"
    "Parity=Mark\n"
    "FlowControl=Custom\n"
    "EventChar=#13\n"
    "DiscardNull=Yes\n"
    "Parity.Check=Yes\n"
    "Parity.Replace=Yes\n"
    "Parity.ReplaceChar=#32\n"
    "Buffer.OutputSize=4096\n"
    "Buffer.InputSize=2048\n"
    "Timeouts.ReadInterval=5\n"
    "Timeouts.ReadTotalConstant=6\n"
    "Timeouts.ReadTotalMultiplier=7\n"
    "Timeouts.WriteTotalConstant=-1\n"
    "Timeouts.WriteTotalMultiplier=9\n"
    "FlowControl.ControlRTS=Toggle\n"
    "FlowControl.ControlDTR=Handshake\n"
    "FlowControl.DSRSensitivity=Yes\n"
    "FlowControl.OutCTSFlow=Yes\n"
    "FlowControl.OutDSRFlow=Yes\n"
    "FlowControl.TxContinueOnXoff=Yes\n"
    "FlowControl.XonXoffIn=Yes\n"
    "FlowControl.XonXoffOut=No\n"
    "FlowControl.XoffChar=~\n"
    "FlowControl.XonChar=#200\n";

int ErrorNumberOf(const std::function<void()>& Step) {
  try {
    Step();
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.SystemErrorCode(), -1);
    return Error.ErrorNumber();
  }
  return 0;
}

class ComPortStoreTest : public ::testing::Test {
 protected:
  ComPortStoreTest() { Port.SetName("ComPort"); }

  TScratchDirectory Scratch;
  std::string Path = Scratch.File("Settings.ini");
  TComPort Port{nullptr};
};

TEST_F(ComPortStoreTest, DefaultGroupsWriteTheBasicKeysInOrder) {
  Port.SaveSettings(TSettingsStore::ssIniFile, Path);
  EXPECT_EQ(ReadWholeFile(Path),
            "[ComPort]\nPort=COM1\nBaudRate=9600\nStopBits=1\nDataBits=8\nParity=None\n"
            "FlowControl=None\n");
}

TEST_F(ComPortStoreTest, EveryGroupIsWrittenInVisitOrderAndReadsBackWhole) {
  SetUnusualValues(Port);
  Port.SetStoredGroups(AllGroups);
  Port.SaveSettings(TSettingsStore::ssIniFile, Path);
  EXPECT_EQ(ReadWholeFile(Path), UnusualSection);

  TComPort Restored(nullptr);
  Restored.SetName("ComPort");
  Restored.SetStoredGroups(AllGroups);
  Restored.RestoreSettings(TSettingsStore::ssIniFile, Path);
  EXPECT_TRUE(ValuesOf(Restored) == ValuesOf(Port));
}

TEST_F(ComPortStoreTest, OnlyTheStoredGroupsAreWrittenAndRead) {
  WriteWholeFile(Path, UnusualSection);
  Port.SetStoredGroups({TStoredGroup::sgTimeouts, TStoredGroup::sgOthers});
  const TStoredValues Before = ValuesOf(Port);
  Port.RestoreSettings(TSettingsStore::ssIniFile, Path);
  TStoredValues Expected = Before;
  Expected.EventChar = '\r';
  Expected.DiscardNull = true;
  Expected.ReadInterval = 5;
  Expected.ReadTotalConstant = 6;
  Expected.ReadTotalMultiplier = 7;
  Expected.WriteTotalConstant = -1;
  Expected.WriteTotalMultiplier = 9;
  EXPECT_TRUE(ValuesOf(Port) == Expected);
}

TEST_F(ComPortStoreTest, SavingANamedRateLeavesAnExistingCustomRateAlone) {
  WriteWholeFile(Path, "[ComPort]\nCustomBaudRate=31250\n");
  Port.SetBaudRate(TBaudRate::br19200);
  Port.SaveSettings(TSettingsStore::ssIniFile, Path);
  const TIniFile Ini(Path);
  EXPECT_EQ(Ini.ReadString("ComPort", "BaudRate", ""), "19200");
  EXPECT_EQ(Ini.ReadString("ComPort", "CustomBaudRate", ""), "31250");
}

// One row per stored text: the restored property and the custom rate it leads to.
TEST_F(ComPortStoreTest, RestoredTextsGoThroughTheConverters) {
  struct Row {
    const char* Lines;
    std::function<bool(const TCustomComPort&)> Holds;
  };
  const std::vector<Row> Rows = {
      {"BaudRate=custom\nCustomBaudRate=31250\n",
       [](const TCustomComPort& P) {
         return P.BaudRate() == TBaudRate::brCustom && P.CustomBaudRate() == 31250;
       }},
      {"BaudRate=31250\nCustomBaudRate=1234\n",
       [](const TCustomComPort& P) {
         return P.BaudRate() == TBaudRate::br9600 && P.CustomBaudRate() == 4321;
       }},
      {"BaudRate=Custom\nCustomBaudRate=0x7A120\n",
       [](const TCustomComPort& P) { return P.CustomBaudRate() == 500000; }},
      {"BaudRate=Custom\nCustomBaudRate=fast\n",
       [](const TCustomComPort& P) { return P.CustomBaudRate() == 9600; }},
      {"FlowControl=none\n",
       [](const TCustomComPort& P) {
         return P.FlowControl().FlowControl() == TFlowControl::fcNone;
       }},
      {"FlowControl=hardware\n",
       [](const TCustomComPort& P) {
         return P.FlowControl().ControlRTS() == TRTSFlowControl::rtsHandshake &&
                P.FlowControl().OutCTSFlow();
       }},
      {"FlowControl=RTS\n",  // fcCustom: the switches stay as they were
       [](const TCustomComPort& P) {
         return P.FlowControl().XonXoffIn() && P.FlowControl().XonXoffOut();
       }},
      {"Port= COM3 \n", [](const TCustomComPort& P) { return P.Port() == "COM3"; }},
  };
  for (const Row& Case : Rows) {
    WriteWholeFile(Path, std::string("[ComPort]\n") + Case.Lines);
    TComPort Fresh(nullptr);
    Fresh.SetName("ComPort");
    Fresh.SetCustomBaudRate(4321);
    Fresh.FlowControl().SetFlowControl(TFlowControl::fcSoftware);
    Fresh.RestoreSettings(TSettingsStore::ssIniFile, Path);
    EXPECT_TRUE(Case.Holds(Fresh)) << Case.Lines;
  }
}

TEST_F(ComPortStoreTest, AMissingFileChangesNothingButACustomRate) {
  SetUnusualValues(Port);
  Port.SetStoredGroups(AllGroups);
  TStoredValues Expected = ValuesOf(Port);
  Expected.CustomBaudRate = 9600;
  Port.RestoreSettings(TSettingsStore::ssIniFile, Scratch.File("absent.ini"));
  EXPECT_TRUE(ValuesOf(Port) == Expected);

  Port.SetBaudRate(TBaudRate::br19200);
  Port.SetCustomBaudRate(31250);
  Port.RestoreSettings(TSettingsStore::ssIniFile, Scratch.File("absent.ini"));
  EXPECT_EQ(Port.CustomBaudRate(), 31250);  // not custom: "CustomBaudRate" is not read
}

TEST_F(ComPortStoreTest, AFileThatCannotBeWrittenFailsWith16AndSurvives) {
  // The port's own text, with the file and the system's reason kept as its detail.
  const std::string Unreachable = Scratch.File("no/such/dir.ini");
  try {
    Port.SaveSettings(TSettingsStore::ssIniFile, Unreachable);
    ADD_FAILURE() << "no error";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.ErrorNumber(), CError_StoreFailed);
    EXPECT_EQ(Error.Message(), "Failed to store settings");
    EXPECT_EQ(Error.Detail(), Unreachable + ": No such file or directory");
  }
  WriteWholeFile(Path, "[Settings]\nUaMAX=03200\n");
  ::chmod(Path.c_str(), 0444);
  const int Result = testing::RunWithoutPrivileges([&] {
    try {
      Port.SaveSettings(TSettingsStore::ssIniFile, Path);
      return 1;
    } catch (const EComPort& Error) {
      return Error.ErrorNumber() == CError_StoreFailed ? 0 : 2;
    }
  });
  EXPECT_EQ(Result, 0);
  EXPECT_EQ(ReadWholeFile(Path), "[Settings]\nUaMAX=03200\n");
}

TEST_F(ComPortStoreTest, AFailedApplyAtTheEndOfRestoringFailsWith17AfterTheValuesAreSet) {
  TFakeDevice& Device = InstallFakeDevice(Port);
  Port.SetEvents({});
  Port.OpenPort();
  WriteWholeFile(Path, "[ComPort]\nBaudRate=19200\n");
  Device.FailAlways("SetCommState", EIO);
  EXPECT_EQ(ErrorNumberOf([&] { Port.RestoreSettings(TSettingsStore::ssIniFile, Path); }),
            CError_LoadFailed);
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br19200);
  // The bracket is closed: the next change reaches the device at once.
  Device.ClearFailures();
  Device.ClearCalls();
  Port.SetDataBits(TDataBits::dbSeven);
  EXPECT_EQ(Device.CallsNamed("SetCommState").size(), 1u);
  Port.ClosePort();
}

// A derived port may store more keys through the overridable steps.
class TLabelledPort : public TComPort {
 public:
  using TComPort::TComPort;
  std::string Label = "amp";

 protected:
  void SaveToIniFile(TIniFile& IniFile) override {
    TComPort::SaveToIniFile(IniFile);
    IniFile.WriteString(Name(), "Label", Label);
  }
  void RestoreFromIniFile(TIniFile& IniFile) override {
    TComPort::RestoreFromIniFile(IniFile);
    Label = IniFile.ReadString(Name(), "Label", Label);
  }
};

TEST_F(ComPortStoreTest, DerivedPortsExtendTheStoredKeys) {
  TLabelledPort Saved(nullptr);
  Saved.SetName("Amp");
  Saved.Label = "front";
  Saved.SaveSettings(TSettingsStore::ssIniFile, Path);
  TLabelledPort Restored(nullptr);
  Restored.SetName("Amp");
  Restored.RestoreSettings(TSettingsStore::ssIniFile, Path);
  EXPECT_EQ(Restored.Label, "front");
}

// The registry store writes below $XDG_CONFIG_HOME, pointed at the scratch directory.
class ComPortRegistryTest : public ComPortStoreTest {
 protected:
  void SetUp() override {
    if (const char* Config = std::getenv("XDG_CONFIG_HOME")) SavedConfig = Config;
    ::setenv("XDG_CONFIG_HOME", Scratch.Path().c_str(), 1);
  }
  void TearDown() override {
    SavedConfig ? ::setenv("XDG_CONFIG_HOME", SavedConfig->c_str(), 1)
                : ::unsetenv("XDG_CONFIG_HOME");
  }
  std::string StoreFile(const char* Root) const {
    return Scratch.File(std::string("tolvane/registry/") + Root + ".ini");
  }

  std::optional<std::string> SavedConfig;
};

TEST_F(ComPortRegistryTest, EveryKeyRoundTripsWithTypedValues) {
  SetUnusualValues(Port);
  Port.SetStoredGroups(AllGroups);
  Port.SaveSettings(TSettingsStore::ssRegistry, "HKEY_CURRENT_USER\\Software\\Amp");
  const std::string Stored = ReadWholeFile(StoreFile("HKEY_CURRENT_USER"));
  EXPECT_EQ(Stored.rfind("[Software\\Amp\\ComPort]\nPort=s:/dev/ttyUSB3\nBaudRate=s:Custom\n"
                         "CustomBaudRate=d:250000\n",
                         0),
            0u)
      << Stored;
  EXPECT_NE(Stored.find("Timeouts.WriteTotalConstant=d:-1\n"), std::string::npos);
  EXPECT_NE(Stored.find("FlowControl.XonChar=s:#200\n"), std::string::npos);

  TComPort Restored(nullptr);
  Restored.SetName("ComPort");
  Restored.SetStoredGroups(AllGroups);
  Restored.RestoreSettings(TSettingsStore::ssRegistry, "HKEY_CURRENT_USER\\Software\\Amp");
  EXPECT_TRUE(ValuesOf(Restored) == ValuesOf(Port));
}

TEST_F(ComPortRegistryTest, ThePathNamesTheRootAndTheKeyAboveThePortsName) {
  Port.SaveSettings(TSettingsStore::ssRegistry, "hkey_local_machine\\Software\\Amp\\");
  Port.SaveSettings(TSettingsStore::ssRegistry, "HKEY_CLASSES_ROOT\\Other");  // default root
  TRegistryAccessor Machine(Scratch.File("tolvane/registry"));
  Machine.SetRootKey(TRegistryRoot::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(Machine.OpenKey("Software\\Amp\\ComPort", false));
  EXPECT_EQ(Machine.ReadString("Port"), "COM1");
  TRegistryAccessor User(Scratch.File("tolvane/registry"));
  ASSERT_TRUE(User.OpenKey("Other\\ComPort", false));
  EXPECT_EQ(User.ReadString("BaudRate"), "9600");
}

TEST_F(ComPortRegistryTest, AMissingKeyIsCreatedAndGivesTheEmptyTextFallbacks) {
  Port.SetBaudRate(TBaudRate::br19200);
  Port.SetStopBits(TStopBits::sbTwoStopBits);
  Port.SetDataBits(TDataBits::dbFive);
  Port.Parity().SetBits(TParityBits::prOdd);
  Port.FlowControl().SetFlowControl(TFlowControl::fcHardware);
  Port.RestoreSettings(TSettingsStore::ssRegistry, "HKEY_CURRENT_USER\\Software\\Fresh");
  EXPECT_EQ(Port.Port(), "");
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(Port.StopBits(), TStopBits::sbOneStopBit);
  EXPECT_EQ(Port.DataBits(), TDataBits::dbEight);
  EXPECT_EQ(Port.Parity().Bits(), TParityBits::prNone);
  EXPECT_EQ(Port.FlowControl().FlowControl(), TFlowControl::fcHardware);  // fcCustom keeps it
  TRegistryAccessor Registry(Scratch.File("tolvane/registry"));
  EXPECT_TRUE(Registry.OpenKey("Software\\Fresh\\ComPort", false));
}

TEST_F(ComPortRegistryTest, APathWithoutABackslashCannotSaveButRestoresFallbacks) {
  EXPECT_EQ(ErrorNumberOf([&] { Port.SaveSettings(TSettingsStore::ssRegistry, "Software"); }),
            CError_StoreFailed);
  Port.SetBaudRate(TBaudRate::br19200);
  EXPECT_EQ(ErrorNumberOf([&] { Port.RestoreSettings(TSettingsStore::ssRegistry, "Software"); }),
            0);
  EXPECT_EQ(Port.Port(), "");
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br9600);
}

TEST_F(ComPortRegistryTest, APathWithNothingAfterItsBackslashFailsBothWays) {
  EXPECT_EQ(
      ErrorNumberOf([&] { Port.SaveSettings(TSettingsStore::ssRegistry, "HKEY_CURRENT_USER\\"); }),
      CError_StoreFailed);
  EXPECT_EQ(ErrorNumberOf(
                [&] { Port.RestoreSettings(TSettingsStore::ssRegistry, "HKEY_CURRENT_USER\\"); }),
            CError_LoadFailed);
}

TEST_F(ComPortRegistryTest, AMissingIntegerFailsWith17AfterEndConfigHasRun) {
  const std::string KeyPath = "HKEY_CURRENT_USER\\Software\\Amp";
  Port.SaveSettings(TSettingsStore::ssRegistry, KeyPath);  // the basic group only
  TRegistryAccessor Registry(Scratch.File("tolvane/registry"));
  ASSERT_TRUE(Registry.OpenKey("Software\\Amp\\ComPort", false));
  Registry.WriteString("BaudRate", "19200");

  TFakeDevice& Device = InstallFakeDevice(Port);
  Port.SetEvents({});
  Port.OpenPort();
  Port.SetStoredGroups({TStoredGroup::sgBasic, TStoredGroup::sgBuffer});
  Device.ClearCalls();
  EXPECT_EQ(ErrorNumberOf([&] { Port.RestoreSettings(TSettingsStore::ssRegistry, KeyPath); }),
            CError_LoadFailed);
  // The basic group was restored and applied once, by the closing EndConfig.
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br19200);
  EXPECT_EQ(Device.CallsNamed("SetupComm").size(), 1u);
  EXPECT_EQ(Device.LastDcb().BaudRate, 19200u);
  Port.ClosePort();
}

TEST_F(ComPortRegistryTest, AMistypedTextFailsWith17) {
  Port.SaveSettings(TSettingsStore::ssRegistry, "HKEY_CURRENT_USER\\Software\\Amp");
  TRegistryAccessor Registry(Scratch.File("tolvane/registry"));
  ASSERT_TRUE(Registry.OpenKey("Software\\Amp\\ComPort", false));
  Registry.WriteInteger("StopBits", 2);
  EXPECT_EQ(ErrorNumberOf([&] {
              Port.RestoreSettings(TSettingsStore::ssRegistry, "HKEY_CURRENT_USER\\Software\\Amp");
            }),
            CError_LoadFailed);
}

}  // namespace
}  // namespace tolvane
