#pragma once

#include <QSize>

namespace mv {

// The windows' stated sizes are outer sizes, frame included, measured on a
// desktop whose windows have a 4-pixel border and a 23-pixel title bar. A
// window sets its client area to the stated size less that frame: its
// controls then get the room they were laid out for, whatever frame the
// local window manager draws (which is not known before the window is
// mapped, and is none at all under some compositors).
inline constexpr int DesignBorder = 4;
inline constexpr int DesignTitleBar = 23;

constexpr QSize clientSizeForOuter(QSize outer)
{
    return QSize(outer.width() - 2 * DesignBorder, outer.height() - 2 * DesignBorder - DesignTitleBar);
}

} // namespace mv
