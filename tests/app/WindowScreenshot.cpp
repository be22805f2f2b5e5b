// Makes the README's picture of the main window: starts the real window on
// the display it is given (Xvfb in scripts/screenshot.sh), adds three clips
// made now through the Add Files dialog, and saves the window as a PNG.
// Usage: window_screenshot OUTPUT.png
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <cstdio>

#include "DropDownCombo.h"
#include "WindowFixture.h"

int main(int argc, char **argv) {
  using namespace korvane::test;
  if (argc != 2) {
    std::fputs("usage: window_screenshot OUTPUT.png\n", stderr);
    return 2;
  }
  QTemporaryDir ConfigHome;
  qputenv("XDG_CONFIG_HOME", ConfigHome.path().toUtf8());
  QApplication Application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");

  TWindowUnderTest Window;
  korvane::TForm1 &Form = Window.Form();
  const int Mp4 = Form.ComboOutputFormat->findText("MP4 - MPEG4 Video (*.mp4)");
  Form.ComboOutputFormat->setCurrentIndex(Mp4);
  emit Form.ComboOutputFormat->activated(Mp4);
  Form.EditOutputFolder->setText(WindowClips().Folder);
  AddFiles(Form, {WindowClips().Video2997, WindowClips().AudioOnly, WindowClips().Video25});
  QTest::qWait(300);
  if (!Form.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "window_screenshot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
