// A drop-down list bound to one property of a port. It shows the property's value names,
// selects the port's current value, holds what the operator picks (or, when editable, types)
// and writes it to the port on ApplyValue (or at once with AutoApply).
#pragma once

#include <QComboBox>
#include <QString>
#include <functional>

#include "portsetup/com_select.h"
#include "portsetup/port_watcher.h"

namespace tolvane {

class TComComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TComComboBox(QWidget* Parent = nullptr);

  TCustomComPort* ComPort() const { return ComSelect_.ComPort(); }
  // Binds Port and selects its current value; binding none keeps the selection.
  void SetComPort(TCustomComPort* Port);
  TComProperty ComProperty() const { return ComSelect_.ComProperty(); }
  // Refills the list and selects the bound port's value, or item 0 without a port.
  void SetComProperty(TComProperty Property);
  bool AutoApply() const { return ComSelect_.AutoApply(); }
  void SetAutoApply(bool Value) { ComSelect_.SetAutoApply(Value); }

  // Lets the operator type a value besides picking one; use this, not QComboBox::setEditable.
  // A typed value is held as typed, only trimmed of blanks (no completion, no matching against
  // the list's letter case, no new list item), once the operator finishes it (Return, or leaving
  // the box) and at the latest on ApplyValue. Meant for the port's name: any device, also one
  // on the network, that the list of installed ports cannot show.
  void SetEditable(bool Value);

  // The selected item's text, empty without a selection; when editable, the text in the box.
  QString Text() const;
  // Selects the first item equal to Value, letter case ignored; an unlisted text is ignored.
  void SetText(const QString& Value);

  // Writes the held value to the bound port, after taking a value still being typed.
  void ApplyValue();
  // Selects the port's current value; no selection when it is not listed. A value being typed
  // is dropped.
  void ShowCurrentValue();

  // Raised after the operator has picked an item or finished typing a value (not when the
  // program selects one).
  std::function<void(TComComboBox* Sender)> OnChange;

 protected:
  virtual void FireChange();

 private:
  class TItems : public TSelectorItems {
   public:
    explicit TItems(QComboBox& Box) : Box_(Box) {}
    void Replace(const std::vector<std::string>& Names) override;
    void Add(const std::string& Name) override { Box_.addItem(QString::fromStdString(Name)); }
    int Count() const override { return Box_.count(); }
    std::string Item(int Index) const override { return Box_.itemText(Index).toStdString(); }

   private:
    QComboBox& Box_;
  };

  void OperatorPicked(int Index);
  void OperatorTyped() { Typing_ = true; }
  void TakeTyped();
  void Select(int Index);
  void PortDestroyed();

  TItems Items_;
  TComSelect ComSelect_;
  TPortWatcher PortWatcher_;
  // The operator has edited the text since it was last taken or set by a selection.
  bool Typing_ = false;
};

}  // namespace tolvane
