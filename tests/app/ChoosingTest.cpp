// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing what to convert of a row, as a person does it: the tracks kept
// and a subtitle burnt in, a time range, and the preview of the output's
// picture. Outputs are checked with ffprobe.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>

#include "FileListView.h"
#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "PreviewDialog.h"
#include "SizeTarget.h"
#include "TimeRangeDialog.h"
#include "TracksDialog.h"
#include "WindowFixture.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// 2 s at 25 fps with two sound tracks (eng, and fre titled "Commentary")
// and two text subtitles (ger, eng), each shown for a second.
const QString &TracksClip() {
  static QTemporaryDir Folder;
  static const QString Clip = [] {
    const QString Made = Folder.filePath("tracks.mkv");
    const QString Srt[2] = {Folder.filePath("ger.srt"), Folder.filePath("eng.srt")};
    for (const QString &Name : Srt) {
      QFile File(Name);
      if (!File.open(QIODevice::WriteOnly) || File.write("1\n00:00:00,200 --> 00:00:01,200\nHallo\n") <= 0)
        qFatal("cannot write the subtitles");
    }
    if (!RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i sine=f=440:duration=2 "
            "-f lavfi -i sine=f=660:duration=2 -i \"" +
            Srt[0].toStdString() + "\" -i \"" + Srt[1].toStdString() +
            "\" -map 0 -map 1 -map 2 -map 3 -map 4 -c:v libx264 -c:a aac -c:s srt "
            "-metadata:s:a:0 language=eng -metadata:s:a:1 language=fre -metadata:s:a:1 title=Commentary "
            "-metadata:s:s:0 language=ger -metadata:s:s:1 language=eng \"" +
            Made.toStdString() + "\""))
      qFatal("cannot make the tracks clip");
    return Made;
  }();
  return Clip;
}

const QString H264 = "MP4 - H.264 Video, AAC Audio (*.mp4)";

QString AccessibleName(QObject *Object) {
  QAccessibleInterface *Interface = QAccessible::queryAccessibleInterface(Object);
  return Interface ? Interface->text(QAccessible::Name) : QString();
}

// Every control of Dialog a person can reach by the keyboard has a name
// a screen reader can say.
void EveryControlIsNamed(QWidget *Dialog) {
  for (QWidget *Widget : Dialog->findChildren<QWidget *>())
    if (Widget->isVisible() && Widget->focusPolicy() & Qt::TabFocus)
      QVERIFY2(!AccessibleName(Widget).isEmpty(), qPrintable(Widget->objectName()));
}

// Selects Row of the list as a click does.
void SelectRow(TForm1 &Form, int Row) {
  Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(Row));
  Form.ListView1->topLevelItem(Row)->setSelected(true);
}

}  // namespace

class ChoosingTest : public QObject {
  Q_OBJECT

  QTemporaryDir Out;

  TForm1 &Prepare(TWindowUnderTest &Window, const QString &Format, const QStringList &Clips) {
    return PrepareRun(Window, Format, Out.path(), Clips);
  }

 private slots:
  void init() {
    ClearStoredSettings();
    QDir(Out.path()).removeRecursively();
    QDir().mkpath(Out.path());
  }

  // The Tracks dialog lists the row's tracks, is worked by the keyboard,
  // and its choice reaches the output: one sound track of two, the first
  // subtitle burnt in and so not kept, the second kept.
  void TracksAreChosenByTheKeyboard() {
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, H264, {TracksClip(), WindowClips().Video2997});
    QVERIFY(!Form.ButtonTracks->isEnabled());  // nothing selected yet
    SelectRow(Form, 1);
    // A file without subtitles offers nothing to burn in.
    Form.ButtonTracks->click();
    TTracksDialog &Dialog = *Form.TracksDialog;
    QTRY_VERIFY(Dialog.isVisible());
    QCOMPARE(Dialog.SubtitleBoxes.size(), 0);
    QCOMPARE(Dialog.ComboBurnIn->count(), 1);
    QVERIFY(!Dialog.ComboBurnIn->isEnabled());
    QTest::keyClick(&Dialog, Qt::Key_Escape);
    QTRY_VERIFY(!Dialog.isVisible());

    SelectRow(Form, 0);
    Form.Tracks1->trigger();
    QTRY_VERIFY(Dialog.isVisible());
    QCOMPARE(Dialog.AudioBoxes.size(), 2);
    QCOMPARE(Dialog.SubtitleBoxes.size(), 2);
    QCOMPARE(Dialog.AudioBoxes[0]->text(), QString("1: eng, aac, 1 channel"));
    QVERIFY2(
        Dialog.AudioBoxes[1]->text().contains("fre") && Dialog.AudioBoxes[1]->text().contains("Commentary"),
        qPrintable(Dialog.AudioBoxes[1]->text()));
    EveryControlIsNamed(&Dialog);
    // The focus starts on the first track; space unchecks it, and the
    // burn-in list is reached by its mnemonic.
    QCOMPARE(Dialog.focusWidget(), Dialog.AudioBoxes[0]);
    QTest::keyClick(Dialog.focusWidget(), Qt::Key_Space);
    QVERIFY(!Dialog.AudioBoxes[0]->isChecked());
    Dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Dialog));
    QTest::keyClick(&Dialog, Qt::Key_B, Qt::AltModifier);
    QCOMPARE(Dialog.focusWidget(), Dialog.ComboBurnIn);
    QTest::keyClick(Dialog.ComboBurnIn, Qt::Key_Down);
    QCOMPARE(Dialog.ComboBurnIn->currentIndex(), 1);
    // The burnt subtitle is not also kept as a track.
    QVERIFY(!Dialog.SubtitleBoxes[0]->isEnabled());
    QVERIFY(!Dialog.SubtitleBoxes[0]->isChecked());
    QTest::keyClick(Dialog.ComboBurnIn, Qt::Key_Return);
    QTRY_VERIFY(!Dialog.isVisible());
    const TRowChoices Kept = Form.ListView1->Choices(0);
    QCOMPARE(QString::fromStdString(Kept.AudioTracks), QString("2"));
    QCOMPARE(Kept.BurnSubtitle, 1);
    // Opened again, it shows the choice kept with the row.
    Form.ButtonTracks->click();
    QTRY_VERIFY(Dialog.isVisible());
    QVERIFY(!Dialog.AudioBoxes[0]->isChecked() && Dialog.AudioBoxes[1]->isChecked());
    QCOMPARE(Dialog.ComboBurnIn->currentIndex(), 1);
    Dialog.Buttons->button(QDialogButtonBox::Cancel)->click();

    Form.ListView1->SetChecked(1, false);
    ConvertAll(Form);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done", ""}));
    const TProbedFile P = ProbeFile(Out.filePath("tracks.mp4").toStdString());
    QVERIFY2(P.Errors.empty(), P.Errors.c_str());
    QCOMPARE(P.Count("audio"), 1);
    QCOMPARE(QString::fromStdString(P.Stream("audio")->at("tags.language")), QString("fre"));
    QCOMPARE(P.Count("subtitle"), 1);
    QCOMPARE(QString::fromStdString(P.Stream("subtitle")->at("tags.language")), QString("eng"));
  }

  // A range is checked as it is typed: past the end and reversed are
  // refused in the dialog with what is wrong; one kept shows in the
  // Duration column, is converted to its length, and leaves with its row.
  void ATimeRangeIsCheckedAndConverted() {
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, H264, {TracksClip()});
    const QString Whole = Form.ListView1->SubItem(0, siDuration);
    SelectRow(Form, 0);
    TTimeRangeDialog &Dialog = *Form.TimeRangeDialog;
    struct TTyped {
      const char *Start, *End;
      const char *Problem;  // in the refusal; none: kept
      QLineEdit *TTimeRangeDialog::*Focus;
    };
    const TTyped Rows[] = {
        {"3", "", "is past the end of the file", &TTimeRangeDialog::EditStart},
        {"0", "0:00:05", "is past the end of the file", &TTimeRangeDialog::EditEnd},
        {"1.5", "0.5", "must come after the start", &TTimeRangeDialog::EditEnd},
        {"1,5", "", "is not a time", &TTimeRangeDialog::EditStart},
        {"0:00:00.500", "1.5", nullptr, nullptr},
    };
    Form.TimeRange1->trigger();
    QTRY_VERIFY(Dialog.isVisible());
    EveryControlIsNamed(&Dialog);
    for (const TTyped &Row : Rows) {
      QVERIFY(Dialog.isVisible());
      Dialog.EditStart->setText(Row.Start);
      Dialog.EditEnd->setText(Row.End);
      QTest::keyClick(Dialog.EditEnd, Qt::Key_Return);
      if (!Row.Problem) break;
      QVERIFY2(Dialog.LabelProblem->isVisible() && Dialog.LabelProblem->text().contains(Row.Problem),
               qPrintable(Dialog.LabelProblem->text()));
      QCOMPARE(Dialog.focusWidget(), Dialog.*Row.Focus);
      QCOMPARE(Form.ListView1->SubItem(0, siDuration), Whole);  // nothing kept yet
    }
    QTRY_VERIFY(!Dialog.isVisible());
    QCOMPARE(Form.ListView1->SubItem(0, siDuration), QString("00:00:00.500-00:00:01.500"));

    ConvertAll(Form);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done"}));
    const TProbedFile P = ProbeFile(Out.filePath("tracks.mp4").toStdString());
    QVERIFY2(P.Errors.empty(), P.Errors.c_str());
    // One second within a frame: the pictures' length (the sound's last
    // block may run a little longer).
    QVERIFY2(std::abs(Number(P.Stream("video"), "duration") - 1.0) <= 0.041,
             P.Stream("video")->at("duration").c_str());

    // The range goes with its row: the file added again is whole.
    Form.ButtonRemove->click();
    QCOMPARE(Form.ListView1->RowCount(), 0);
    AddFiles(Form, {TracksClip()});
    QCOMPARE(Form.ListView1->SubItem(0, siDuration), Whole);
    QCOMPARE(Form.ListView1->Choices(0).EndMs, int64_t(-1));
  }

  // The "Estimated Size" column: a rate's size at once, by arithmetic; a
  // quality step's from samples coded in the background ("..." meanwhile),
  // made once for a file and its choices (a second row of the file, and a
  // profile chosen again, find it made), made again for a row's new range,
  // never made for a row removed meanwhile, "Unknown" with why where there
  // can be none, and beside the output's size once converted.
  void TheEstimatedSizeFollowsTheChoices() {
    const QString TenSeconds = QString::fromStdString(MediaClips().TenSeconds);
    const QString Unknown = QString::fromStdString(MediaClips().UnknownDuration);
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, "MP4 - MPEG4 Video (*.mp4)", {TenSeconds, WindowClips().Broken, Unknown});
    TFileListView &List = *Form.ListView1;
    const TSizeEstimator &Estimator = *Form.Estimator();
    const auto Shown = [&](int Row) { return List.SubItem(Row, siEstimate); };
    const auto Spoken = [&](int Row) {
      return List.model()->index(Row, 1 + siEstimate).data(Qt::AccessibleTextRole).toString();
    };
    QTRY_VERIFY(Shown(0).startsWith("about "));
    QTRY_COMPARE_WITH_TIMEOUT(Shown(2), QString("Unknown"), 30000);
    QVERIFY2(List.topLevelItem(2)->toolTip(1 + siEstimate).contains("not known"),
             qPrintable(List.topLevelItem(2)->toolTip(1 + siEstimate)));
    QCOMPARE(Shown(1), QString());  // a file that could not be read
    int Made = Estimator.Made();

    ChooseFormat(Form, H264);
    QTRY_COMPARE(Shown(0), QString("..."));
    QCOMPARE(Spoken(0), QString("Estimating"));
    QTRY_VERIFY_WITH_TIMEOUT(Shown(0).startsWith("about "), 120000);
    const QString Sampled = Shown(0);
    QTRY_VERIFY_WITH_TIMEOUT(!Estimator.Busy(), 30000);
    QCOMPARE(Estimator.Made(), Made += 2);  // the two files whose length is known or not

    AddFiles(Form, {TenSeconds});
    QTRY_COMPARE(Shown(3), Sampled);
    ChooseFormat(Form, "MP4 - MPEG4 Video (*.mp4)");
    QTRY_VERIFY(Shown(0) != Sampled);
    ChooseFormat(Form, H264);
    QTRY_COMPARE(Shown(0), Sampled);
    QCOMPARE(Estimator.Made(), Made);

    // A range of the first half: about half the size, made anew.
    SelectRow(Form, 0);
    Form.TimeRange1->trigger();
    QTRY_VERIFY(Form.TimeRangeDialog->isVisible());
    Form.TimeRangeDialog->EditStart->setText("0");
    Form.TimeRangeDialog->EditEnd->setText("5");
    QTest::keyClick(Form.TimeRangeDialog->EditEnd, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(Shown(0) != Sampled && Shown(0).startsWith("about "), 120000);
    const double Half = List.Estimate(0).Bytes / List.Estimate(3).Bytes;
    QVERIFY2(Half > 0.3 && Half < 0.7, qPrintable(QString::number(Half)));
    QCOMPARE(Estimator.Made(), ++Made);

    // A row removed while its estimate is made: it is given up.
    AddFiles(Form, {QString::fromStdString(MediaClips().LongHD)});
    QTRY_COMPARE(Shown(4), QString("..."));
    SelectRow(Form, 4);
    Form.ButtonRemove->click();
    QTRY_VERIFY_WITH_TIMEOUT(!Estimator.Busy(), 30000);
    QCOMPARE(Estimator.Made(), Made);

    // Converted, a row shows its output's size beside the estimate, which
    // came within a quarter of it. No sample is coded while files convert.
    for (int Row = 1; Row < List.RowCount(); ++Row) List.SetChecked(Row, false);
    Form.ButtonConvert->click();
    QVERIFY(Estimator.Paused());
    QTRY_VERIFY_WITH_TIMEOUT(RunOver(Form), 120000);
    QVERIFY(!Estimator.Paused());
    QCOMPARE(List.SubItem(0, siProgress), QString("Done"));
    const qint64 Written = QFileInfo(Out.filePath("ten-seconds.mp4")).size();
    QVERIFY2(Shown(0).startsWith(QString::fromStdString(ByteSizeText(double(Written))) + " (est. "),
             qPrintable(Shown(0)));
    const double Ratio = List.Estimate(0).Bytes / double(Written);
    QVERIFY2(Ratio > 0.75 && Ratio < 1.25, qPrintable(QString::number(Ratio)));

    // A size the file with no known length cannot be brought to.
    Form.ComboVideoBitrate->setCurrentIndex(Form.ComboVideoBitrate->findText("File Size: 10 MB"));
    QTRY_VERIFY(Shown(3).startsWith("about 9."));
    QTRY_COMPARE(Shown(2), QString("Unknown"));
    QVERIFY2(List.topLevelItem(2)->toolTip(1 + siEstimate).contains("no target size"),
             qPrintable(List.topLevelItem(2)->toolTip(1 + siEstimate)));
  }

  // The preview shows the picture the conversion makes, at the output's own
  // size: a 16:9 clip letterboxed into a 4:3 device's frame, and a clip shot
  // upright turned as the output turns it; the slider moves through the
  // file by the keyboard.
  void ThePreviewShowsTheOutputsPicture() {
    const struct {
      QString Format, Clip, Output;
      bool LetterBox;
    } Rows[] = {
        {"Apple TV H264 (320 x 240) (*.mp4)", QString::fromStdString(MediaClips().LongHD), "long-hd.mp4",
         true},
        {H264, QString::fromStdString(MediaClips().Portrait), "portrait.mp4", false},
    };
    for (const auto &Row : Rows) {
      init();
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, Row.Format, {Row.Clip});
      if (Row.LetterBox) Form.ComboLetterBox->setCurrentIndex(1);
      SelectRow(Form, 0);
      Form.ButtonPreview->click();
      TPreviewDialog &Dialog = *Form.PreviewDialog;
      QTRY_VERIFY(Dialog.isVisible());
      EveryControlIsNamed(&Dialog);
      QTRY_VERIFY_WITH_TIMEOUT(!Dialog.Picture().isNull(), 60000);
      QCOMPARE(Dialog.PictureMs(), int64_t(0));
      const QSize Shown = Dialog.Picture().size();
      if (Row.LetterBox) {
        // Black bands above and below the picture.
        QVERIFY(qGray(Dialog.Picture().pixel(Shown.width() / 2, 2)) < 20);
        QVERIFY(qGray(Dialog.Picture().pixel(Shown.width() / 2, Shown.height() / 2)) > 20);
      }
      QCOMPARE(Dialog.focusWidget(), Dialog.SliderTime);
      QTest::keyClick(Dialog.SliderTime, Qt::Key_Right);
      const int64_t Moved = Dialog.SliderTime->value();
      QVERIFY(Moved > 0);
      QTRY_VERIFY2_WITH_TIMEOUT(Dialog.PictureMs() == Moved && !Dialog.Busy(),
                                qPrintable(Dialog.LabelState->text()), 60000);
      QCOMPARE(Dialog.Picture().size(), Shown);
      QTest::keyClick(&Dialog, Qt::Key_Escape);
      QTRY_VERIFY(!Dialog.isVisible());

      ConvertAll(Form);
      QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done"}));
      const TProbedFile P = ProbeFile(Out.filePath(Row.Output).toStdString());
      QCOMPARE(Shown,
               QSize(int(Number(P.Stream("video"), "width")), int(Number(P.Stream("video"), "height"))));
    }
  }
};

KORVANE_WINDOW_TEST(ChoosingTest);
#include "ChoosingTest.moc"
