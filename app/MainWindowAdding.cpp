// SPDX-License-Identifier: GPL-3.0-or-later
// Adding files to the list: the Add Files and Add Folder dialogs, and the
// files and folders dropped on the list or named on the command line. The
// files are walked and probed on a thread of their own (TListFiller); their
// rows come back to the UI thread in batches, so that a list of thousands of
// files grows while the window answers.
#include <QFileDialog>
#include <QFileInfo>
#include <memory>

#include "BMDThread.h"
#include "FileListView.h"
#include "MainWindow.h"
#include "StatusLabel.h"

namespace korvane {

void TForm1::ButtonAddFileClick() {
  // A click that comes while files are still being added (through the
  // events the flow lets through) is ignored outright.
  if (RunUnderWay() || FAdding) return;
  FRunEngine.ClearTasks();
  ClearRowTexts();
  FAdding = true;
  try {
    BMDThread1->Start();
  } catch (...) {
  }
  FAdding = FFiller != nullptr;  // the files are still being probed
}

void TForm1::BMDThread1Start(QObject *, TBMDExecuteThread *, void *&) {
  OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
  if (OpenDialog1->exec() != QDialog::Accepted) return;
  AddRows(OpenDialog1->selectedFiles());
}

void TForm1::ButtonAddFolderClick() {
  if (RunUnderWay() || FAdding) return;
  if (AddFolderDialog->exec() != QDialog::Accepted) return;
  AddPaths(AddFolderDialog->selectedFiles());
}

void TForm1::AddPaths(const QStringList &Paths) {
  // Added as the Add Files button adds, with the same guards.
  if (RunUnderWay() || FAdding || Paths.isEmpty()) return;
  FRunEngine.ClearTasks();
  ClearRowTexts();
  QStringList Whole;
  for (const QString &Path : Paths) Whole << QFileInfo(Path).absoluteFilePath();
  AddRows(Whole);
}

void TForm1::AddRows(const QStringList &Paths) {
  if (Paths.isEmpty()) return;
  std::vector<std::string> List;
  for (const QString &Path : Paths) List.push_back(Path.toStdString());
  FAdding = true;
  StatusPanel[0]->SetText("Adding files...");
  // The filler's thread only hands its findings to the UI thread.
  FFiller = std::make_unique<TListFiller>(
      std::move(List),
      [this](std::vector<TListedFile> &&Rows) {
        auto Batch = std::make_shared<std::vector<TListedFile>>(std::move(Rows));
        QMetaObject::invokeMethod(
            this, [this, Batch] { ShowFoundRows(*Batch); }, Qt::QueuedConnection);
      },
      [this](const TFillCounts &Counts) {
        QMetaObject::invokeMethod(
            this, [this, Counts] { FillingDone(Counts); }, Qt::QueuedConnection);
      });
}

void TForm1::ShowFoundRows(const std::vector<TListedFile> &Rows) {
  int Row = -1;
  for (const TListedFile &File : Rows) {
    const QString Path = QString::fromStdString(File.Path);
    if (File.Readable) {
      const TFileRowTexts &Texts = File.Texts;
      Row = ListView1->AddRow(
          Path, {QString::fromStdString(Texts.VideoSize), QString::fromStdString(Texts.FrameRate),
                 QString::fromStdString(Texts.Duration), OutputExtension()});
      ListView1->SetPicture(Row, Texts.Picture);
      ListView1->SetDetails(Row, File.Details);
    } else {
      Row = ListView1->AddRow(Path, {"", "", "", "", "Error", "", ""});
      ListView1->SetReason(Row, QString::fromStdString(File.Reason));
    }
    ListView1->SetSubfolder(Row, QString::fromStdString(File.Subfolder));
  }
  ListView1->MakeVisible(Row);
  EstimateSoon();
}

void TForm1::FillingDone(const TFillCounts &Counts) {
  FFiller.reset();
  FAdding = false;
  QString Text = QString("%1 file%2 added").arg(Counts.Listed).arg(Counts.Listed == 1 ? "" : "s");
  if (Counts.NotMedia > 0) Text += QString(", %1 not media").arg(Counts.NotMedia);
  if (!Counts.Skipped.empty()) Text += QString(", %1 skipped").arg(Counts.Skipped.size());
  StatusPanel[0]->SetText(Text);
  // The hint names what was skipped, and why.
  for (const std::string &Line : Counts.Skipped) Text += "\n" + QString::fromStdString(Line);
  StatusPanel[0]->setToolTip(Text);
}

}  // namespace korvane
