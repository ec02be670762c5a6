#include "app/views/values_menu.h"

#include <QFileDialog>

namespace tolvane {
namespace {

constexpr const char* ValuesFileFilter = "Values files (*.ini);;All files (*)";

QAction* NewItem(QMenu* Menu, const char* Name, const QString& Caption) {
  auto* Item = new QAction(Caption, Menu);
  Item->setObjectName(Name);
  return Item;
}

}  // namespace

TValuesMenu::TValuesMenu(TMainMenu& Menu) {
  QMenu* File = Menu.MMFile;
  MMCompare = NewItem(File, "MMCompare", "Co&mpare with Controller");
  MMCompare->setEnabled(false);
  MMCompare->setShortcut(CompareShortcut);
  MMOpenValues = NewItem(File, "MMOpenValues", "&Open Values...");
  MMSaveValues = NewItem(File, "MMSaveValues", "Save Values &As...");
  // Between Connect and the separator above Exit: the comparison, then the files.
  File->insertAction(Menu.N1, MMCompare);
  N3 = File->insertSeparator(Menu.N1);
  N3->setObjectName("N3");
  File->insertAction(Menu.N1, MMOpenValues);
  File->insertAction(Menu.N1, MMSaveValues);
}

QString RunValuesFileDialog(QWidget* Parent, TFileDialogKind Kind, const QString& StartPath) {
  if (Kind == TFileDialogKind::OpenValues) {
    return QFileDialog::getOpenFileName(Parent, OpenValuesTitle, StartPath, ValuesFileFilter);
  }
  return QFileDialog::getSaveFileName(Parent, SaveValuesTitle, StartPath, ValuesFileFilter);
}

}  // namespace tolvane
