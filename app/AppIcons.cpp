// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppIcons.h"

#include <QApplication>
#include <QFileInfo>

#include "ProgramFolder.h"

namespace korvane {

QIcon ThemeIcon(const char *ThemeName, QStyle::StandardPixmap Fallback) {
  return QIcon::fromTheme(QString::fromLatin1(ThemeName), QApplication::style()->standardIcon(Fallback));
}

QIcon ApplicationIcon() {
  const QString Name = QStringLiteral(KORVANE_APP_ID);
  const QString Theme = QString::fromStdString(ProgramFolder()) + "/../share/icons/hicolor/";
  QIcon Icon;
  for (const int Size : {16, 32, 48, 64, 128, 256}) {
    const QString File = Theme + QStringLiteral("%1x%1/apps/").arg(Size) + Name + ".png";
    if (QFileInfo::exists(File)) Icon.addFile(File, QSize(Size, Size));
  }
  return Icon.isNull() ? QIcon::fromTheme(Name, ThemeIcon("video-x-generic", QStyle::SP_MediaPlay)) : Icon;
}

}  // namespace korvane
