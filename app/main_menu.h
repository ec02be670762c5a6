// The main window's menu: File, View, Settings and Help, with the object names the window's
// handlers and the tests refer to.
#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace tolvane {

inline constexpr const char* ConnectItemCaption = "Connect";
inline constexpr const char* DisconnectItemCaption = "Disconnect";

struct TMainMenu {
  // Fills Bar with the four menus; every item starts in its designed state.
  explicit TMainMenu(QMenuBar* Bar);

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
