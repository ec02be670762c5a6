#include "app/views/main_menu.h"

#include "app/views/glyphs.h"

namespace tolvane {
namespace {

QMenu* AddMenu(QMenuBar* Bar, const char* Name, const QString& Caption) {
  QMenu* Menu = Bar->addMenu(Caption);
  Menu->setObjectName(Name);
  return Menu;
}

QAction* AddItem(QMenu* Menu, const char* Name, const QString& Caption,
                 const QIcon& Bitmap = QIcon()) {
  QAction* Item = Menu->addAction(Bitmap, Caption);
  Item->setObjectName(Name);
  return Item;
}

QAction* AddSeparator(QMenu* Menu, const char* Name) {
  QAction* Separator = Menu->addSeparator();
  Separator->setObjectName(Name);
  return Separator;
}

QAction* AddViewItem(QMenu* Menu, const char* Name, const QString& Caption, bool Checked) {
  QAction* Item = AddItem(Menu, Name, Caption);
  Item->setCheckable(true);
  Item->setChecked(Checked);
  return Item;
}

}  // namespace

QString DisplayedCaption(const QString& Caption) {
  QString Shown;
  for (qsizetype At = 0; At < Caption.size(); ++At) {
    if (Caption[At] == '&' && At + 1 < Caption.size()) ++At;
    Shown += Caption[At];
  }
  return Shown;
}

TMainMenu::TMainMenu(QMenuBar* MenuBar) : Bar(MenuBar) {
  Bar->setObjectName("MainMenu");

  MMFile = AddMenu(Bar, "MMFile", "&File");
  MMConnect = AddItem(MMFile, "MMConnect", ConnectItemCaption, ConnectGlyph());
  N1 = AddSeparator(MMFile, "N1");
  MMExit = AddItem(MMFile, "MMExit", "E&xit", ExitBitmap());
  MMExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  MMView = AddMenu(Bar, "MMView", "&View");
  MMControl = AddViewItem(MMView, "MMControl", "C&ontrol", false);
  MMControl->setVisible(false);
  MMTerminal = AddViewItem(MMView, "MMTerminal", "&Terminal", false);
  MMAdjustments = AddViewItem(MMView, "MMAdjustments", "&Adjustments", true);

  MMSettings = AddMenu(Bar, "MMSettings", "&Settings");
  MMColor = AddItem(MMSettings, "MMColor", "&Interface Color...", ColorBitmap());
  MMColor->setVisible(false);
  N2 = AddSeparator(MMSettings, "N2");
  MMCOMPortSettings =
      AddItem(MMSettings, "MMCOMPortSettings", "&COM Port Settings...", PortBitmap());

  MMHelp = AddMenu(Bar, "MMHelp", "&Help");
  MMAbout = AddItem(MMHelp, "MMAbout", "&About...", AboutBitmap());
}

void TMainMenu::OpenFirstMenu() {
  Bar->setFocus(Qt::MenuBarFocusReason);
  Bar->setActiveAction(MMFile->menuAction());
}

}  // namespace tolvane
