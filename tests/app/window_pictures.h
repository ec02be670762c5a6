// Writing pictures of windows into the build directory, and the check that every control lies
// inside the control that holds it.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>
#include <QWidget>

namespace tolvane {

// The names of the visible controls under Root whose rectangle leaves their parent's.
inline QStringList ControlsOutsideTheirParent(const QWidget& Root) {
  QStringList Outside;
  for (const QWidget* Control : Root.findChildren<QWidget*>()) {
    if (Control->window() != &Root || Control->isHidden()) continue;
    const QWidget* Parent = Control->parentWidget();
    if (!Parent->rect().contains(Control->geometry())) {
      Outside << Control->objectName() + ":" + Control->metaObject()->className() + " in " +
                     Parent->metaObject()->className();
    }
  }
  return Outside;
}

inline void SavePicture(QWidget& Window, const QString& Name) {
  QDir().mkpath(TOLVANE_PICTURE_DIR);
  EXPECT_TRUE(Window.grab().save(QDir(TOLVANE_PICTURE_DIR).filePath(Name + ".png")));
}

}  // namespace tolvane
