// A flat-faced button with a glyph beside its caption and the hint as a tooltip, like the
// toolbar buttons of the utility's windows.
#pragma once

#include <QIcon>
#include <QToolButton>

namespace tolvane {

QToolButton* MakeSpeedButton(QWidget* Parent, const char* Name, const QString& Caption,
                             const QString& Hint, const QIcon& Glyph, const QRect& Geometry);

}  // namespace tolvane
