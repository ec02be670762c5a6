// The port's settings store: SaveSettings and RestoreSettings with an INI file section or a
// registry key. Every stored key is one row of StoredKeys, which fixes its group, its name, its
// place in the visit order and how the property converts to and from its stored form.
#include <array>
#include <exception>
#include <optional>
#include <string>

#include "serialport/base/com_error.h"
#include "serialport/base/value_names.h"
#include "serialport/port/com_port.h"
#include "serialport/store/ini_file.h"
#include "serialport/store/registry_store.h"

namespace tolvane {
namespace {

using TPort = TCustomComPort;

constexpr const char* LocalMachineRoot = "HKEY_LOCAL_MACHINE";
constexpr const char* CurrentUserRoot = "HKEY_CURRENT_USER";
constexpr char RegistrySeparator = '\\';
constexpr const char* EmptySubkeyMessage = "The registry path names no key";
// A missing "CustomBaudRate" restores this rate, whatever the port held before.
constexpr std::int32_t DefaultCustomBaudRate = 9600;

// A stored key holds either text or an integer; exactly one pair of accessors is set.
struct TStoredKey {
  TStoredGroup Group;
  const char* Key;
  std::string (*GetText)(const TPort&) = nullptr;
  void (*SetText)(TPort&, const std::string&) = nullptr;
  std::int32_t (*GetInteger)(const TPort&) = nullptr;
  void (*SetInteger)(TPort&, std::int32_t) = nullptr;
  // Stored only while BaudRate is brCustom; reads default to DefaultCustomBaudRate.
  bool CustomRateOnly = false;
};

// Groups in visit order (not bit order), keys in their order within the group.
const std::array<TStoredKey, 29> StoredKeys = {{
    {TStoredGroup::sgBasic, "Port", [](const TPort& P) { return P.Port(); },
     [](TPort& P, const std::string& V) { P.SetPort(V); }},
    {TStoredGroup::sgBasic, "BaudRate", [](const TPort& P) { return BaudRateToName(P.BaudRate()); },
     [](TPort& P, const std::string& V) { P.SetBaudRate(NameToBaudRate(V)); }},
    {TStoredGroup::sgBasic, "CustomBaudRate", nullptr, nullptr,
     [](const TPort& P) { return P.CustomBaudRate(); },
     [](TPort& P, std::int32_t V) { P.SetCustomBaudRate(V); }, true},
    {TStoredGroup::sgBasic, "StopBits", [](const TPort& P) { return StopBitsToName(P.StopBits()); },
     [](TPort& P, const std::string& V) { P.SetStopBits(NameToStopBits(V)); }},
    {TStoredGroup::sgBasic, "DataBits", [](const TPort& P) { return DataBitsToName(P.DataBits()); },
     [](TPort& P, const std::string& V) { P.SetDataBits(NameToDataBits(V)); }},
    {TStoredGroup::sgBasic, "Parity",
     [](const TPort& P) { return ParityToName(P.Parity().Bits()); },
     [](TPort& P, const std::string& V) { P.Parity().SetBits(NameToParity(V)); }},
    {TStoredGroup::sgBasic, "FlowControl",
     [](const TPort& P) { return FlowControlToName(P.FlowControl().FlowControl()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetFlowControl(NameToFlowControl(V)); }},

    {TStoredGroup::sgOthers, "EventChar", [](const TPort& P) { return CharToName(P.EventChar()); },
     [](TPort& P, const std::string& V) { P.SetEventChar(NameToChar(V)); }},
    {TStoredGroup::sgOthers, "DiscardNull",
     [](const TPort& P) { return BoolToName(P.DiscardNull()); },
     [](TPort& P, const std::string& V) { P.SetDiscardNull(NameToBool(V)); }},

    {TStoredGroup::sgParity, "Parity.Check",
     [](const TPort& P) { return BoolToName(P.Parity().Check()); },
     [](TPort& P, const std::string& V) { P.Parity().SetCheck(NameToBool(V)); }},
    {TStoredGroup::sgParity, "Parity.Replace",
     [](const TPort& P) { return BoolToName(P.Parity().Replace()); },
     [](TPort& P, const std::string& V) { P.Parity().SetReplace(NameToBool(V)); }},
    {TStoredGroup::sgParity, "Parity.ReplaceChar",
     [](const TPort& P) { return CharToName(P.Parity().ReplaceChar()); },
     [](TPort& P, const std::string& V) { P.Parity().SetReplaceChar(NameToChar(V)); }},

    {TStoredGroup::sgBuffer, "Buffer.OutputSize", nullptr, nullptr,
     [](const TPort& P) { return P.Buffer().OutputSize(); },
     [](TPort& P, std::int32_t V) { P.Buffer().SetOutputSize(V); }},
    {TStoredGroup::sgBuffer, "Buffer.InputSize", nullptr, nullptr,
     [](const TPort& P) { return P.Buffer().InputSize(); },
     [](TPort& P, std::int32_t V) { P.Buffer().SetInputSize(V); }},

    {TStoredGroup::sgTimeouts, "Timeouts.ReadInterval", nullptr, nullptr,
     [](const TPort& P) { return P.Timeouts().ReadInterval(); },
     [](TPort& P, std::int32_t V) { P.Timeouts().SetReadInterval(V); }},
    {TStoredGroup::sgTimeouts, "Timeouts.ReadTotalConstant", nullptr, nullptr,
     [](const TPort& P) { return P.Timeouts().ReadTotalConstant(); },
     [](TPort& P, std::int32_t V) { P.Timeouts().SetReadTotalConstant(V); }},
    {TStoredGroup::sgTimeouts, "Timeouts.ReadTotalMultiplier", nullptr, nullptr,
     [](const TPort& P) { return P.Timeouts().ReadTotalMultiplier(); },
     [](TPort& P, std::int32_t V) { P.Timeouts().SetReadTotalMultiplier(V); }},
    {TStoredGroup::sgTimeouts, "Timeouts.WriteTotalConstant", nullptr, nullptr,
     [](const TPort& P) { return P.Timeouts().WriteTotalConstant(); },
     [](TPort& P, std::int32_t V) { P.Timeouts().SetWriteTotalConstant(V); }},
    {TStoredGroup::sgTimeouts, "Timeouts.WriteTotalMultiplier", nullptr, nullptr,
     [](const TPort& P) { return P.Timeouts().WriteTotalMultiplier(); },
     [](TPort& P, std::int32_t V) { P.Timeouts().SetWriteTotalMultiplier(V); }},

    {TStoredGroup::sgFlowControl, "FlowControl.ControlRTS",
     [](const TPort& P) { return RTSControlToName(P.FlowControl().ControlRTS()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetControlRTS(NameToRTSControl(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.ControlDTR",
     [](const TPort& P) { return DTRControlToName(P.FlowControl().ControlDTR()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetControlDTR(NameToDTRControl(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.DSRSensitivity",
     [](const TPort& P) { return BoolToName(P.FlowControl().DSRSensitivity()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetDSRSensitivity(NameToBool(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.OutCTSFlow",
     [](const TPort& P) { return BoolToName(P.FlowControl().OutCTSFlow()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetOutCTSFlow(NameToBool(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.OutDSRFlow",
     [](const TPort& P) { return BoolToName(P.FlowControl().OutDSRFlow()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetOutDSRFlow(NameToBool(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.TxContinueOnXoff",
     [](const TPort& P) { return BoolToName(P.FlowControl().TxContinueOnXoff()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetTxContinueOnXoff(NameToBool(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.XonXoffIn",
     [](const TPort& P) { return BoolToName(P.FlowControl().XonXoffIn()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetXonXoffIn(NameToBool(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.XonXoffOut",
     [](const TPort& P) { return BoolToName(P.FlowControl().XonXoffOut()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetXonXoffOut(NameToBool(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.XoffChar",
     [](const TPort& P) { return CharToName(P.FlowControl().XoffChar()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetXoffChar(NameToChar(V)); }},
    {TStoredGroup::sgFlowControl, "FlowControl.XonChar",
     [](const TPort& P) { return CharToName(P.FlowControl().XonChar()); },
     [](TPort& P, const std::string& V) { P.FlowControl().SetXonChar(NameToChar(V)); }},
}};

// Where saved values go: an INI section or an open registry key.
class TValueSink {
 public:
  virtual ~TValueSink() = default;
  virtual void WriteText(const char* Key, const std::string& Value) = 0;
  virtual void WriteInteger(const char* Key, std::int32_t Value) = 0;
};

// Where restored values come from; Current is the value to keep when the store has none.
class TValueSource {
 public:
  virtual ~TValueSource() = default;
  virtual std::string ReadText(const char* Key, const std::string& Current) = 0;
  virtual std::int32_t ReadInteger(const char* Key, std::int32_t Current) = 0;
};

class TIniSection : public TValueSink, public TValueSource {
 public:
  TIniSection(TIniFile& IniFile, const std::string& Section) : Ini_(IniFile), Section_(Section) {}
  void WriteText(const char* Key, const std::string& Value) override {
    Ini_.WriteString(Section_, Key, Value);
  }
  void WriteInteger(const char* Key, std::int32_t Value) override {
    Ini_.WriteInteger(Section_, Key, Value);
  }
  std::string ReadText(const char* Key, const std::string& Current) override {
    return Ini_.ReadString(Section_, Key, Current);
  }
  std::int32_t ReadInteger(const char* Key, std::int32_t Current) override {
    return Ini_.ReadInteger(Section_, Key, Current);
  }

 private:
  TIniFile& Ini_;
  std::string Section_;
};

// The registry keeps no defaults: a missing text reads as empty text, a missing integer fails.
class TRegistryKey : public TValueSink, public TValueSource {
 public:
  explicit TRegistryKey(TRegistryAccessor& Registry) : Registry_(Registry) {}
  void WriteText(const char* Key, const std::string& Value) override {
    Registry_.WriteString(Key, Value);
  }
  void WriteInteger(const char* Key, std::int32_t Value) override {
    Registry_.WriteInteger(Key, Value);
  }
  std::string ReadText(const char* Key, const std::string&) override {
    return Registry_.ReadString(Key);
  }
  std::int32_t ReadInteger(const char* Key, std::int32_t) override {
    return Registry_.ReadInteger(Key);
  }

 private:
  TRegistryAccessor& Registry_;
};

bool IsStored(const TPort& Port, const TStoredKey& Row) {
  if (!Port.StoredGroups().Contains(Row.Group)) return false;
  return !Row.CustomRateOnly || Port.BaudRate() == TBaudRate::brCustom;
}

void SaveKeys(const TPort& Port, TValueSink& Sink) {
  for (const TStoredKey& Row : StoredKeys) {
    if (!IsStored(Port, Row)) continue;
    if (Row.GetText != nullptr) {
      Sink.WriteText(Row.Key, Row.GetText(Port));
    } else {
      Sink.WriteInteger(Row.Key, Row.GetInteger(Port));
    }
  }
}

// Each value is assigned at once, so "BaudRate" is in place before "CustomBaudRate" is
// considered.
void RestoreKeys(TPort& Port, TValueSource& Source) {
  for (const TStoredKey& Row : StoredKeys) {
    if (!IsStored(Port, Row)) continue;
    if (Row.GetText != nullptr) {
      Row.SetText(Port, Source.ReadText(Row.Key, Row.GetText(Port)));
    } else {
      const std::int32_t Current =
          Row.CustomRateOnly ? DefaultCustomBaudRate : Row.GetInteger(Port);
      Row.SetInteger(Port, Source.ReadInteger(Row.Key, Current));
    }
  }
}

bool SameTextAscii(const std::string& Left, const char* Right) {
  const std::string_view Other(Right);
  if (Left.size() != Other.size()) return false;
  for (std::size_t I = 0; I < Left.size(); ++I) {
    const auto Upper = [](char C) { return (C >= 'a' && C <= 'z') ? char(C - 'a' + 'A') : C; };
    if (Upper(Left[I]) != Upper(Other[I])) return false;
  }
  return true;
}

// Path is "<root>\<subkey>": the settings live in <subkey>\<Name> below the root. A path
// without a backslash opens nothing (reads then see no values and writes fail); a path with
// nothing after its backslash is an error.
void OpenSettingsKey(TRegistryAccessor& Registry, const std::string& Path,
                     const std::string& Name) {
  const std::size_t Separator = Path.find(RegistrySeparator);
  if (Separator == std::string::npos) return;
  const std::string Root = Path.substr(0, Separator);
  if (SameTextAscii(Root, LocalMachineRoot)) {
    Registry.SetRootKey(TRegistryRoot::HKEY_LOCAL_MACHINE);
  } else if (SameTextAscii(Root, CurrentUserRoot)) {
    Registry.SetRootKey(TRegistryRoot::HKEY_CURRENT_USER);
  }
  std::string SubKey = Path.substr(Separator + 1);
  if (SubKey.empty()) throw ERegistryException(EmptySubkeyMessage);
  if (SubKey.back() != RegistrySeparator) SubKey += RegistrySeparator;
  SubKey += Name;
  // A key that cannot be opened shows itself later: the writes fail.
  Registry.OpenKey(SubKey, true);
}

// The port's error for a failure of the store: the port's own text replaces the store's
// message, but the store's detail (which file, and the system's reason) is kept.
EComPort SettingsError(std::int32_t ErrorNumber, const std::exception& Cause) {
  EComPort Error(ErrorNumber);
  if (const auto* Raised = dynamic_cast<const Exception*>(&Cause))
    Error.SetDetail(Raised->Detail());
  return Error;
}

}  // namespace

void TCustomComPort::SaveSettings(TSettingsStore Store, const std::string& Path) {
  if (Store == TSettingsStore::ssIniFile) {
    TIniFile IniFile(Path);
    SaveSettings(IniFile);
    return;
  }
  try {
    // The accessor is released as this block ends, before the handler raises the error.
    TRegistryAccessor Registry;
    OpenSettingsKey(Registry, Path, Name());
    SaveToRegistry(Registry);
  } catch (const std::exception& Cause) {
    throw SettingsError(CError_StoreFailed, Cause);
  }
}

void TCustomComPort::SaveSettings(TIniFile& IniFile) {
  try {
    IniFile.Update([&] { SaveToIniFile(IniFile); });
  } catch (const std::exception& Cause) {
    throw SettingsError(CError_StoreFailed, Cause);
  }
}

void TCustomComPort::RestoreSettings(TSettingsStore Store, const std::string& Path) {
  std::optional<EComPort> Failure;
  BeginConfig();
  try {
    if (Store == TSettingsStore::ssIniFile) {
      TIniFile IniFile(Path);
      RestoreFromIniFile(IniFile);
    } else {
      TRegistryAccessor Registry;
      OpenSettingsKey(Registry, Path, Name());
      RestoreFromRegistry(Registry);
    }
  } catch (const std::exception& Cause) {
    Failure = SettingsError(CError_LoadFailed, Cause);
  }
  try {
    EndConfig();
  } catch (const std::exception& Cause) {
    if (!Failure) Failure = SettingsError(CError_LoadFailed, Cause);
  }
  if (Failure) throw *Failure;
}

void TCustomComPort::SaveToRegistry(TRegistryAccessor& Registry) {
  TRegistryKey Key(Registry);
  SaveKeys(*this, Key);
}

void TCustomComPort::SaveToIniFile(TIniFile& IniFile) {
  TIniSection Section(IniFile, Name());
  SaveKeys(*this, Section);
}

void TCustomComPort::RestoreFromRegistry(TRegistryAccessor& Registry) {
  TRegistryKey Key(Registry);
  RestoreKeys(*this, Key);
}

void TCustomComPort::RestoreFromIniFile(TIniFile& IniFile) {
  TIniSection Section(IniFile, Name());
  RestoreKeys(*this, Section);
}

}  // namespace tolvane
