#include "app/views/speed_button.h"

#include <QKeyEvent>

#include "app/views/glyphs.h"

namespace tolvane {

void TSpeedButton::keyPressEvent(QKeyEvent* Event) {
  // Space is the button's own (it clicks on release); Return and Enter click at once.
  if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) && !Event->isAutoRepeat()) {
    Event->accept();
    click();
    return;
  }
  QToolButton::keyPressEvent(Event);
}

QToolButton* MakeSpeedButton(QWidget* Parent, const char* Name, const QString& Caption,
                             const QString& Hint, const QIcon& Glyph, const QRect& Geometry) {
  auto* Button = new TSpeedButton(Parent);
  Button->setObjectName(Name);
  Button->setText(Caption);
  Button->setToolTip(Hint);
  Button->setFocusPolicy(Qt::StrongFocus);
  if (!Glyph.isNull()) {
    Button->setIcon(Glyph);
    Button->setIconSize(QSize(GlyphSize, GlyphSize));
    Button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  // Layouts place the button; its designed size stays.
  Button->setGeometry(Geometry);
  Button->setFixedSize(Geometry.size());
  return Button;
}

}  // namespace tolvane
