// A flat-faced button with a glyph beside its caption and the hint as a tooltip, like the
// toolbar buttons of the utility's windows. It takes the keyboard focus by Tab, and Return,
// Enter and Space click it as they click a push button.
#pragma once

#include <QIcon>
#include <QToolButton>

class QKeyEvent;

namespace tolvane {

class TSpeedButton : public QToolButton {
  Q_OBJECT

 public:
  using QToolButton::QToolButton;

 protected:
  void keyPressEvent(QKeyEvent* Event) override;
};

QToolButton* MakeSpeedButton(QWidget* Parent, const char* Name, const QString& Caption,
                             const QString& Hint, const QIcon& Glyph, const QRect& Geometry);

}  // namespace tolvane
