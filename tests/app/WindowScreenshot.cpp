// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the README's pictures of the main window: starts the real window on
// the display it is given (Xvfb in scripts/screenshot.sh), adds three clips
// made now through the Add Files dialog, starts converting them and saves
// the window as a PNG while the first row is under way. With a second name
// it then converts a good clip and a file that is not one, and saves the
// screen around the window with the failed row's reason in its hint. With
// a third it shows the preview of a wide film letterboxed into a 4:3
// device's frame, its time range set, and saves that dialog.
// Usage: window_screenshot OUTPUT.png [FAILED.png [PREVIEW.png]]
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <clocale>
#include <cstdio>

#include "DropDownCombo.h"
#include "FileListView.h"
#include "MediaFixtures.h"
#include "PreviewDialog.h"
#include "WindowFixture.h"

int main(int argc, char **argv) {
  using namespace korvane::test;
  if (argc < 2 || argc > 4) {
    std::fputs("usage: window_screenshot OUTPUT.png [FAILED.png [PREVIEW.png]]\n", stderr);
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
  Form.FFVCL.ResumeAllTasks();
  Form.FFVCL.StopAllTasks();
  if (argc == 2) return 0;

  // A failed row and why.
  Window.Messages.Answers = {korvane::TMessageAnswer::Yes};
  Form.ButtonStopConvert->click();
  Deadline.setRemainingTime(60000);
  while (Form.RunUnderWay() && !Deadline.hasExpired()) QTest::qWait(20);
  Form.ClearAllItems1->trigger();
  AddFiles(Form, {WindowClips().Video2997, WindowClips().Broken, WindowClips().AudioOnly});
  Form.ButtonConvert->click();
  Deadline.setRemainingTime(120000);
  while ((Form.RunUnderWay() || Form.TimerConvertAgain->isActive()) && !Deadline.hasExpired())
    QTest::qWait(20);
  Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(1));
  const QRect Cell = Form.ListView1->visualItemRect(Form.ListView1->topLevelItem(1));
  // From the start of the row, so that the whole reason is inside the picture.
  const int X = Form.ListView1->columnViewportPosition(0) + 40;
  QToolTip::showText(Form.ListView1->viewport()->mapToGlobal(QPoint(X, Cell.center().y())),
                     Form.ListView1->Reason(1), Form.ListView1->viewport());
  QTest::qWait(500);
  const QRect Around = Form.frameGeometry();
  if (!Form.screen()
           ->grabWindow(0, Around.x(), Around.y(), Around.width(), Around.height())
           .save(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "window_screenshot: cannot write %s\n", argv[2]);
    return 1;
  }
  if (argc == 3) return 0;

  // The preview of a wide film in a 4:3 device's frame.
  QToolTip::hideText();
  Form.ClearAllItems1->trigger();
  const QString Wide = WindowClips().Folder + "/wide-holiday.mkv";
  if (!RunFFmpeg("-f lavfi -i testsrc2=size=1280x720:rate=25:duration=20 -c:v libx264 -preset ultrafast \"" +
                 Wide.toStdString() + "\""))
    return 1;
  const int Device = Form.ComboOutputFormat->findText("Apple TV H264 (320 x 240) (*.mp4)");
  Form.ComboOutputFormat->setCurrentIndex(Device);
  emit Form.ComboOutputFormat->activated(Device);
  Form.ComboLetterBox->setCurrentIndex(1);
  AddFiles(Form, {Wide});
  Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(0));
  Form.ButtonPreview->click();
  korvane::TPreviewDialog &Preview = *Form.PreviewDialog;
  Preview.SliderTime->setValue(7500);
  Deadline.setRemainingTime(60000);
  while ((Preview.PictureMs() != 7500 || Preview.Busy()) && !Deadline.hasExpired()) QTest::qWait(20);
  QTest::qWait(300);
  if (!Preview.grab().save(QString::fromLocal8Bit(argv[3]))) {
    std::fprintf(stderr, "window_screenshot: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
