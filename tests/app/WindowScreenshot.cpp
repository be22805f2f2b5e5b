// Makes the README's picture of the main window: starts the real window on
// the display it is given (Xvfb in scripts/screenshot.sh), adds three clips
// made now through the Add Files dialog, starts converting them and saves
// the window as a PNG while the first row is under way.
// Usage: window_screenshot OUTPUT.png
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <clocale>
#include <cstdio>

#include "DropDownCombo.h"
#include "FileListView.h"
#include "MediaFixtures.h"
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
  const int Format = Form.ComboOutputFormat->findText("MKV - Matroska Video, every track (*.mkv)");
  Form.ComboOutputFormat->setCurrentIndex(Format);
  emit Form.ComboOutputFormat->activated(Format);
  const QString Film = WindowClips().Folder + "/holiday.avi";
  if (!RunFFmpeg(
          "-f lavfi -i testsrc2=size=640x480:rate=25:duration=60 -f lavfi -i sine=frequency=440:duration=60 "
          "-c:v mpeg4 -q:v 4 -c:a mp2 -shortest \"" +
          Film.toStdString() + "\""))
    return 1;
  QTemporaryDir Out;
  Form.EditOutputFolder->setText(Out.path());
  AddFiles(Form, {Film});
  AddFiles(Form, {WindowClips().Video2997, WindowClips().AudioOnly});
  Form.ButtonConvert->click();
  // A third of the way through the first row.
  QDeadlineTimer Deadline(120000);
  while (Form.ListView1->SubItem(0, korvane::siProgress).remove('%').toInt() < 30 && !Deadline.hasExpired())
    QTest::qWait(20);
  Form.FFVCL.PauseAllTasks();
  QTest::qWait(300);
  if (!Form.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "window_screenshot: cannot write %s\n", argv[1]);
    return 1;
  }
  Form.FFVCL.StopAllTasks();
  return 0;
}
