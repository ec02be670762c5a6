// The File menu's items for the controller's values: the comparison beside Connect, and the
// values files before Exit.
#pragma once

#include <QAction>
#include <QString>
#include <functional>

#include "app/views/main_menu.h"

namespace tolvane {

inline constexpr const char* OpenValuesTitle = "Open Values";
inline constexpr const char* SaveValuesTitle = "Save Values As";

struct TValuesMenu {
  // Adds the items to Menu's File menu. Compare starts disabled, as while disconnected.
  explicit TValuesMenu(TMainMenu& Menu);

  QAction* MMCompare;
  QAction* N3;
  QAction* MMOpenValues;
  QAction* MMSaveValues;
};

enum class TFileDialogKind : std::uint8_t { OpenValues, SaveValues };

// Asks the operator for a values file, starting at StartPath (a directory, or a file name to
// propose); empty when cancelled. The window's runner is replaced by tests so nothing blocks.
using TFileDialogRunner = std::function<QString(TFileDialogKind Kind, const QString& StartPath)>;

// The desktop's file dialog, over Parent.
QString RunValuesFileDialog(QWidget* Parent, TFileDialogKind Kind, const QString& StartPath);

}  // namespace tolvane
