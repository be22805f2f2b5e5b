// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing what to convert of a row: its audio and subtitle tracks and a
// subtitle drawn into the picture (Tracks), the part of the file converted
// (Set Time Range), and its picture as the output will look (Preview). The
// choices live with the row, so that a row removed takes them with it, and
// reach its conversion through the run.
#include <QAction>
#include <QToolButton>
#include <sstream>

#include "FileListView.h"
#include "MainWindow.h"
#include "PreviewDialog.h"
#include "TimeRangeDialog.h"
#include "TracksDialog.h"

namespace korvane {

void TForm1::ConnectChoiceHandlers() {
  connect(ButtonTracks, &QToolButton::clicked, this, [this] { Tracks1Click(); });
  connect(Tracks1, &QAction::triggered, this, [this] { Tracks1Click(); });
  connect(TimeRange1, &QAction::triggered, this, [this] { TimeRange1Click(); });
  connect(ButtonPreview, &QToolButton::clicked, this, [this] { Preview1Click(); });
  connect(Preview1, &QAction::triggered, this, [this] { Preview1Click(); });
  connect(TracksDialog, &QDialog::accepted, this, [this] {
    if (FChoiceRow.isValid()) KeepRowChoices(TracksDialog->Chosen(ListView1->Choices(FChoiceRow.row())));
  });
  connect(TimeRangeDialog, &QDialog::accepted, this, [this] {
    if (FChoiceRow.isValid()) KeepRowChoices(TimeRangeDialog->Chosen(ListView1->Choices(FChoiceRow.row())));
  });
  connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateRowCommands(); });
  UpdateRowCommands();
}

int TForm1::SelectedRow() const {
  QTreeWidgetItem *Selected = ListView1->currentItem();
  return Selected && Selected->isSelected() ? ListView1->indexOfTopLevelItem(Selected) : -1;
}

void TForm1::UpdateRowCommands() {
  const bool Enabled = !FRunLocked && SelectedRow() >= 0;
  for (QToolButton *Button : {ButtonTracks, ButtonPreview}) Button->setEnabled(Enabled);
  for (QAction *Action : {Tracks1, TimeRange1, Preview1}) Action->setEnabled(Enabled);
}

void TForm1::KeepRowChoices(const TRowChoices &Choices) {
  if (!FChoiceRow.isValid()) return;
  ListView1->SetChoices(FChoiceRow.row(), Choices);
  EstimateSoon();
}

bool TForm1::KeepsEveryTrack(int Row) const {
  try {
    std::istringstream Lines(FRun.RowSetup(Row).Options.ExtOptions);
    bool Every = false;
    for (std::string Line; std::getline(Lines, Line);)
      if (Line == "every_track" || Line == "copy_all") Every = true;
    return Every;
  } catch (...) {
    return false;
  }
}

TRowChoices TForm1::RowChoices(int Row) const { return ListView1->Choices(Row); }

void TForm1::Tracks1Click() {
  const int Row = SelectedRow();
  if (Row < 0 || RunUnderWay()) return;
  FChoiceRow = ListView1->model()->index(Row, 0);
  TracksDialog->ShowTracks(ListView1->Caption(Row), ListView1->Details(Row), ListView1->Choices(Row),
                           !KeepsEveryTrack(Row), CopiesStreams());
  TracksDialog->open();
}

void TForm1::TimeRange1Click() {
  const int Row = SelectedRow();
  if (Row < 0 || RunUnderWay()) return;
  FChoiceRow = ListView1->model()->index(Row, 0);
  TimeRangeDialog->ShowRange(ListView1->Caption(Row), ListView1->Details(Row).LengthMs,
                             ListView1->Choices(Row));
  TimeRangeDialog->open();
}

void TForm1::Preview1Click() {
  const int Row = SelectedRow();
  if (Row < 0 || RunUnderWay()) return;
  TConversionSetup Setup;
  try {
    Setup = FRun.RowSetup(Row);
  } catch (const std::exception &E) {
    ShowInformation(std::string("No preview: ") + E.what());
    return;
  }
  PreviewDialog->ShowPreview(ListView1->Caption(Row), Setup, ListView1->Details(Row).LengthMs,
                             ListView1->Choices(Row).StartMs, FLibraryFolder);
}

}  // namespace korvane
