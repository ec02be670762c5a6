// The main window's menu: File, View, Settings and Help, with the object names the window's
// handlers and the tests refer to.
#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace tolvane {

// Captions carry their mnemonic: the "&" underlines the letter after it (Alt+F opens "File",
// C then chooses "Connect") and is not shown.
inline constexpr const char* ConnectItemCaption = "&Connect";
inline constexpr const char* DisconnectItemCaption = "&Disconnect";

// A caption as the operator reads it: without the mnemonic's "&" ("&&" shows one "&").
QString DisplayedCaption(const QString& Caption);

struct TMainMenu {
  // Fills Bar with the four menus; every item starts in its designed state.
  // Exit has the desktop's Quit shortcut (Ctrl+Q).
  explicit TMainMenu(QMenuBar* Bar);

  // Opens the first menu, as F10 does on a desktop.
  void OpenFirstMenu();

  QMenuBar* Bar;

  QMenu* MMFile;
  QAction* MMConnect;
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
};

}  // namespace tolvane
