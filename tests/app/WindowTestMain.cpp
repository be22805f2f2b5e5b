// SPDX-License-Identifier: GPL-3.0-or-later
// The window test program: runs the registered test classes.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <map>

#include "WindowFixture.h"

namespace korvane::test {

namespace {

std::map<std::string, TTestFactory> &Registry() {
  static std::map<std::string, TTestFactory> Tests;
  return Tests;
}

}  // namespace

bool RegisterWindowTest(const char *Name, TTestFactory Factory) {
  Registry()[Name] = std::move(Factory);
  return true;
}

}  // namespace korvane::test

// Runs the test class named by the first argument (all without one) on the
// offscreen platform, with the settings store in a folder of its own. With
// KORVANE_TEST_GTK_FONT ("DejaVu Sans 14") that folder also gives the
// desktop's GTK font, which the GTK platform theme (QT_QPA_PLATFORMTHEME=gtk3)
// hands to the window as a user's desktop does.
int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QTemporaryDir ConfigHome;
  qputenv("XDG_CONFIG_HOME", ConfigHome.path().toUtf8());
  if (const QByteArray Font = qgetenv("KORVANE_TEST_GTK_FONT"); !Font.isEmpty()) {
    QDir(ConfigHome.path()).mkpath("gtk-3.0");
    QFile Settings(ConfigHome.filePath("gtk-3.0/settings.ini"));
    if (!Settings.open(QIODevice::WriteOnly) ||
        Settings.write("[Settings]\ngtk-font-name=" + Font + "\n") < 0)
      qFatal("cannot write the GTK settings");
  }
  QApplication Application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QStringList Arguments = QApplication::arguments();
  QString Only;
  if (Arguments.size() > 1 && !Arguments[1].startsWith('-')) Only = Arguments.takeAt(1);
  int Failures = 0;
  for (const auto &[Name, Factory] : korvane::test::Registry()) {
    if (!Only.isEmpty() && Only != QString::fromStdString(Name)) continue;
    korvane::test::ClearStoredSettings();
    const std::unique_ptr<QObject> Test = Factory();
    Failures += QTest::qExec(Test.get(), Arguments);
  }
  return Failures == 0 ? 0 : 1;
}
