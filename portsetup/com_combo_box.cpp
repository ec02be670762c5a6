#include "portsetup/com_combo_box.h"

#include "serialport/port/com_port.h"

namespace tolvane {

void TComComboBox::TItems::Replace(const std::vector<std::string>& Names) {
  Box_.clear();
  for (const std::string& Name : Names) Box_.addItem(QString::fromStdString(Name));
}

TComComboBox::TComComboBox(QWidget* Parent)
    : QComboBox(Parent),
      Items_(*this),
      ComSelect_(Items_),
      PortWatcher_([this] { PortDestroyed(); }) {
  setEditable(false);
  // activated comes only from the operator; the program's own selections change the index
  // without it, so they never reach TakeValue.
  connect(this, &QComboBox::activated, this, &TComComboBox::OperatorPicked);
}

void TComComboBox::SetComPort(TCustomComPort* Port) {
  if (Port == ComSelect_.ComPort()) return;
  ComSelect_.SetComPort(Port);
  PortWatcher_.Watch(Port);
  if (Port != nullptr) ShowCurrentValue();
}

void TComComboBox::SetComProperty(TComProperty Property) {
  ComSelect_.SelectProperty(Property);
  if (count() == 0) return;
  setCurrentIndex(ComSelect_.ComPort() == nullptr ? 0 : ComSelect_.FindCurrent());
}

QString TComComboBox::Text() const {
  return currentIndex() < 0 ? QString() : currentText();
}

void TComComboBox::SetText(const QString& Value) {
  for (int Index = 0; Index < count(); ++Index) {
    if (itemText(Index).compare(Value, Qt::CaseInsensitive) == 0) {
      setCurrentIndex(Index);
      return;
    }
  }
}

void TComComboBox::ShowCurrentValue() {
  setCurrentIndex(ComSelect_.FindCurrent());
}

void TComComboBox::FireChange() {
  if (OnChange) OnChange(this);
}

void TComComboBox::OperatorPicked(int Index) {
  ComSelect_.TakeValue(itemText(Index).toStdString());
  FireChange();
}

void TComComboBox::PortDestroyed() {
  ComSelect_.SetComPort(nullptr);
  if (count() > 0) setCurrentIndex(0);
}

}  // namespace tolvane
