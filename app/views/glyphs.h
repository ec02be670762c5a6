// The small pictures of the utility, painted once at start: the glyphs of the speed buttons,
// the menu bitmaps, the dial of the control view and the window icons.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tolvane {

inline constexpr int GlyphSize = 16;
inline constexpr int DialPictureSize = 69;

QIcon ConnectGlyph();     // a mains plug
QIcon ReadGlyph();        // a memory chip with an arrow coming out of it
QIcon WriteGlyph();       // a memory chip with an arrow going into it
QIcon ExitBitmap();       // an open door with an arrow leaving
QIcon ColorBitmap();      // three paint spots
QIcon PortBitmap();       // a nine-pin serial connector
QIcon AboutBitmap();      // an information sign
QPixmap DialPicture();    // a dial gauge, black on silver
QIcon ApplicationIcon();  // an amplifier valve

}  // namespace tolvane
