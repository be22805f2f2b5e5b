// Icons of the window: from the desktop's freedesktop icon theme where it has
// them, else the Qt style's standard icons.
#pragma once

#include <QIcon>
#include <QStyle>

namespace korvane {

QIcon ThemeIcon(const char *ThemeName, QStyle::StandardPixmap Fallback);

// The program's own icon (window, About box).
QIcon ApplicationIcon();

}  // namespace korvane
