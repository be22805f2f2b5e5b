// SPDX-License-Identifier: GPL-3.0-or-later
// Icons of the window: from the desktop's freedesktop icon theme where it has
// them, else the Qt style's standard icons.
#pragma once

#include <QIcon>
#include <QStyle>

namespace korvane {

QIcon ThemeIcon(const char *ThemeName, QStyle::StandardPixmap Fallback);

// The program's own icon (window, About box): the pictures the build renders
// into the hicolor theme, found from the program's folder (PREFIX/share/icons
// from PREFIX/bin, and the same place in the build tree); else the desktop
// theme's icon of that name; else a stock video icon.
QIcon ApplicationIcon();

}  // namespace korvane
