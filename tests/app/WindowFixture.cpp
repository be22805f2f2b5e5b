// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <map>

#include "BMDThread.h"
#include "DropDownCombo.h"
#include "FileListView.h"
#include "MediaFixtures.h"
#include "Settings.h"
#include "Startup.h"

namespace korvane::test {

TMessageAnswer TRecordingShell::Show(QWidget *, const TMessage &Message) {
  Shown.push_back(Message);
  if (WhileShown) WhileShown(Message);
  if (!Answers.empty()) {
    const TMessageAnswer Answer = Answers.front();
    Answers.pop_front();
    return Answer;
  }
  return Message.YesNo ? TMessageAnswer::No : TMessageAnswer::Ok;
}

QStringList TRecordingShell::Texts() const {
  QStringList Texts;
  for (const TMessage &Message : Shown) Texts << Message.Text;
  return Texts;
}

TWindowUnderTest::TWindowUnderTest() {
  Form1 = CreateApplicationWindows(Messages);
  if (!Form1) qFatal("the window did not start: %s", qPrintable(Messages.Texts().join(" | ")));
  Form1->show();
  if (!QTest::qWaitForWindowExposed(Form1.get())) qWarning("the main window was not exposed");
}

TWindowUnderTest::~TWindowUnderTest() = default;

void AnswerFileDialog(QFileDialog *Dialog, const QStringList &Files, std::function<void()> WhileOpen) {
  // The dialog runs its own event loop; this answers from inside it once it
  // is up and shows the folder of the files: it selects them one after
  // another in the file view, as a person does with Ctrl and a click, and
  // presses Open.
  auto *Poll = new QTimer(Dialog);
  Poll->setInterval(10);
  const QDeadlineTimer Deadline(60000);  // generous: the folder is listed on a thread of its own
  QObject::connect(Poll, &QTimer::timeout, Dialog, [Dialog, Files, WhileOpen, Poll, Deadline] {
    auto *View = Dialog->findChild<QListView *>("listView");
    auto *Model = Dialog->findChild<QFileSystemModel *>();
    const QString Folder = Files.isEmpty() ? QString() : QFileInfo(Files.first()).absolutePath();
    if (!Files.isEmpty() && Dialog->isVisible() && Dialog->directory().absolutePath() != Folder)
      Dialog->setDirectory(Folder);
    const bool Ready =
        Dialog->isVisible() && (Files.isEmpty() || (View && Model && Model->rowCount(View->rootIndex()) > 0));
    if (!Ready) {
      if (Deadline.hasExpired()) qFatal("the file dialog did not come up with %s", qPrintable(Folder));
      return;
    }
    Poll->stop();
    Poll->deleteLater();
    if (WhileOpen) WhileOpen();
    if (Files.isEmpty()) {
      Dialog->reject();
      return;
    }
    View->clearSelection();
    for (const QString &File : Files) {
      const QModelIndex Index = Model->index(QFileInfo(File).absoluteFilePath());
      if (!Index.isValid()) qFatal("the file dialog does not show %s", qPrintable(File));
      View->selectionModel()->select(Index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QMetaObject::invokeMethod(Dialog, "accept");
  });
  Poll->start();
}

void AddFiles(TForm1 &Form, const QStringList &Files) {
  // The worker takes a new start once the end of its last one has come
  // through the event loop, as it has by the time a person clicks again.
  // The bounds are generous, for a busy machine: they cost nothing otherwise.
  QTRY_VERIFY_WITH_TIMEOUT(!Form.BMDThread1->Running(), 60000);
  AnswerFileDialog(Form.OpenDialog1, Files);
  Form.ButtonAddFile->click();
  QTRY_VERIFY_WITH_TIMEOUT(!Form.BMDThread1->Running(), 60000);
  // The files are probed off the UI thread: their rows come after.
  QTRY_VERIFY_WITH_TIMEOUT(!Form.Adding(), 60000);
}

void ChooseFormat(TForm1 &Form, const QString &Text) {
  const int Row = Form.ComboOutputFormat->findText(Text);
  if (Row < 0) qFatal("no format %s", qPrintable(Text));
  Form.ComboOutputFormat->setCurrentIndex(Row);
  emit Form.ComboOutputFormat->activated(Row);
}

QStringList ProgressColumn(const TFileListView &List) {
  QStringList Texts;
  for (int Row = 0; Row < List.RowCount(); ++Row) Texts << List.SubItem(Row, siProgress);
  return Texts;
}

bool RunOver(TForm1 &Form) { return !Form.Converting() && !Form.TimerConvertAgain->isActive(); }

TForm1 &PrepareRun(TWindowUnderTest &Window, const QString &Format, const QString &Folder,
                   const QStringList &Clips) {
  TForm1 &Form = Window.Form();
  ChooseFormat(Form, Format);
  Form.EditOutputFolder->setText(Folder);
  AddFiles(Form, Clips);
  return Form;
}

void ConvertAll(TForm1 &Form) {
  Form.ButtonConvert->click();
  QTRY_VERIFY_WITH_TIMEOUT(RunOver(Form), 180000);
  QTest::qWait(50);  // the last events of the component
}

namespace {

QString MakeClip(const QString &Folder, const QString &Name, const std::string &Arguments) {
  const QString Path = Folder + "/" + Name;
  if (!RunFFmpeg(Arguments + " \"" + Path.toStdString() + "\"")) qFatal("cannot make %s", qPrintable(Name));
  return Path;
}

}  // namespace

const TWindowClips &WindowClips() {
  static QTemporaryDir Folder;
  static const TWindowClips Clips = [] {
    TWindowClips C;
    C.Folder = Folder.path();
    // Named so that the folder lists them in this order.
    C.Video2997 = MakeClip(C.Folder, "a-clip2997.mp4",
                           "-f lavfi -i testsrc=size=320x240:rate=30000/1001:duration=2 -f lavfi -i "
                           "sine=frequency=440:duration=2 -c:v mpeg4 -c:a aac -shortest");
    C.Video2398 = MakeClip(C.Folder, "b-clip2398.avi",
                           "-f lavfi -i testsrc=size=160x120:rate=24000/1001:duration=1 -c:v mpeg4");
    C.Video25 = MakeClip(C.Folder, "c-clip25.mov",
                         "-f lavfi -i testsrc=size=176x144:rate=25:duration=3 -f lavfi -i "
                         "sine=frequency=660:duration=3 -c:v mpeg4 -c:a mp2 -shortest");
    C.AudioOnly =
        MakeClip(C.Folder, "d-song.mp3", "-f lavfi -i sine=frequency=500:duration=1 -c:a libmp3lame");
    C.Broken = C.Folder + "/e-broken.mp4";
    QFile Broken(C.Broken);
    Broken.open(QIODevice::WriteOnly);
    Broken.write("this is not a media file\n");
    return C;
  }();
  return Clips;
}

void ClearStoredSettings() {
  QSettings Store(kSettingsOrganization, kSettingsApplication);
  Store.clear();
  Store.sync();
}

void WriteStoredSettings(const std::vector<std::pair<QString, QVariant>> &Values) {
  ClearStoredSettings();
  QSettings Store(kSettingsOrganization, kSettingsApplication);
  for (const auto &[Name, Value] : Values) Store.setValue(Name, Value);
  Store.sync();
}

QVariant StoredSetting(const QString &Name) {
  QSettings Store(kSettingsOrganization, kSettingsApplication);
  return Store.value(Name);
}

}  // namespace korvane::test
