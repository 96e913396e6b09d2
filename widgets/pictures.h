#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace mv::pictures {

// The 283 x 57 banner at the left of every window header.
QPixmap banner();
// Glyphs of the category bar's two flat buttons (16 x 16).
QPixmap searchGlyph();
QPixmap aboutGlyph();
// The program's icon (16 and 32 pixels), used by the tray and the windows.
QIcon programIcon();
QPixmap programPicture(int size);
// The same mark for the installed icon files: a picture of any size (needs
// no application object), and SVG on a size x size canvas.
QImage programImage(int size);
QByteArray programSvg(int size);

} // namespace mv::pictures
