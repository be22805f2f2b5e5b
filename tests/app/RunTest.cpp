// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion runs in the real window with the real component: rows checked,
// converted one after another and named, progress, stop, the letterbox, and
// files that fail. Outputs are checked with ffprobe and ffmpeg.
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include "AdditionalOptions.h"
#include "DropDownCombo.h"
#include "FileListView.h"
#include "LogWindow.h"
#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "SizeTarget.h"
#include "WindowFixture.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// Clips only these tests need.
struct TRunClips {
  QString Long;        // 20 s, 480x360 with sound: seconds to convert to H.264 (SlowProfile)
  QString Wide;        // 16:9 pictures (640x360), 1 s
  QString Anamorphic;  // 352x288 stored, shown 16:9 (sample aspect 16:11), 1 s
  QString Unknown;     // 12 s of Matroska written to a pipe: its length is unknown
  QString Tracks;      // Matroska from the web: two sound tracks (eng, fre) and subtitles (ger), 1 s
  QString OddHeight;   // 720x405 (16:9 in an odd height), 1 s
};

const TRunClips &RunClips() {
  static QTemporaryDir Folder;
  static const TRunClips Clips = [] {
    TRunClips C;
    C.Long = Folder.filePath("long.avi");
    C.Wide = Folder.filePath("wide.mp4");
    C.Anamorphic = Folder.filePath("anamorphic.avi");
    // Named as the dialog offers it; the content is what counts.
    C.Unknown = Folder.filePath("unknown.mpg");
    C.Tracks = Folder.filePath("tracks.mkv");
    C.OddHeight = Folder.filePath("odd-height.avi");
    const QString Subtitles = Folder.filePath("tracks.srt");
    QFile Srt(Subtitles);
    if (!Srt.open(QIODevice::WriteOnly) || Srt.write("1\n00:00:00,100 --> 00:00:00,900\nHallo\n") <= 0)
      qFatal("cannot write the subtitles");
    Srt.close();
    const bool Made =
        RunFFmpeg(
            "-f lavfi -i testsrc=size=480x360:rate=25:duration=20 -f lavfi -i sine=frequency=440:duration=20 "
            "-c:v mpeg4 -q:v 5 -c:a mp2 -shortest \"" +
            C.Long.toStdString() + "\"") &&
        RunFFmpeg("-f lavfi -i testsrc=size=640x360:rate=25:duration=1 -c:v mpeg4 -q:v 2 \"" +
                  C.Wide.toStdString() + "\"") &&
        RunFFmpeg("-f lavfi -i testsrc=size=352x288:rate=25:duration=1,setsar=16/11 -c:v mpeg4 -q:v 2 \"" +
                  C.Anamorphic.toStdString() + "\"") &&
        RunFFmpeg("-f lavfi -i testsrc=size=720x405:rate=25:duration=1 -c:v mpeg4 -q:v 4 \"" +
                  C.OddHeight.toStdString() + "\"") &&
        RunCommand(
            "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=12 -c:v mpeg4 -f matroska "
            "pipe:1 > \"" +
            C.Unknown.toStdString() + "\"")
                .Status == 0 &&
        RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine=f=440 -f lavfi -i sine=f=660 -i \"" +
            Subtitles.toStdString() +
            "\" -map 0 -map 1 -map 2 -map 3 -t 1 -c:v libx264 -c:a aac -c:s srt -metadata:s:a:0 language=eng "
            "-metadata:s:a:1 language=fre -metadata:s:s:0 language=ger \"" +
            C.Tracks.toStdString() + "\"");
    if (!Made) qFatal("cannot make the run clips");
    return C;
  }();
  return Clips;
}

// A profile that encodes H.264: the long clip takes seconds with it, long
// enough to press stop while it runs.
const QString SlowProfile = "Apple TV H264 (320 x 240) (*.mp4)";

QStringList Files(const QString &Folder) { return QDir(Folder).entryList(QDir::Files, QDir::Name); }
// Everything in Folder, hidden files and folders too.
QStringList Everything(const QString &Folder) {
  return QDir(Folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QString SizeText(qint64 Bytes) { return QString::fromStdString(ByteSizeText(double(Bytes))); }

// Fails the test program instead of letting a deadlock hang it.
class TWatchdog {
 public:
  explicit TWatchdog(std::chrono::seconds Limit)
      : FThread([this, Limit] {
          std::unique_lock Guard(FLock);
          if (!FDisarmed.wait_for(Guard, Limit, [this] { return FDone; })) {
            std::fputs("watchdog: the window did not come back within its time: deadlock\n", stderr);
            std::_Exit(3);
          }
        }) {}
  ~TWatchdog() {
    {
      std::lock_guard Guard(FLock);
      FDone = true;
    }
    FDisarmed.notify_all();
    FThread.join();
  }

 private:
  std::mutex FLock;
  std::condition_variable FDisarmed;
  bool FDone = false;
  std::thread FThread;
};

// Lines of a decoded picture's brightness: the mean of each pixel row of
// the first frame, as the ffmpeg program decodes it.
std::vector<double> RowBrightness(const QString &File, int Width, int Height) {
  const TCommandResult Raw = RunCommand("ffmpeg -v error -i \"" + File.toStdString() +
                                        "\" -frames:v 1 -f rawvideo -pix_fmt gray pipe:1");
  std::vector<double> Rows;
  if (Raw.Status != 0 || Raw.Output.size() != size_t(Width) * Height) return Rows;
  for (int Y = 0; Y < Height; ++Y) {
    double Sum = 0;
    for (int X = 0; X < Width; ++X) Sum += static_cast<unsigned char>(Raw.Output[size_t(Y) * Width + X]);
    Rows.push_back(Sum / Width);
  }
  return Rows;
}

}  // namespace

class RunTest : public QObject {
  Q_OBJECT

  QTemporaryDir Out;

  TForm1 &Prepare(TWindowUnderTest &Window, const QString &Format, const QStringList &Clips) {
    return PrepareRun(Window, Format, Out.path(), Clips);
  }

 private slots:
  void init() {
    ClearStoredSettings();  // one file at a time unless a test says otherwise
    QDir(Out.path()).removeRecursively();
    QDir().mkpath(Out.path());
  }

  // A video clip, a sound clip and a file that cannot be read: two playable
  // outputs, a "Fail" row, one completion message, an unlocked window.
  void ConvertsTheCheckedRows() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form =
        Prepare(Window, "MP4 - MPEG4 Video (*.mp4)", {Clips.Video2997, Clips.AudioOnly, Clips.Broken});
    ConvertAll(Form);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done", "Done", "Fail"}));
    QCOMPARE(Window.Messages.Texts(),
             QStringList({"Conversions finished: 2 converted, 1 failed, 0 stopped."}));
    // The failed row says why, as korvane-convert would: in its tool tip, its
    // accessible description and its log.
    const QString Reason = Form.ListView1->Reason(2);
    QCOMPARE(Reason, Clips.Broken + ": Unknown format");
    const QModelIndex Cell = Form.ListView1->model()->index(2, 1 + siProgress);
    QCOMPARE(Cell.data(Qt::AccessibleDescriptionRole).toString(), Reason);
    // Show Log: a window of its own, within the screen however long the
    // log, the reason on top in plain words, the engine's lines below it
    // (scrolled), and Copy and Close.
    for (int Line = 0; Line < 300; ++Line) Form.ListView1->AppendLog(2, QString("line %1").arg(Line));
    Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(2));
    Form.ShowLog1->trigger();
    TLogWindow &Log = *Form.LogWindow;
    QVERIFY(QTest::qWaitForWindowExposed(&Log));
    QCOMPARE(Window.Messages.Shown.size(), size_t(1));
    QCOMPARE(Log.LabelFile->text(), Clips.Broken);
    QCOMPARE(Log.LabelReason->text(), "Not converted.\n\n" + Reason);
    QVERIFY(Log.MemoLog->toPlainText().endsWith("line 299"));
    QVERIFY(Log.MemoLog->verticalScrollBar()->maximum() > 0);
    QVERIFY2(Log.screen()->availableGeometry().contains(Log.frameGeometry()),
             qPrintable(QString("%1x%2").arg(Log.frameGeometry().width()).arg(Log.frameGeometry().height())));
    QVERIFY(Log.maximumHeight() > Log.height() && Log.minimumHeight() < Log.height());
    QVERIFY(Log.ButtonClose->isDefault());
    QTest::mouseClick(Log.ButtonCopy, Qt::LeftButton);
    QVERIFY(QApplication::clipboard()->text().contains(Reason));
    QVERIFY(QApplication::clipboard()->text().contains("line 299"));
    QTest::mouseClick(Log.ButtonClose, Qt::LeftButton);
    QVERIFY(!Log.isVisible());
    Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(0));
    Form.ShowLog1->trigger();
    QCOMPARE(Log.LabelReason->text(), QString("Converted."));
    QVERIFY2(Log.MemoLog->toPlainText().contains("Stream mapping:"), qPrintable(Log.MemoLog->toPlainText()));
    Log.close();
    QCOMPARE(Window.Messages.Shown[0].Caption, QString("Information"));
    QCOMPARE(Window.Messages.Shown[0].Action, QString("Open Output Folder"));
    QVERIFY(Form.ButtonConvert->isEnabled());
    QVERIFY(Form.ComboOutputFormat->isEnabled());
    QVERIFY(Form.MenuFile->menuAction()->isEnabled());
    // The bars keep the end, not the last file's size or an empty bar.
    QCOMPARE(Form.ProgressBar1->value(), 100);
    QCOMPARE(Form.StatusPanel[1]->text(), QString("Conversions finished: 2 converted, 1 failed, 0 stopped."));
    QCOMPARE(Form.StatusPanel[2]->text(), QString());
    QCOMPARE(Files(Out.path()), QStringList({"a-clip2997.mp4", "d-song.mp4"}));
    // The end tells what the files converted weighed before and after, and
    // each row its output's size beside the size it was expected to have.
    const qint64 Before = QFileInfo(Clips.Video2997).size() + QFileInfo(Clips.AudioOnly).size();
    const qint64 Written = QFileInfo(Out.filePath("a-clip2997.mp4")).size();
    const qint64 After = Written + QFileInfo(Out.filePath("d-song.mp4")).size();
    QCOMPARE(Window.Messages.Shown[0].Details,
             QString("2 files, %1 \u2192 %2 (%3 %4)")
                 .arg(SizeText(Before), SizeText(After), SizeText(std::abs(After - Before)),
                      After > Before ? "added" : "saved"));
    QVERIFY2(Form.ListView1->SubItem(0, siEstimate).startsWith(SizeText(Written) + " (est. "),
             qPrintable(Form.ListView1->SubItem(0, siEstimate)));
    QCOMPARE(Form.ListView1->SubItem(2, siEstimate), QString());

    const TProbedFile Video = ProbeFile(Out.filePath("a-clip2997.mp4").toStdString());
    QVERIFY2(Video.Errors.empty(), Video.Errors.c_str());
    QVERIFY(Video.Stream("video") && Video.Stream("audio"));
    QCOMPARE(QString::fromStdString(Video.Stream("video")->at("codec_name")), QString("mpeg4"));
    QCOMPARE(QString::fromStdString(Video.Stream("audio")->at("codec_name")), QString("aac"));
    QCOMPARE(Number(Video.Stream("video"), "width"), 320.0);
    QCOMPARE(Number(Video.Stream("video"), "height"), 240.0);
    QVERIFY(std::abs(Number(&Video.Format, "duration") - 2.0) < 0.15);
    const TProbedFile Sound = ProbeFile(Out.filePath("d-song.mp4").toStdString());
    QCOMPARE(Sound.Count("video"), 0);
    QCOMPARE(QString::fromStdString(Sound.Stream("audio")->at("codec_name")), QString("aac"));
    QVERIFY(std::abs(Number(&Sound.Format, "duration") - 1.0) < 0.15);
    for (const char *Name : {"a-clip2997.mp4", "d-song.mp4"}) {
      const std::string Errors = DecodeErrors(Out.filePath(Name).toStdString());
      QVERIFY2(Errors.empty(), Errors.c_str());
    }
  }

  // Two files at once, as Additional Options allows: both lanes start at
  // once, each row ends in its own text, the status bar names the files and
  // says "Ready" after, and every output plays.
  void TwoFilesAtOnce() {
    if (std::thread::hardware_concurrency() < 2) QSKIP("one core: one file at a time");
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, "MP4 - MPEG4 Video (*.mp4)",
                           {Clips.Video2997, Clips.Video25, Clips.Broken, Clips.AudioOnly});
    Form.Form4->SpinEditFilesAtOnce->setValue(2);
    Form.ButtonConvert->click();
    QCOMPARE(Form.Run().LaneRow(0), 0);
    QCOMPARE(Form.Run().LaneRow(1), 1);
    QVERIFY2(
        Form.StatusPanel[0]->toolTip().contains("clip2997") && Form.StatusPanel[0]->toolTip().contains(", "),
        qPrintable(Form.StatusPanel[0]->toolTip()));
    QCOMPARE(Form.StatusPanel[2]->text(), QString("files 1, 2 of 4"));
    QTRY_VERIFY_WITH_TIMEOUT(RunOver(Form), 180000);
    QTest::qWait(50);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done", "Done", "Fail", "Done"}));
    QCOMPARE(Window.Messages.Texts(),
             QStringList({"Conversions finished: 3 converted, 1 failed, 0 stopped."}));
    QCOMPARE(Form.StatusPanel[0]->text(), QString("Ready"));
    QCOMPARE(Form.StatusPanel[1]->text(), QString("Conversions finished: 3 converted, 1 failed, 0 stopped."));
    const QStringList Outputs = Files(Out.path());
    QCOMPARE(Outputs.size(), 3);
    for (const QString &Name : Outputs) {
      const std::string Errors = DecodeErrors(Out.filePath(Name).toStdString());
      QVERIFY2(Errors.empty(), Errors.c_str());
    }
  }

  // An MKV from the web and a phone's clip shot upright through "every
  // track": the list says MKV, the channel choice offers "Original", the
  // MKV keeps both sound tracks with their languages and the subtitles, and
  // the phone's clip stands upright.
  void EveryTrackOfAnMkvIsKept() {
    const TRunClips &Clips = RunClips();
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, "MKV - Matroska Video, every track (*.mkv)",
                           {Clips.Tracks, QString::fromStdString(MediaClips().Portrait)});
    QCOMPARE(Form.ListView1->SubItem(0, siOutput), QString("MKV"));
    QCOMPARE(Form.ComboAudioChannels->count(), 3);
    QCOMPARE(Form.ComboAudioChannels->currentText(), QString("Original"));
    ConvertAll(Form);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done", "Done"}));
    const TProbedFile Upright = ProbeFile(Out.filePath("portrait.mkv").toStdString());
    QCOMPARE(Number(Upright.Stream("video"), "width"), 180.0);
    QCOMPARE(Number(Upright.Stream("video"), "height"), 320.0);
    QVERIFY(!Upright.Stream("video")->count("side_data_list.side_data.0.side_data_type"));
    const TProbedFile P = ProbeFile(Out.filePath("tracks.mkv").toStdString());
    QVERIFY2(P.Errors.empty(), P.Errors.c_str());
    QCOMPARE(P.Count("video"), 1);
    QCOMPARE(P.Count("audio"), 2);
    QCOMPARE(P.Count("subtitle"), 1);
    QCOMPARE(QString::fromStdString(P.Streams[1].at("tags.language")), QString("eng"));
    QCOMPARE(QString::fromStdString(P.Streams[2].at("tags.language")), QString("fre"));
    QCOMPARE(QString::fromStdString(P.Streams[3].at("tags.language")), QString("ger"));
  }

  // The copy leaves out what it cannot do: the volume, the letterbox and
  // the channels chosen for another profile do not fail it, the streams
  // come out as they are, and that profile gets its choices back after.
  void TheCopyLeavesOutWhatItCannotDo() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, "MP4 - MPEG4 Video (*.mp4)", {Clips.Video2997});
    Form.TrackBar1->setValue(7);  // 140%
    Form.ComboLetterBox->setCurrentIndex(1);
    ChooseFormat(Form, "MKV - Copy every stream, no re-encoding (*.mkv)");
    ConvertAll(Form);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done"}));
    const TProbedFile Copy = ProbeFile(Out.filePath("a-clip2997.mkv").toStdString());
    QVERIFY2(Copy.Errors.empty(), Copy.Errors.c_str());
    QCOMPARE(QString::fromStdString(Copy.Stream("video")->at("codec_name")), QString("mpeg4"));
    QCOMPARE(QString::fromStdString(Copy.Stream("audio")->at("codec_name")), QString("aac"));
    QCOMPARE(Number(Copy.Stream("video"), "height"), 240.0);
    ChooseFormat(Form, "MP4 - MPEG4 Video (*.mp4)");
    QCOMPARE(Form.LabelVolume->text(), QString("140%"));
    QCOMPARE(Form.ComboLetterBox->currentText(), QString("LetterBox"));
  }

  // Outputs take the input's name, made unique unless overwriting is on,
  // in the folder tree of their files when it is kept.
  void OutputNamesAreUnique() {
    const TWindowClips &Clips = WindowClips();
    {
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, "MP3 - Mpeg Layer3 Audio (*.mp3)", {Clips.AudioOnly});
      AddFiles(Form, {Clips.AudioOnly});
      ConvertAll(Form);
      QCOMPARE(Files(Out.path()), QStringList({"d-song-1.mp3", "d-song.mp3"}));
      ConvertAll(Form);
      QCOMPARE(Files(Out.path()),
               QStringList({"d-song-1.mp3", "d-song-2.mp3", "d-song-3.mp3", "d-song.mp3"}));
    }
    init();
    {
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, "MP3 - Mpeg Layer3 Audio (*.mp3)", {Clips.AudioOnly});
      AddFiles(Form, {Clips.AudioOnly});
      Form.Form4->CheckBoxOverWrite->setChecked(true);
      QFile Old(Out.filePath("d-song.mp3"));
      QVERIFY(Old.open(QIODevice::WriteOnly));
      Old.write("an older file");
      Old.close();
      ConvertAll(Form);
      QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done", "Done"}));
      QCOMPARE(Files(Out.path()), QStringList({"d-song.mp3"}));
      const std::string Errors = DecodeErrors(Out.filePath("d-song.mp3").toStdString());
      QVERIFY2(Errors.empty(), Errors.c_str());
    }
    init();
    {
      // With "Keep folder structure" a folder's files of one name go to
      // their own folders below the output folder; with "Skip files
      // converted already" a second run converts nothing.
      QTemporaryDir Tree;
      QDir(Tree.path()).mkpath("trip/day2");
      QVERIFY(QFile::copy(Clips.AudioOnly, Tree.filePath("trip/song.mp3")));
      QVERIFY(QFile::copy(Clips.AudioOnly, Tree.filePath("trip/day2/song.mp3")));
      TWindowUnderTest Window;
      TForm1 &Form = Window.Form();
      ChooseFormat(Form, "MP3 - Mpeg Layer3 Audio (*.mp3)");
      Form.EditOutputFolder->setText(Out.path());
      Form.Form4->CheckBoxKeepFolders->setChecked(true);
      Form.Form4->CheckBoxSkipExisting->setChecked(true);
      Form.AddPaths({Tree.filePath("trip")});
      QTRY_VERIFY_WITH_TIMEOUT(!Form.Adding(), 10000);
      ConvertAll(Form);
      QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done", "Done"}));
      QCOMPARE(Files(Out.filePath("day2")), QStringList({"song.mp3"}));
      QCOMPARE(Files(Out.path()), QStringList({"song.mp3"}));
      ConvertAll(Form);
      QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Skipped", "Skipped"}));
      QCOMPARE(Form.ListView1->Reason(0), "Converted already: " + Out.filePath("day2/song.mp3"));
      QCOMPARE(
          Window.Messages.Texts().last(),
          QString("Conversions finished: 0 converted, 0 failed, 0 stopped, 2 skipped (converted already)."));
      QCOMPARE(Files(Out.path()), QStringList({"song.mp3"}));
    }
  }

  // A row whose bit rate is a "File Size" item is coded in two passes and
  // lands at or under the size; its tries go with the run, and a stop in
  // any pass leaves no output. A file whose length is not known is refused
  // before any work, by name and with why.
  void ARowAimedAtASizeFitsIt() {
    const TRunClips &Clips = RunClips();
    const QString Profile = "MP4 - H.264 Video, AAC Audio (*.mp4)";
    {
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, Profile, {Clips.Long, Clips.Unknown});
      Form.ComboVideoBitrate->setCurrentIndex(Form.ComboVideoBitrate->findText("File Size: 10 MB"));
      Form.ButtonConvert->click();
      QCOMPARE(Window.Messages.Shown.size(), size_t(1));
      const QString Refused = Window.Messages.Texts().first();
      QVERIFY2(Refused.startsWith(QString(TConversionRun::SizeRefusedText) + "\n" + Clips.Unknown + ": ") &&
                   Refused.contains("not known") && !Refused.contains(Clips.Long),
               qPrintable(Refused));
      QVERIFY(!Form.RunUnderWay());
      QVERIFY(Everything(Out.path()).isEmpty());
      Form.ListView1->SetChecked(1, false);
      ConvertAll(Form);
      QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done", ""}));
      QCOMPARE(Everything(Out.path()), QStringList({"long.mp4"}));
      const std::string Output = Out.filePath("long.mp4").toStdString();
      const TProbedFile Sized = ProbeFile(Output);
      QVERIFY2(Sized.Errors.empty(), Sized.Errors.c_str());
      QCOMPARE(QString::fromStdString(Sized.Stream("video")->at("codec_name")), QString("h264"));
      QCOMPARE(QString::fromStdString(Sized.Stream("audio")->at("codec_name")), QString("aac"));
      QVERIFY(std::abs(Number(&Sized.Format, "duration") - 20.0) < 0.5);
      QVERIFY2(Number(&Sized.Format, "size") <= 10 * 1024 * 1024, Sized.Format.at("size").c_str());
      QVERIFY2(Form.ListView1->Log(0).filter("Size: 2 passes").size() == 1,
               qPrintable(Form.ListView1->Log(0).join("\n")));
      const std::string Errors = DecodeErrors(Output);
      QVERIFY2(Errors.empty(), Errors.c_str());
    }
    init();
    {
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, Profile, {Clips.Long});
      Form.ComboVideoBitrate->setCurrentIndex(Form.ComboVideoBitrate->findText("File Size: 10 MB"));
      Form.ButtonConvert->click();
      QTRY_VERIFY_WITH_TIMEOUT(Form.ListView1->SubItem(0, siProgress).endsWith('%'), 60000);
      Window.Messages.Answers = {TMessageAnswer::Yes};
      Form.ButtonStopConvert->click();
      QTRY_COMPARE_WITH_TIMEOUT(Form.ListView1->SubItem(0, siProgress), QString("Abort"), 30000);
      QTRY_COMPARE_WITH_TIMEOUT(Everything(Out.path()), QStringList(), 5000);
    }
  }

  // Check boxes are read when the queue reaches a row.
  void UncheckedRowsAreSkipped() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form =
        Prepare(Window, "WAV - Waveform Audio (*.wav)", {Clips.AudioOnly, Clips.Video2997, Clips.Video2398});
    Form.ListView1->SetChecked(2, false);  // an unchecked last row
    Form.ButtonConvert->click();
    Form.ListView1->SetChecked(1, false);  // unchecked while row 0 converts
    QTRY_VERIFY_WITH_TIMEOUT(RunOver(Form), 120000);
    QTest::qWait(50);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done", "", ""}));
    QCOMPARE(Files(Out.path()), QStringList({"d-song.wav"}));
    QCOMPARE(Window.Messages.Texts(), QStringList({"All Conversions Completed"}));
  }

  // Stop pauses and asks: No lets the task finish. Yes stops it: the status
  // says "Stopping..." and the window stays locked until the task has
  // ended, its part of the output complete (ffprobe reads it, index and
  // all); then the row says "Abort", the end message counts it as stopped
  // and the window is free.
  void StopAsksFirst() {
    const TRunClips &Clips = RunClips();
    {
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, SlowProfile, {Clips.Long});
      Form.ButtonConvert->click();
      QTRY_VERIFY_WITH_TIMEOUT(!Form.ListView1->SubItem(0, siProgress).isEmpty(), 60000);
      QVERIFY2(Form.ListView1->SubItem(0, siProgress).endsWith('%'),
               qPrintable(Form.ListView1->SubItem(0, siProgress)));
      QString FramesWhileAsked;
      Window.Messages.WhileShown = [&](const TMessage &) {
        FramesWhileAsked = Form.ListView1->SubItem(0, siFrames);
      };
      Window.Messages.Answers = {TMessageAnswer::No};
      Form.ButtonStopSmall->click();
      QCOMPARE(Window.Messages.Shown.back().Caption, QString("Confirmation"));
      QCOMPARE(Window.Messages.Shown.back().Text, QString("Stop all conversions?"));
      QVERIFY(Window.Messages.Shown.back().Icon == TMessageIcon::Question);
      QVERIFY(Window.Messages.Shown.back().YesNo);
      QTRY_VERIFY_WITH_TIMEOUT(RunOver(Form), 180000);
      QTest::qWait(50);
      QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done"}));
      QCOMPARE(Window.Messages.Texts().last(), QString("All Conversions Completed"));
      const TProbedFile Whole = ProbeFile(Out.filePath("long.mp4").toStdString());
      QVERIFY(std::abs(Number(&Whole.Format, "duration") - 20.0) < 0.5);
    }
    init();
    {
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, SlowProfile, {Clips.Long});
      AddFiles(Form, {Clips.Long});
      QCOMPARE(Form.ListView1->RowCount(), 2);
      Form.ButtonConvert->click();
      QTRY_VERIFY_WITH_TIMEOUT(Form.ListView1->SubItem(0, siProgress).endsWith('%'), 60000);
      // What the window says from the stop on: status, row, Convert button.
      QStringList Seen;
      const auto Look = [&] {
        const QString Now = Form.StatusPanel[1]->text() + "|" + Form.ListView1->SubItem(0, siProgress) + "|" +
                            (Form.ButtonConvert->isEnabled() ? "free" : "locked");
        if (Seen.isEmpty() || Seen.last() != Now) Seen << Now;
      };
      QTimer Watch;
      connect(&Watch, &QTimer::timeout, this, Look);
      TProbedFile AtTheEnd;
      Window.Messages.WhileShown = [&](const TMessage &Message) {
        if (Message.YesNo) return;  // the question, not the end
        Look();
        AtTheEnd = ProbeFile(Out.filePath("long.mp4").toStdString());
      };
      Window.Messages.Answers = {TMessageAnswer::Yes};
      Form.ButtonStopConvert->click();
      Look();
      Watch.start(1);
      QVERIFY2(Seen.last().startsWith("Stopping...|") && Seen.last().endsWith("%|locked"),
               qPrintable(Seen.last()));
      Form.ButtonConvert->click();  // no second run while it stops
      QTRY_COMPARE_WITH_TIMEOUT(Window.Messages.Texts().size(), qsizetype(2), 30000);
      QTRY_VERIFY(Seen.last().endsWith("|free"));
      Watch.stop();
      QCOMPARE(
          Window.Messages.Texts(),
          QStringList({"Stop all conversions?", "Conversions finished: 0 converted, 0 failed, 1 stopped."}));
      const qsizetype Ended = Seen.indexOf("Conversions stopped|Abort|locked");
      QVERIFY2(Ended > 0 && Seen.size() == Ended + 2, qPrintable(Seen.join(", ")));
      for (qsizetype I = 0; I < Ended; ++I)
        QVERIFY2(Seen[I].startsWith("Stopping...|") && Seen[I].endsWith("%|locked"),
                 qPrintable(Seen.join(", ")));
      QCOMPARE(Form.StatusPanel[0]->text(), QString("Ready"));
      QCOMPARE(Form.ListView1->SubItem(1, siProgress), QString());
      QCOMPARE(Files(Out.path()), QStringList({"long.mp4"}));
      QVERIFY2(AtTheEnd.Errors.empty(), AtTheEnd.Errors.c_str());
      QVERIFY(AtTheEnd.Stream("video"));
      QVERIFY(Number(&AtTheEnd.Format, "duration") > 0 && Number(&AtTheEnd.Format, "duration") < 19.5);
      const std::string Errors = DecodeErrors(Out.filePath("long.mp4").toStdString());
      QVERIFY2(Errors.empty(), Errors.c_str());
    }
    init();
    {
      // The stopped row removed (with the Delete key) before its task's end
      // arrives: that end reaches no other row, and is counted.
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, SlowProfile, {Clips.Long});
      AddFiles(Form, {Clips.Long});
      Form.ButtonConvert->click();
      QTRY_VERIFY_WITH_TIMEOUT(Form.ListView1->SubItem(0, siProgress).endsWith('%'), 60000);
      Window.Messages.Answers = {TMessageAnswer::Yes};
      Form.ButtonStopConvert->click();
      Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(0));
      Form.DeleteSelectedItem1->trigger();
      QCOMPARE(Form.ListView1->RowCount(), 1);
      QTRY_COMPARE_WITH_TIMEOUT(Window.Messages.Texts().size(), qsizetype(2), 30000);
      QCOMPARE(Window.Messages.Texts().last(),
               QString("Conversions finished: 0 converted, 0 failed, 1 stopped."));
      QCOMPARE(Form.ListView1->SubItem(0, siProgress), QString());
    }
  }

  // Stop pressed again and again while progress comes as fast as the
  // component sends it: the window always comes back.
  void StopDuringProgressNeverDeadlocks() {
    const TRunClips &Clips = RunClips();
    TWatchdog Watchdog(std::chrono::seconds(60));
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, SlowProfile, {Clips.Long});
    Form.FFVCL.SetProgressInterval(0);  // as often as it allows
    for (int Round = 0; Round < 4; ++Round) {
      Window.Messages.Answers = {TMessageAnswer::No, TMessageAnswer::Yes};
      Form.ButtonConvert->click();
      QTRY_VERIFY_WITH_TIMEOUT(!Form.ListView1->SubItem(0, siFrames).isEmpty(), 30000);
      QTest::qWait(20 * Round);
      Form.ButtonStopConvert->click();  // No: it goes on
      Form.ButtonStopConvert->click();  // Yes: it stops
      QTRY_COMPARE_WITH_TIMEOUT(Form.ListView1->SubItem(0, siProgress), QString("Abort"), 30000);
      QVERIFY(RunOver(Form));
    }
  }

  // The three checks of "Convert Now !", with their captions and texts.
  void ConvertChecksItsInputs() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    Form.ButtonConvert->click();
    Form.ListView1->AddRow(WindowClips().AudioOnly, {" ", " ", "00:00:01", "3GP"});
    Form.EditOutputFolder->clear();
    AnswerFileDialog(Form.BrowseForFolder1, {});
    Form.Convert1->trigger();
    Form.EditOutputFolder->setText(Out.filePath("gone"));
    AnswerFileDialog(Form.BrowseForFolder1, {});
    Form.ButtonConvert->click();
    QCOMPARE(
        Window.Messages.Texts(),
        QStringList({"Please Add Files To Convert!", "Please select an output folder!",
                     "The output folder \"" + Out.filePath("gone") +
                         "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder."}));
    for (const TMessage &Message : Window.Messages.Shown) {
      QCOMPARE(Message.Caption, QString("Information"));
      QVERIFY(Message.Icon == TMessageIcon::Information);
      QVERIFY(!Message.YesNo);
    }
    QVERIFY(!Form.Converting());
    QVERIFY(Files(Out.path()).isEmpty());
  }

  // While a run is on: Clear and Add Files do nothing, the window refuses
  // to close; after it, it closes.
  void GuardsWhileConverting() {
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, SlowProfile, {RunClips().Long});
    // The window is active before the run starts, so that nothing waits
    // between the start and the keys while the file converts.
    Form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Form));
    Form.ButtonConvert->click();
    QVERIFY(Form.Converting());
    Form.ClearAllItems1->trigger();
    QCOMPARE(Form.ListView1->RowCount(), 1);
    QVERIFY(!Form.close());
    QVERIFY(Form.isVisible());
    // Escape asks to stop, as the stop buttons do.
    Window.Messages.Answers = {TMessageAnswer::Yes};
    QVERIFY2(Form.Converting(), qPrintable(Form.ListView1->SubItem(0, siProgress)));
    QTest::keyClick(&Form, Qt::Key_Escape);
    QCOMPARE(Window.Messages.Texts(),
             QStringList({"A conversion is running. Stop it and quit?", "Stop all conversions?"}));
    QTRY_COMPARE_WITH_TIMEOUT(Form.ListView1->SubItem(0, siProgress), QString("Abort"), 30000);
    QVERIFY(Form.close());
  }

  // Closing mid-run asks first; Yes stops the run, finishes the output so
  // far so that it plays, and closes.
  void ClosingMidRunAsksThenStopsAndCloses() {
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, SlowProfile, {RunClips().Long});
    Form.ButtonConvert->click();
    QTRY_VERIFY_WITH_TIMEOUT(Form.ListView1->SubItem(0, siProgress).endsWith('%'), 60000);
    Window.Messages.Answers = {TMessageAnswer::Yes};
    QVERIFY(Form.close());
    QCOMPARE(Window.Messages.Shown.back().Caption, QString("Confirmation"));
    QCOMPARE(Window.Messages.Shown.back().Text, QString("A conversion is running. Stop it and quit?"));
    QVERIFY(!Form.isVisible());
    const TProbedFile Part = ProbeFile(Out.filePath("long.mp4").toStdString());
    QVERIFY2(Part.Errors.empty(), Part.Errors.c_str());
    QVERIFY(Number(&Part.Format, "duration") > 0 && Number(&Part.Format, "duration") < 19.5);
    const std::string Errors = DecodeErrors(Out.filePath("long.mp4").toStdString());
    QVERIFY2(Errors.empty(), Errors.c_str());
  }

  // The guards hold between two rows too, where one row has ended and the
  // next has not started: closing is refused and the folder stays, and the
  // rest of the queue is converted.
  void GuardsHoldBetweenRows() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, "WAV - Waveform Audio (*.wav)", {Clips.Broken});
    AddFiles(Form, {Clips.Broken, Clips.AudioOnly});
    const QString Folder = Form.EditOutputFolder->text();
    bool FolderDialogShown = false;
    Form.ButtonConvert->click();
    // The gap after the first row: its outcome written, the next not begun.
    QTRY_VERIFY_WITH_TIMEOUT(!Form.ListView1->SubItem(0, siProgress).isEmpty() && !Form.Converting(), 30000);
    QVERIFY(Form.TimerConvertAgain->isActive());
    QVERIFY(!Form.close());
    QTimer::singleShot(50, &Form, [&] {
      FolderDialogShown = Form.BrowseForFolder1->isVisible();
      Form.BrowseForFolder1->reject();
    });
    Form.ButtonBrowseForFolder->click();
    QTest::qWait(100);
    QVERIFY(!FolderDialogShown);
    QCOMPARE(Form.EditOutputFolder->text(), Folder);
    QTRY_VERIFY_WITH_TIMEOUT(RunOver(Form), 60000);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Fail", "Fail", "Done"}));
    qDebug() << Files(Out.path());
    QCOMPARE(Files(Out.path()), QStringList({"d-song.wav"}));
  }

  // "LetterBox" keeps a 16:9 picture's shape in a 4:3 frame with black bars
  // above and below; "None" fills the frame, except with a clip shot upright,
  // whose row shows it turned and which keeps its shape either way.
  void LetterBoxKeepsTheShape() {
    for (const bool LetterBox : {true, false}) {
      init();
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, "AVI - Audio Video Interleave (*.avi)", {RunClips().Wide});
      Form.ComboVideoSize->setCurrentIndex(Form.ComboVideoSize->findText("320 x 240 (VGA)"));
      Form.ComboLetterBox->setCurrentIndex(LetterBox ? 1 : 0);
      ConvertAll(Form);
      QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done"}));
      const QString Output = Out.filePath("wide.avi");
      const TProbedFile Probed = ProbeFile(Output.toStdString());
      QCOMPARE(Number(Probed.Stream("video"), "width"), 320.0);
      QCOMPARE(Number(Probed.Stream("video"), "height"), 240.0);
      const std::vector<double> Rows = RowBrightness(Output, 320, 240);
      QCOMPARE(int(Rows.size()), 240);
      // A 16:9 picture 320 wide is 180 high: 30 black rows above and below.
      auto Black = [&](int Row) { return Rows[Row] < 20; };
      for (int Row : {0, 10, 27, 212, 230, 239}) QCOMPARE(Black(Row), LetterBox);
      for (int Row : {34, 120, 205}) QVERIFY(!Black(Row));
    }
    {
      // The zoom chosen for a device's profile stays chosen for the modern
      // ones: a picture of an odd height still converts, at the even size
      // the encoder takes, and its estimate comes.
      init();
      TWindowUnderTest Window;
      TForm1 &Form = Prepare(Window, "iPod (*.mp4)", {RunClips().OddHeight});
      Form.ComboLetterBox->setCurrentIndex(1);
      ChooseFormat(Form, "MP4 - H.264 Video, AAC Audio (*.mp4)");
      QCOMPARE(Form.ComboVideoSize->currentText(), QString("Original Video Size"));
      QCOMPARE(Form.ComboLetterBox->currentText(), QString("LetterBox"));
      QTRY_VERIFY_WITH_TIMEOUT(Form.ListView1->SubItem(0, siEstimate).startsWith("about "), 120000);
      ConvertAll(Form);
      QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done"}));
      const TProbedFile Probed = ProbeFile(Out.filePath("odd-height.mp4").toStdString());
      QCOMPARE(Number(Probed.Stream("video"), "width"), 720.0);
      QCOMPARE(Number(Probed.Stream("video"), "height"), 404.0);
      const std::string Errors = DecodeErrors(Out.filePath("odd-height.mp4").toStdString());
      QVERIFY2(Errors.empty(), Errors.c_str());
    }
    init();
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, "AVI - Audio Video Interleave (*.avi)",
                           {QString::fromStdString(MediaClips().Portrait)});
    QCOMPARE(Form.ListView1->SubItem(0, siVideoSize), QString("180x320"));
    Form.ComboVideoSize->setCurrentIndex(Form.ComboVideoSize->findText("320 x 240 (VGA)"));
    ConvertAll(Form);
    const TProbedFile Probed = ProbeFile(Out.filePath("portrait.avi").toStdString());
    QCOMPARE(Number(Probed.Stream("video"), "width"), 320.0);
    QCOMPARE(QString::fromStdString(Probed.Stream("video")->at("display_aspect_ratio")), QString("4:3"));
  }

  // "Original" keeps the shape a picture of non-square pixels is shown with,
  // as the file list found it when the file was added.
  void OriginalAspectKeepsTheShownShape() {
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, "MP4 - MPEG4 Video (*.mp4)", {RunClips().Anamorphic});
    QCOMPARE(Form.ComboAspectRatio->currentIndex(), 0);
    ConvertAll(Form);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Done"}));
    const TProbedFile Probed = ProbeFile(Out.filePath("anamorphic.mp4").toStdString());
    const auto *Video = Probed.Stream("video");
    QVERIFY(Video && Video->count("sample_aspect_ratio"));
    int Num = 0, Den = 0;
    QCOMPARE(std::sscanf(Video->at("sample_aspect_ratio").c_str(), "%d:%d", &Num, &Den), 2);
    const double Shown = Number(Video, "width") * Num / Den / Number(Video, "height");
    QVERIFY2(std::abs(Shown - 16.0 / 9) < 0.01, qPrintable(QString::number(Shown)));
  }

  // A file that fails part-way (here the output can grow no further, as on
  // a full disk) says "Fail", leaves nothing, and the queue goes on.
  void FailurePartWayLeavesNothing() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form =
        Prepare(Window, "AVI - Audio Video Interleave (*.avi)", {RunClips().Long, Clips.AudioOnly});
    rlimit Old{};
    getrlimit(RLIMIT_FSIZE, &Old);
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit Small = Old;
    Small.rlim_cur = 400 * 1024;
    setrlimit(RLIMIT_FSIZE, &Small);
    ConvertAll(Form);
    setrlimit(RLIMIT_FSIZE, &Old);
    std::signal(SIGXFSZ, OldHandler);
    QCOMPARE(ProgressColumn(*Form.ListView1), QStringList({"Fail", "Done"}));
    QCOMPARE(Files(Out.path()), QStringList({"d-song.avi"}));
    QCOMPARE(Window.Messages.Texts(),
             QStringList({"Conversions finished: 1 converted, 1 failed, 0 stopped."}));
  }

  // A source whose length is unknown: the row counts frames without a
  // percentage, and the run still ends "Done".
  void UnknownLengthShowsFramesOnly() {
    TWindowUnderTest Window;
    TForm1 &Form = Prepare(Window, SlowProfile, {RunClips().Unknown});
    QCOMPARE(Form.ListView1->SubItem(0, siDuration), QString("Unknown"));
    QStringList Seen;
    Form.FFVCL.SetProgressInterval(100);
    QTimer Watch;
    connect(&Watch, &QTimer::timeout, this, [&] {
      const QString Text =
          Form.ListView1->SubItem(0, siProgress) + "|" + Form.ListView1->SubItem(0, siFrames);
      if (Seen.isEmpty() || Seen.last() != Text) Seen << Text;
    });
    Watch.start(5);
    ConvertAll(Form);
    Watch.stop();
    QCOMPARE(Form.ListView1->SubItem(0, siProgress), QString("Done"));
    for (const QString &Text : Seen) QVERIFY2(!Text.contains('%'), qPrintable(Seen.join(", ")));
    // Frames were counted while it ran.
    QVERIFY2(std::any_of(Seen.begin(), Seen.end(),
                         [](const QString &Text) { return Text.startsWith("|") && Text.size() > 1; }),
             qPrintable(Seen.join(", ")));
  }
};

KORVANE_WINDOW_TEST(RunTest);

#include "RunTest.moc"
