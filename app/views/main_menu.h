// The main window's menu: File, View, Settings and Help, with the object names the window's
// handlers and the tests refer to.
#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "portsetup/mnemonics.h"

namespace tolvane {

// Captions carry their mnemonic: the "&" underlines the letter after it (Alt+F opens "File",
// C then chooses "Connect") and is not shown.
inline constexpr const char* ConnectItemCaption = "&Connect";
inline constexpr const char* DisconnectItemCaption = "&Disconnect";
inline constexpr QKeyCombination ConnectShortcut = Qt::CTRL | Qt::Key_K;
inline constexpr QKeyCombination ReadShortcut = Qt::CTRL | Qt::Key_R;
inline constexpr QKeyCombination WriteShortcut = Qt::CTRL | Qt::Key_W;
inline constexpr QKeyCombination CompareShortcut = Qt::CTRL | Qt::Key_M;

struct TMainMenu {
  // Fills Bar with the four menus; every item starts in its designed state.
  // Connect (Ctrl+K), Read (Ctrl+R) and Write (Ctrl+W) are in the File menu; Exit has the
  // desktop's Quit shortcut (Ctrl+Q).
  explicit TMainMenu(QMenuBar* Bar);

  // Opens the first menu, as F10 does on a desktop. When the menus close again (Escape, or an
  // item chosen) the keyboard focus goes back to the control that had it.
  void OpenFirstMenu();

  QMenuBar* Bar;

  QMenu* MMFile;
  QAction* MMConnect;
  QAction* MMRead;
  QAction* MMWrite;
  QAction* N1;
  QAction* MMExit;
  QMenu* MMView;
  QAction* MMControl;
  QAction* MMTerminal;
  QAction* MMAdjustments;
  QMenu* MMSettings;
  QAction* MMColor;
  QAction* N2;
  QAction* MMCOMPortSettings;
  QMenu* MMHelp;
  QAction* MMAbout;

 private:
  void ReturnFocusWhenClosed();

  QPointer<QWidget> FocusBeforeMenu;
};

}  // namespace tolvane
