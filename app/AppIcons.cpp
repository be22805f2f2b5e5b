#include "AppIcons.h"

#include <QApplication>

namespace korvane {

QIcon ThemeIcon(const char *ThemeName, QStyle::StandardPixmap Fallback) {
  return QIcon::fromTheme(QString::fromLatin1(ThemeName), QApplication::style()->standardIcon(Fallback));
}

QIcon ApplicationIcon() { return ThemeIcon("video-x-generic", QStyle::SP_MediaPlay); }

}  // namespace korvane
