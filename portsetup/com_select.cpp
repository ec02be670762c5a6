#include "portsetup/com_select.h"

#include <cstddef>

#include "serialport/base/value_names.h"
#include "serialport/port/com_port.h"

namespace tolvane {
namespace {

TPortPlaces& MutablePortListPlaces() {
  static TPortPlaces Places;
  return Places;
}

template <std::size_t Count>
std::vector<std::string> AllNames(const std::array<const char*, Count>& Table) {
  return std::vector<std::string>(Table.begin(), Table.end());
}

char LowerAscii(char C) {
  return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

bool SameIgnoringCase(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    if (LowerAscii(A[I]) != LowerAscii(B[I])) return false;
  }
  return true;
}

}  // namespace

void SetPortListPlaces(const TPortPlaces& Places) {
  MutablePortListPlaces() = Places;
}
const TPortPlaces& PortListPlaces() {
  return MutablePortListPlaces();
}

void TComSelect::SelectProperty(TComProperty Property) {
  ComProperty_ = Property;
  std::vector<std::string> Names;
  switch (Property) {
    case TComProperty::cpNone:
      break;
    case TComProperty::cpPort:
      ListComPorts(Names, PortListPlaces());
      break;
    case TComProperty::cpBaudRate:
      Names = AllNames(BaudRateNames);
      break;
    case TComProperty::cpDataBits:
      Names = AllNames(DataBitsNames);
      break;
    case TComProperty::cpStopBits:
      Names = AllNames(StopBitsNames);
      break;
    case TComProperty::cpParity:
      Names = AllNames(ParityNames);
      break;
    case TComProperty::cpFlowControl:
      Names = AllNames(FlowControlNames);
      break;
  }
  Items_.Replace(Names);
}

void TComSelect::Hold(const std::string& Text) {
  switch (ComProperty_) {
    case TComProperty::cpNone:
      break;
    case TComProperty::cpPort:
      Port_ = Text;
      break;
    case TComProperty::cpBaudRate:
      BaudRate_ = NameToBaudRate(Text);
      break;
    case TComProperty::cpDataBits:
      DataBits_ = NameToDataBits(Text);
      break;
    case TComProperty::cpStopBits:
      StopBits_ = NameToStopBits(Text);
      break;
    case TComProperty::cpParity:
      Parity_ = NameToParity(Text);
      break;
    case TComProperty::cpFlowControl:
      FlowControl_ = NameToFlowControl(Text);
      break;
  }
}

void TComSelect::TakeValue(const std::string& Text) {
  Hold(Text);
  if (AutoApply_) ApplyValue();
}

void TComSelect::ApplyValue() {
  if (ComPort_ == nullptr) return;
  switch (ComProperty_) {
    case TComProperty::cpNone:
      break;
    case TComProperty::cpPort:
      // An empty name is never a port; assigning it would lose the name the port has.
      if (!Port_.empty()) ComPort_->SetPort(Port_);
      break;
    case TComProperty::cpBaudRate:
      ComPort_->SetBaudRate(BaudRate_);
      break;
    case TComProperty::cpDataBits:
      ComPort_->SetDataBits(DataBits_);
      break;
    case TComProperty::cpStopBits:
      ComPort_->SetStopBits(StopBits_);
      break;
    case TComProperty::cpParity:
      ComPort_->Parity().SetBits(Parity_);
      break;
    case TComProperty::cpFlowControl:
      ComPort_->FlowControl().SetFlowControl(FlowControl_);
      break;
  }
}

std::string TComSelect::CurrentValueName() const {
  switch (ComProperty_) {
    case TComProperty::cpNone:
      break;
    case TComProperty::cpPort:
      return ComPort_->Port();
    case TComProperty::cpBaudRate:
      return BaudRateToName(ComPort_->BaudRate());
    case TComProperty::cpDataBits:
      return DataBitsToName(ComPort_->DataBits());
    case TComProperty::cpStopBits:
      return StopBitsToName(ComPort_->StopBits());
    case TComProperty::cpParity:
      return ParityToName(ComPort_->Parity().Bits());
    case TComProperty::cpFlowControl:
      return FlowControlToName(ComPort_->FlowControl().FlowControl());
  }
  return "";
}

int TComSelect::FindCurrent() {
  if (ComPort_ == nullptr || ComProperty_ == TComProperty::cpNone) return -1;
  if (ComProperty_ == TComProperty::cpPort) return FindCurrentPort();
  const std::string Current = CurrentValueName();
  for (int Index = 0; Index < Items_.Count(); ++Index) {
    const std::string Item = Items_.Item(Index);
    if (SameIgnoringCase(Item, Current)) {
      Hold(Item);
      return Index;
    }
  }
  return -1;
}

// Device names are case-sensitive here, so a name in other letters is another device.
int TComSelect::FindCurrentPort() {
  Port_ = ComPort_->Port();
  if (Port_.empty()) return -1;
  for (int Index = 0; Index < Items_.Count(); ++Index) {
    if (Items_.Item(Index) == Port_) return Index;
  }
  for (int Index = 0; Index < Items_.Count(); ++Index) {
    if (NameTheSameDevice(Items_.Item(Index), Port_, PortListPlaces().DeviceRoot)) return Index;
  }
  Items_.Add(Port_);
  return Items_.Count() - 1;
}

}  // namespace tolvane
