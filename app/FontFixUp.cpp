// SPDX-License-Identifier: GPL-3.0-or-later
#include "FontFixUp.h"

#include <sys/utsname.h>

#include <QFontDatabase>
#include <QWidget>
#include <cstdlib>

namespace korvane {

int OsMajorVersion() {
  utsname Name{};
  if (uname(&Name) != 0) return 0;
  return std::atoi(Name.release);
}

void FormFontFixUp(QWidget &Window) {
  static const QString kFontName = QStringLiteral("Segoe UI");
  if (OsMajorVersion() < 6) return;
  QFont Font = Window.font();
  if (Font.family().compare(kFontName, Qt::CaseInsensitive) == 0) return;
  if (!QFontDatabase::families().contains(kFontName, Qt::CaseInsensitive)) return;
  Font.setFamily(kFontName);
  Font.setPointSizeF(Font.pointSizeF() + 1);
  Window.setFont(Font);
}

}  // namespace korvane
