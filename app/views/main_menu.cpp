#include "app/views/main_menu.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

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

TMainMenu::TMainMenu(QMenuBar* MenuBar) : Bar(MenuBar) {
  Bar->setObjectName("MainMenu");

  MMFile = AddMenu(Bar, "MMFile", "&File");
  MMConnect = AddItem(MMFile, "MMConnect", ConnectItemCaption, ConnectGlyph());
  MMConnect->setShortcut(ConnectShortcut);
  // Read and Write as the buttons do, also while the adjustments view is hidden; enabled
  // together with the buttons.
  MMRead = AddItem(MMFile, "MMRead", "&Read", ReadGlyph());
  MMRead->setShortcut(ReadShortcut);
  MMRead->setEnabled(false);
  MMWrite = AddItem(MMFile, "MMWrite", "&Write", WriteGlyph());
  MMWrite->setShortcut(WriteShortcut);
  MMWrite->setEnabled(false);
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
  ReturnFocusWhenClosed();
}

void TMainMenu::OpenFirstMenu() {
  if (QWidget* Focused = QApplication::focusWidget(); Focused != nullptr && Focused != Bar)
    FocusBeforeMenu = Focused;
  Bar->setFocus(Qt::MenuBarFocusReason);
  Bar->setActiveAction(MMFile->menuAction());
}

void TMainMenu::ReturnFocusWhenClosed() {
  // A menu closes also on the way to its neighbour (Left, Right); only once none is open any more
  // does the menu bar let go of the keys, so that Tab moves on from where it was.
  for (QMenu* Menu : {MMFile, MMView, MMSettings, MMHelp}) {
    QObject::connect(Menu, &QMenu::aboutToHide, Bar, [this] {
      QTimer::singleShot(0, Bar, [this] {
        if (QApplication::activePopupWidget() != nullptr || !Bar->hasFocus()) return;
        Bar->setActiveAction(nullptr);
        QKeyEvent Leave(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(Bar, &Leave);
        if (FocusBeforeMenu) FocusBeforeMenu->setFocus(Qt::MenuBarFocusReason);
        FocusBeforeMenu.clear();
      });
    });
  }
}

}  // namespace tolvane
