// SPDX-License-Identifier: GPL-3.0-or-later
// Adding files through the Add Files dialog: the texts each row gets from
// the probe, rows for files that cannot be read, cancelling, and the guards
// while the list is still growing.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <map>
#include <memory>

#include "BMDThread.h"
#include "FileListView.h"
#include "WindowFixture.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// The caption and the sub-items the probe and the run write; the estimate
// follows the choices (ChoosingTest).
QStringList Row(const TFileListView &List, int Row) {
  QStringList Texts{List.Caption(Row)};
  for (int I = 0; I < SubItemCount; ++I)
    if (I != siEstimate) Texts << List.SubItem(Row, TSubItem(I));
  return Texts;
}

}  // namespace

class AddFilesTest : public QObject {
  Q_OBJECT
 private slots:
  void RowsShowWhatTheProbeFinds() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    const TFileListView &List = *Form.ListView1;
    AddFiles(Form, {Clips.Video2997, Clips.Video2398, Clips.Video25, Clips.AudioOnly, Clips.Broken});
    QCOMPARE(List.RowCount(), 5);
    const QStringList Expected[] = {
        {Clips.Video2997, "320x240", "29.97", "00:00:02", "3GP", "", "", ""},
        {Clips.Video2398, "160x120", "23.98", "00:00:01", "3GP", "", "", ""},
        {Clips.Video25, "176x144", "25", "00:00:03", "3GP", "", "", ""},
        // Sound only: single blanks where the picture facts would be.
        {Clips.AudioOnly, " ", " ", "00:00:01", "3GP", "", "", ""},
        // A file the probe cannot open is listed, marked in "Progress".
        {Clips.Broken, "", "", "", "", "Error", "", ""},
    };
    for (int I = 0; I < 5; ++I) {
      QCOMPARE(Row(List, I), Expected[I]);
      QVERIFY(List.Checked(I));
    }
    // The "Error" row says why the probe could not read the file.
    QCOMPARE(List.Reason(4), Clips.Broken + ": Unknown format");
    QCOMPARE(List.Reason(0), QString());
    // The same file again is simply another row; an unreadable file's row
    // still says "Error" after the next add.
    AddFiles(Form, {Clips.Video2997});
    QCOMPARE(List.RowCount(), 6);
    QCOMPARE(Row(List, 5), Expected[0]);
    QCOMPARE(List.SubItem(4, siProgress), QString("Error"));
  }

  // Cancelling adds nothing; it only clears what the last run wrote.
  void CancellingClearsProgressAndFramesOnly() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    Form.ListView1->AddRow("/clips/a.avi", {"640x480", "25", "00:00:10", "3GP", "Done", "250"});
    Form.ListView1->AddRow("/clips/b.avi", {"", "", "", "", "Error"});
    AddFiles(Form, {});
    QCOMPARE(Form.ListView1->RowCount(), 2);
    QCOMPARE(Row(*Form.ListView1, 0),
             QStringList({"/clips/a.avi", "640x480", "25", "00:00:10", "3GP", "", "", ""}));
    // A file the probe could not open keeps saying so.
    QCOMPARE(Row(*Form.ListView1, 1), QStringList({"/clips/b.avi", "", "", "", "", "Error", "", ""}));
    QVERIFY(!Form.Adding());
  }

  // While files are still being added (the window stays responsive between
  // them) Remove, Clear, Convert and a second Add Files are ignored.
  void CommandsWaitWhileFilesAreAdded() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    Form.ListView1->AddRow("/clips/earlier.avi", {});
    Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(0));
    bool Tried = false;
    int RowsSeen = -1;
    AnswerFileDialog(Form.OpenDialog1, {Clips.Video2997, Clips.AudioOnly, Clips.Video25}, [&] {
      // Clicks that arrive between files, once the dialog has closed.
      QTimer::singleShot(0, [&] {
        Tried = true;
        QVERIFY(Form.Adding());
        Form.ButtonRemove->click();
        Form.ButtonClear->click();
        Form.ButtonConvert->click();
        Form.ButtonAddFile->click();  // would open the dialog again
        RowsSeen = Form.ListView1->RowCount();
      });
    });
    Form.ButtonAddFile->click();
    // The files are probed off the UI thread: the list's commands wait
    // for them too.
    if (Form.Adding()) Form.ButtonClear->click();
    QTRY_VERIFY(Tried);
    QTRY_VERIFY_WITH_TIMEOUT(!Form.Adding(), 10000);
    QVERIFY(RowsSeen >= 1);
    QCOMPARE(Form.ListView1->RowCount(), 4);
    QCOMPARE(Form.ListView1->Caption(0), QString("/clips/earlier.avi"));
    QVERIFY(Window.Messages.Shown.empty());
    // Once done, the commands work again.
    Form.ButtonRemove->click();
    QCOMPARE(Form.ListView1->RowCount(), 3);
  }

  // The window closed right after files were added, before the worker's end
  // has come through and with an estimate due: it goes without a crash.
  void ClosingRightAfterAddingIsSafe() {
    auto Window = std::make_unique<TWindowUnderTest>();
    TForm1 &Form = Window->Form();
    AnswerFileDialog(Form.OpenDialog1, {WindowClips().Video25});
    Form.ButtonAddFile->click();
    QVERIFY(Form.BMDThread1->Running());
    Form.ComboLetterBox->setCurrentIndex(1);  // the estimates are brought up to date soon
    QTest::qSleep(100);                       // ... and that is due now
    Window.reset();
  }

  // The dialog offers the 24 long-standing file types, all supported files
  // first, then today's types and any file last.
  void DialogOffersTheSupportedTypes() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    const QStringList Filters = Form.OpenDialog1->nameFilters();
    QCOMPARE(Filters.size(), 30);
    QVERIFY(Filters[0].startsWith("All Supported Files (*.avi *.mpeg *.mpg"));
    QVERIFY(Filters[0].contains(" *.qt "));
    QVERIFY(!Filters[0].contains("*.ape"));
    for (const char *Type :
         {"mkv", "mka", "webm", "m4v", "ts", "m2ts", "mts", "ogv", "oga", "opus", "flac", "wv", "amr", "mxf"})
      QVERIFY2(Filters[0].contains(QString(" *.%1").arg(Type)), Type);
    QCOMPARE(Filters[11], QString("Monkey Audio Files (*.ape, *.cue) (*.ape *.cue)"));
    QCOMPARE(Filters[23],
             QString("Windows Media Files(*.wma, *.wmv, *.asf, *.asx) (*.wma *.wmv *.asf *.asx)"));
    QCOMPARE(Filters[24], QString("Matroska Files (*.mkv, *.mka) (*.mkv *.mka)"));
    QCOMPARE(Filters[29], QString("All Files (*) (*)"));
    QVERIFY(Form.OpenDialog1->testOption(QFileDialog::HideNameFilterDetails));
  }

  // Files and folders dropped on the list, or a folder picked with Add
  // Folder, are added as Add Files adds them: a folder gives the files of
  // its whole tree whose content is media, whatever their names, in name
  // order, each knowing its folder below the one added; a link loop is
  // passed over, and the status bar counts what was left out.
  void DroppedFilesAndFoldersAreListed() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    QTemporaryDir Folder;
    QDir(Folder.path()).mkpath("trip/day2");
    QVERIFY(QFile::copy(Clips.AudioOnly, Folder.filePath("trip/b-song.mp3")));
    QVERIFY(QFile::copy(Clips.Video25, Folder.filePath("trip/day2/a-film.mp4")));
    QVERIFY(QFile::copy(Clips.Video2398, Folder.filePath("trip/day2/c-raw")));
    QVERIFY(QFile::link("..", Folder.filePath("trip/day2/loop")));
    QFile Notes(Folder.filePath("trip/notes.txt"));
    QVERIFY(Notes.open(QIODevice::WriteOnly));
    Notes.write("not a film");
    Notes.close();
    QMimeData Data;
    Data.setUrls({QUrl::fromLocalFile(Clips.Video2997), QUrl::fromLocalFile(Folder.filePath("trip"))});
    QWidget *Target = Form.ListView1->viewport();
    QDragEnterEvent Enter(QPoint(10, 10), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &Enter);
    QVERIFY(Enter.isAccepted());
    QDropEvent Drop(QPointF(10, 10), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &Drop);
    QTRY_VERIFY_WITH_TIMEOUT(!Form.Adding(), 10000);
    const QStringList Expected = {Clips.Video2997, Folder.filePath("trip/b-song.mp3"),
                                  Folder.filePath("trip/day2/a-film.mp4"),
                                  Folder.filePath("trip/day2/c-raw")};
    const QStringList Subfolders = {"", "", "day2", "day2"};
    QCOMPARE(Form.ListView1->RowCount(), 4);
    for (int Row = 0; Row < 4; ++Row) {
      QCOMPARE(Form.ListView1->Caption(Row), Expected[Row]);
      QCOMPARE(Form.ListView1->Subfolder(Row), Subfolders[Row]);
    }
    QCOMPARE(Form.ListView1->SubItem(2, siVideoSize), QString("176x144"));
    QCOMPARE(Form.ListView1->SubItem(3, siVideoSize), QString("160x120"));
    QCOMPARE(Form.StatusPanel[0]->text(), QString("4 files added, 1 not media, 1 skipped"));
    QVERIFY(Form.StatusPanel[0]->toolTip().contains(Folder.filePath("trip/day2/loop") + ": a link loop"));

    // The same tree through Add Folder and its dialog.
    Form.ButtonClear->click();
    QCOMPARE(Form.ListView1->RowCount(), 0);
    AnswerFileDialog(Form.AddFolderDialog, {Folder.filePath("trip")});
    Form.ButtonAddFolder->click();
    QTRY_VERIFY_WITH_TIMEOUT(!Form.Adding(), 10000);
    QCOMPARE(Form.ListView1->RowCount(), 3);
    for (int Row = 0; Row < 3; ++Row) QCOMPARE(Form.ListView1->Caption(Row), Expected[Row + 1]);
  }

  // A path typed into a file or folder dialog, with Return as a person
  // ends it: a file's name is taken whatever its extension, with the
  // default filter still selected (the probe decides what the file is), a
  // folder's becomes the output folder, and the completion list that came
  // up while typing closes with the dialog, leaving the keys to the window.
  // The dialog's file system model lists a folder on a thread of its own,
  // and its completer looks again once a listing ends: the path is typed
  // only after the folder has been listed, or a name the filter hides (which
  // the dialog lets through once typed whole) would be offered late.
  void TypedPathsAreTaken() {
    const TWindowClips &Clips = WindowClips();
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    const QString Odd = Clips.Folder + "/holiday.clip";
    QFile::remove(Odd);
    QVERIFY(QFile::copy(Clips.Video25, Odd));
    const QString Folder = Clips.Folder + "/out";
    QDir().mkpath(Folder);
    struct TCase {
      QFileDialog *Dialog;
      QAbstractButton *Opener;
      QString Typed;
      bool Completed;  // the dialog offers a completion for it (its filter shows it)
    } Cases[] = {
        {Form.OpenDialog1, Form.ButtonAddFile, Odd, false},
        {Form.OpenDialog1, Form.ButtonAddFile, Clips.Video25, true},
        {Form.BrowseForFolder1, Form.ButtonBrowseForFolder, Folder, true},
    };
    // The folders each dialog's model has listed, from before it opens.
    std::map<QFileDialog *, QSet<QString>> Listed;
    for (const TCase &Case : Cases)
      if (auto *Model = Case.Dialog->findChild<QFileSystemModel *>(); Model && !Listed.count(Case.Dialog))
        connect(Model, &QFileSystemModel::directoryLoaded, this,
                [&Listed, Dialog = Case.Dialog](const QString &Path) {
                  Listed[Dialog] << QDir::cleanPath(Path);
                });
    for (const TCase &Case : Cases) {
      QStringList Seen;  // what came up while the path was typed
      QTimer::singleShot(0, &Form, [&Case, &Seen, &Listed, Start = Clips.Folder] {
        auto *Poll = new QTimer(Case.Dialog);
        Poll->setInterval(10);
        const QDeadlineTimer Deadline(60000);  // then the dialog is cancelled and the test fails
        QObject::connect(Poll, &QTimer::timeout, Case.Dialog, [&Case, &Seen, &Listed, Start, Poll, Deadline] {
          QFileDialog *Dialog = Case.Dialog;
          auto *Edit = Dialog->findChild<QLineEdit *>("fileNameEdit");
          if (Deadline.hasExpired()) {
            Poll->stop();
            Seen << "folder not listed";
            Dialog->reject();
            return;
          }
          if (!Dialog->isVisible() || !Edit) return;
          if (Dialog->directory().absolutePath() != Start) {
            Dialog->setDirectory(Start);
            return;
          }
          if (!Listed[Dialog].contains(QDir::cleanPath(Start))) return;
          Poll->stop();
          Edit->setFocus();
          Edit->clear();
          QTest::keyClicks(Edit, Case.Typed);
          // The listing is there: the completer decides as the last key
          // comes, and a list it offers is up once the events are through.
          const auto Offered = [] { return QApplication::activePopupWidget() != nullptr; };
          QCoreApplication::processEvents();
          if (Case.Completed ? QTest::qWaitFor(Offered, 10000) : Offered()) Seen << "completion";
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
          if (QTest::qWaitFor([Dialog] { return !Dialog->isVisible(); }, 10000)) return;
          Seen << "still open";
          Dialog->reject();
        });
        Poll->start();
      });
      Case.Opener->click();
      QTRY_VERIFY_WITH_TIMEOUT(!Form.BMDThread1->Running() && !Case.Dialog->isVisible() && !Form.Adding(),
                               30000);
      QVERIFY2(!Seen.contains("folder not listed"), qPrintable(Case.Typed));
      QCOMPARE(Seen.contains("completion"), Case.Completed);
      QVERIFY2(!Seen.contains("still open"), "Return did not end the dialog");
      QCOMPARE(QApplication::activePopupWidget(), nullptr);
    }
    QCOMPARE(Form.ListView1->RowCount(), 2);
    QCOMPARE(Form.ListView1->Caption(0), Odd);
    QCOMPARE(Form.ListView1->SubItem(0, siVideoSize), QString("176x144"));
    QCOMPARE(Form.ListView1->Caption(1), Clips.Video25);
    QCOMPARE(Form.EditOutputFolder->text(), Folder);
  }
};

KORVANE_WINDOW_TEST(AddFilesTest);

#include "AddFilesTest.moc"
