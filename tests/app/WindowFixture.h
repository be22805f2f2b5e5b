// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tests share: a message shell that records the boxes and
// answers them, the program's windows as start-up makes them, answering the
// file dialogs as a person would, and small clips made once per program.
#pragma once

#include <QFileDialog>
#include <QObject>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "MainWindow.h"
#include "MessageShell.h"

namespace korvane::test {

class TRecordingShell : public TMessageShell {
 public:
  std::vector<TMessage> Shown;
  // Answers for the next boxes, in order; without one a box gets its
  // default (OK, or No for a question).
  std::deque<TMessageAnswer> Answers;
  // Called while a box is up, before it is answered.
  std::function<void(const TMessage &)> WhileShown;

  TMessageAnswer Show(QWidget *Parent, const TMessage &Message) override;
  // The texts of the boxes shown so far.
  QStringList Texts() const;
};

// The main window and its dialogs as the program starts them, shown.
struct TWindowUnderTest {
  TRecordingShell Messages;
  std::unique_ptr<TForm1> Form1;

  TWindowUnderTest();
  ~TWindowUnderTest();
  TForm1 &Form() { return *Form1; }
};

// Answers the next time Dialog is shown: it opens Files (absolute paths, in
// this order), or it is cancelled when Files is empty. Before answering,
// WhileOpen runs with the dialog still up.
void AnswerFileDialog(QFileDialog *Dialog, const QStringList &Files, std::function<void()> WhileOpen = {});

// Adds Files through the Add Files button and its dialog, and waits until
// they are listed.
void AddFiles(TForm1 &Form, const QStringList &Files);

// Picks the output format Text as the list's choice (fails the program
// when there is none).
void ChooseFormat(TForm1 &Form, const QString &Text);
// The "Progress" column, row by row.
QStringList ProgressColumn(const TFileListView &List);
// The run is over, with no row waiting to start.
bool RunOver(TForm1 &Form);
// The window ready to convert Clips with Format into Folder.
TForm1 &PrepareRun(TWindowUnderTest &Window, const QString &Format, const QString &Folder,
                   const QStringList &Clips);
// Presses "Convert Now !" and waits for the run to end.
void ConvertAll(TForm1 &Form);

// Clips made once per test program.
struct TWindowClips {
  QString Folder;
  QString Video2997;  // 320x240 at 30000/1001 fps with sound, 2 s, MP4
  QString Video2398;  // 160x120 at 24000/1001 fps, 1 s, AVI
  QString Video25;    // 176x144 at 25 fps with sound, 3 s, QuickTime
  QString AudioOnly;  // 1 s of sound, MP3
  QString Broken;     // text with a media file's name
};
const TWindowClips &WindowClips();

// Replaces the stored settings with Values (a missing name is left out).
void WriteStoredSettings(const std::vector<std::pair<QString, QVariant>> &Values);
// The stored settings by name; a missing value is an invalid QVariant.
QVariant StoredSetting(const QString &Name);
void ClearStoredSettings();

// Registers a test class with the program's main; a program runs one class
// named on its command line, or all of them.
using TTestFactory = std::function<std::unique_ptr<QObject>()>;
bool RegisterWindowTest(const char *Name, TTestFactory Factory);
#define KORVANE_WINDOW_TEST(Class)                       \
  [[maybe_unused]] static const bool Class##Registered = \
      ::korvane::test::RegisterWindowTest(#Class, [] { return std::unique_ptr<QObject>(new Class); })

}  // namespace korvane::test
