#include "app/views/window_fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace tolvane {
namespace {

const QStringList SansFaces = {"Liberation Sans", "DejaVu Sans"};
const QStringList SerifFaces = {"Liberation Serif", "DejaVu Serif"};

QFont FirstInstalled(const QStringList& Faces, QFont::StyleHint Fallback, int PixelHeight,
                     bool Bold) {
  QFont Font;
  Font.setStyleHint(Fallback);
  const QStringList Installed = QFontDatabase::families();
  for (const QString& Face : Faces) {
    if (Installed.contains(Face)) {
      Font.setFamily(Face);
      break;
    }
  }
  Font.setPixelSize(PixelHeight);
  Font.setBold(Bold);
  return Font;
}

}  // namespace

QFont SansFont(int PixelHeight, bool Bold) {
  return FirstInstalled(SansFaces, QFont::SansSerif, PixelHeight, Bold);
}

QFont SerifFont(int PixelHeight, bool Bold) {
  return FirstInstalled(SerifFaces, QFont::Serif, PixelHeight, Bold);
}

}  // namespace tolvane
