// SPDX-License-Identifier: GPL-3.0-or-later
// Korvane Video Converter: the desktop program.
#include <QApplication>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <memory>

#include "AVLibraries.h"
#include "AppIcons.h"
#include "MainWindow.h"
#include "MessageShell.h"
#include "Startup.h"

namespace {

// Whether a window can be shown at all: a platform chosen explicitly, or an
// X11 or Wayland display to connect to.
bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char **argv) {
  if (!HasDisplay()) {
    std::fputs("korvane: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set)\n",
               stderr);
    return 1;
  }
  korvane::SaveAndMaskFloatingPointControl();
  int Status = 1;
  {
    QApplication Application(argc, argv);
    // Number texts are read and written with "." whatever the desktop's locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Korvane Video Converter");
    QApplication::setOrganizationName("Korvane");
    QApplication::setDesktopFileName(QStringLiteral(KORVANE_APP_ID));
    QApplication::setWindowIcon(korvane::ApplicationIcon());

    const std::unique_ptr<korvane::TMessageShell> Messages = korvane::NewMessageShell();
    std::unique_ptr<korvane::TForm1> Form1 = korvane::CreateApplicationWindows(*Messages);
    if (Form1) {
      Form1->show();
      // Files named on the command line ("Open With" of a file manager) are
      // listed once the window is up.
      const QStringList Files = QApplication::arguments().mid(1);
      if (!Files.isEmpty()) QTimer::singleShot(0, Form1.get(), [&Form1, Files] { Form1->AddPaths(Files); });
      Status = QApplication::exec();
    }
  }
  korvane::RestoreFloatingPointControl();
  return Status;
}
