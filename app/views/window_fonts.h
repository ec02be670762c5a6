// The fonts the windows were designed with, mapped onto faces a Linux desktop has. The designed
// faces are Windows bitmap fonts; each maps to the closest installed face at the same pixel
// height, so the fixed layouts keep their proportions.
#pragma once

#include <QFont>

namespace tolvane {

// "MS Sans Serif" and "Tahoma": Liberation Sans, else DejaVu Sans, else the default sans face.
QFont SansFont(int PixelHeight, bool Bold = false);
// "MS Serif": Liberation Serif, else DejaVu Serif, else the default serif face.
QFont SerifFont(int PixelHeight, bool Bold = false);

}  // namespace tolvane
