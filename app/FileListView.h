// SPDX-License-Identifier: GPL-3.0-or-later
// The file list: one row per input file with a check box, the full path as
// the caption and six sub-items (picture size, frame rate, duration, output
// extension, progress and frames written), plus one further empty sub-item
// without a column. Rows are addressed by position and sub-items by their
// number (0 is "Video Size"), as the add-file flow and the conversion run
// write them.
#pragma once

#include <QStringList>
#include <QTreeWidget>

#include "FileTracks.h"
#include "RowSetup.h"

Q_DECLARE_METATYPE(korvane::TFileDetails)
Q_DECLARE_METATYPE(korvane::TRowChoices)

namespace korvane {

// Sub-item numbers of a row.
enum TSubItem { siVideoSize, siFrameRate, siDuration, siOutput, siProgress, siFrames, siExtra, SubItemCount };

class TFileListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TFileListView(QWidget *Parent = nullptr);

  int RowCount() const { return topLevelItemCount(); }
  // Appends a checked row with Caption and the given sub-item texts (missing
  // ones empty); returns its position.
  int AddRow(const QString &Caption, const QStringList &SubItems);
  QString Caption(int Row) const;
  QString SubItem(int Row, TSubItem Index) const;
  void SetSubItem(int Row, TSubItem Index, const QString &Text);
  // The same text in one sub-item of every row.
  void SetSubItemOfAll(TSubItem Index, const QString &Text);
  // The display aspect the row's file was probed with where its pixels are
  // not square, else 0; kept with the row, not shown.
  double DisplayAspect(int Row) const;
  void SetDisplayAspect(int Row, double Aspect);
  // The quarter turn clockwise (0, 90, 180, 270) the row's picture is shown
  // with; kept with the row, not shown.
  int Rotation(int Row) const;
  void SetRotation(int Row, int Degrees);
  // The folder the row's file was found in below the folder that was added
  // ("2024/june"); empty for a file added by itself. Kept, not shown.
  QString Subfolder(int Row) const;
  void SetSubfolder(int Row, const QString &Folder);
  // The tracks and length of the row's file as it was probed; kept, not
  // shown.
  TFileDetails Details(int Row) const;
  void SetDetails(int Row, const TFileDetails &Details);
  // What the user chose to convert of the row's file. A time range shows
  // in the "Duration" column ("00:00:12-00:00:20"); the whole file shows
  // its length again.
  TRowChoices Choices(int Row) const;
  void SetChoices(int Row, const TRowChoices &Choices);
  // The length of the part of the row's file that is converted, as
  // "Duration" shows a whole file ("00:00:08", "Unknown").
  QString ConvertedDuration(int Row) const;
  // Why the row's file failed or could not be read, as its "Progress"
  // cell's tool tip and accessible description; empty when it did not.
  QString Reason(int Row) const;
  void SetReason(int Row, const QString &Text);
  // What the row's conversion logged, oldest first; only the latest lines
  // are kept. Not shown in the list.
  QStringList Log(int Row) const;
  void AppendLog(int Row, const QString &Line);
  void ClearLog(int Row);
  bool Checked(int Row) const;
  void SetChecked(int Row, bool Checked);
  void SetAllChecked(bool Checked);
  // Scrolls Row into view (partly visible is enough).
  void MakeVisible(int Row);
  // The width the list needs to show every column whole, the file name's at
  // its classic width.
  QSize sizeHint() const override;

 signals:
  // Files or folders dropped onto the list, as local paths.
  void PathsDropped(const QStringList &Paths);

 private:
  // Widens a column to what its header and Text need, never narrower than
  // its classic width; then the file-name column takes the rest.
  void FitColumn(int Column, const QString &Text = {});
  void FitAllColumns();
  void FitNameColumn();
  // The "Progress" cell in the colour of its outcome.
  void ColourProgress(QTreeWidgetItem *Item);

 protected:
  void dragEnterEvent(QDragEnterEvent *Event) override;
  void dragMoveEvent(QDragMoveEvent *Event) override;
  void dropEvent(QDropEvent *Event) override;
  // The file-name column takes the width the list gains with the window.
  void resizeEvent(QResizeEvent *Event) override;
  // A new font or style: the columns take what their texts need; a new
  // palette: the outcomes take their colours for it.
  void changeEvent(QEvent *Event) override;
  void drawRow(QPainter *Painter, const QStyleOptionViewItem &Option,
               const QModelIndex &Index) const override;
};

}  // namespace korvane
