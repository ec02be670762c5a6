#include "portsetup/form_translation.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

namespace tolvane {
namespace {

QString Translated(const QString& Text, const TTextLookup& Lookup) {
  return Text.isEmpty() ? Text : Lookup(Text);
}

void TranslateTexts(QWidget& Control, const TTextLookup& Lookup) {
  if (auto* Label = qobject_cast<QLabel*>(&Control)) {
    Label->setText(Translated(Label->text(), Lookup));
  } else if (auto* Button = qobject_cast<QAbstractButton*>(&Control)) {
    Button->setText(Translated(Button->text(), Lookup));
  } else if (auto* Group = qobject_cast<QGroupBox*>(&Control)) {
    Group->setTitle(Translated(Group->title(), Lookup));
  } else if (auto* Combo = qobject_cast<QComboBox*>(&Control)) {
    for (int Index = 0; Index < Combo->count(); ++Index) {
      Combo->setItemText(Index, Translated(Combo->itemText(Index), Lookup));
    }
  }
}

void TranslateTree(QWidget& Control, const QSet<QString>& Excluded, const TTextLookup& Lookup) {
  if (Excluded.contains(Control.objectName())) return;
  TranslateTexts(Control, Lookup);
  for (QWidget* Child : Control.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    TranslateTree(*Child, Excluded, Lookup);
  }
}

}  // namespace

void TranslateForm(QWidget& Form, const QSet<QString>& Excluded, const TTextLookup& Lookup) {
  Form.setWindowTitle(Translated(Form.windowTitle(), Lookup));
  TranslateTree(Form, Excluded, Lookup);
}

}  // namespace tolvane
