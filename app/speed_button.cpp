#include "app/speed_button.h"

#include "app/glyphs.h"

namespace tolvane {

QToolButton* MakeSpeedButton(QWidget* Parent, const char* Name, const QString& Caption,
                             const QString& Hint, const QIcon& Glyph, const QRect& Geometry) {
  auto* Button = new QToolButton(Parent);
  Button->setObjectName(Name);
  Button->setText(Caption);
  Button->setToolTip(Hint);
  if (!Glyph.isNull()) {
    Button->setIcon(Glyph);
    Button->setIconSize(QSize(GlyphSize, GlyphSize));
    Button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  Button->setGeometry(Geometry);
  return Button;
}

}  // namespace tolvane
