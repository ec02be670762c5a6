// A selector binds one value list to one property of a port: it fills the list with the
// property's display names, finds the port's current value in it, holds the value chosen and
// writes that value to the port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serialport/base/com_types.h"
#include "serialport/device/port_list.h"

namespace tolvane {

class TCustomComPort;

// The property a selector edits.
enum class TComProperty : std::uint8_t {
  cpNone,
  cpPort,
  cpBaudRate,
  cpDataBits,
  cpStopBits,
  cpParity,
  cpFlowControl
};

// The list a selector fills and searches. It belongs to the control that owns the selector.
class TSelectorItems {
 public:
  virtual ~TSelectorItems() = default;
  virtual void Replace(const std::vector<std::string>& Names) = 0;
  virtual void Add(const std::string& Name) = 0;
  virtual int Count() const = 0;
  virtual std::string Item(int Index) const = 0;
};

// Where cpPort lists read the installed ports and resolve port names to devices; tests point
// them at trees of their own.
void SetPortListPlaces(const TPortPlaces& Places);
const TPortPlaces& PortListPlaces();

class TComSelect {
 public:
  explicit TComSelect(TSelectorItems& Items) : Items_(Items) {}

  TComProperty ComProperty() const { return ComProperty_; }
  // Stores the property and refills the list; a cpPort list that cannot be read raises
  // EComPort 23.
  void SelectProperty(TComProperty Property);

  // Holds the value Text names (parsed with the property's converter); applies it at once
  // when AutoApply is set.
  void TakeValue(const std::string& Text);
  // Writes the held value to the bound port; nothing without a port or with cpNone. An empty
  // port name is never written: it names no port.
  void ApplyValue();
  // The position of the port's current value in the list, or -1; a found item becomes the held
  // value. Values are compared by name without regard to letter case, except the port's name:
  // its item is the one of the same name, else the first one for the same device (so "COM1"
  // finds "ttyS0"), else the name is added to the list as an item of its own. The port's own
  // name is held, so applying it unchanged keeps the name exactly as it was.
  int FindCurrent();

  TCustomComPort* ComPort() const { return ComPort_; }
  void SetComPort(TCustomComPort* Port) { ComPort_ = Port; }
  bool AutoApply() const { return AutoApply_; }
  void SetAutoApply(bool Value) { AutoApply_ = Value; }

 private:
  std::string CurrentValueName() const;
  int FindCurrentPort();
  void Hold(const std::string& Text);

  std::string Port_;
  TBaudRate BaudRate_ = TBaudRate::brCustom;
  TDataBits DataBits_ = TDataBits::dbFive;
  TStopBits StopBits_ = TStopBits::sbOneStopBit;
  TParityBits Parity_ = TParityBits::prNone;
  TFlowControl FlowControl_ = TFlowControl::fcHardware;
  TSelectorItems& Items_;
  TComProperty ComProperty_ = TComProperty::cpNone;
  TCustomComPort* ComPort_ = nullptr;
  bool AutoApply_ = false;
};

}  // namespace tolvane
