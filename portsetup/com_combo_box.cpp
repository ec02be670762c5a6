#include "portsetup/com_combo_box.h"

#include <QLineEdit>

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
  Select(ComSelect_.ComPort() == nullptr ? 0 : ComSelect_.FindCurrent());
}

void TComComboBox::SetEditable(bool Value) {
  if (Value == isEditable()) return;
  Typing_ = false;
  setEditable(Value);
  if (!Value) return;
  // The typed text is the operator's own: a completion or a list item matched in other letters
  // would change it (device names differ by letter case), and the list shows installed ports.
  setCompleter(nullptr);
  setInsertPolicy(QComboBox::NoInsert);
  // textEdited comes only from the operator's keys, not from the program's own selections.
  connect(lineEdit(), &QLineEdit::textEdited, this, &TComComboBox::OperatorTyped);
  connect(lineEdit(), &QLineEdit::editingFinished, this, &TComComboBox::TakeTyped);
}

QString TComComboBox::Text() const {
  if (isEditable()) return currentText();
  return currentIndex() < 0 ? QString() : currentText();
}

void TComComboBox::SetText(const QString& Value) {
  for (int Index = 0; Index < count(); ++Index) {
    if (itemText(Index).compare(Value, Qt::CaseInsensitive) == 0) {
      Select(Index);
      return;
    }
  }
}

void TComComboBox::ApplyValue() {
  TakeTyped();
  ComSelect_.ApplyValue();
}

void TComComboBox::ShowCurrentValue() {
  Select(ComSelect_.FindCurrent());
}

void TComComboBox::FireChange() {
  if (OnChange) OnChange(this);
}

void TComComboBox::OperatorPicked(int Index) {
  Typing_ = false;
  ComSelect_.TakeValue(itemText(Index).toStdString());
  FireChange();
}

void TComComboBox::TakeTyped() {
  if (!Typing_) return;
  Typing_ = false;
  ComSelect_.TakeValue(currentText().trimmed().toStdString());
  FireChange();
}

// An editable box shows the item also when it was selected already and the operator had typed
// over it since.
void TComComboBox::Select(int Index) {
  Typing_ = false;
  setCurrentIndex(Index);
  if (isEditable()) setEditText(Index < 0 ? QString() : itemText(Index));
}

void TComComboBox::PortDestroyed() {
  ComSelect_.SetComPort(nullptr);
  if (count() > 0) Select(0);
}

}  // namespace tolvane
