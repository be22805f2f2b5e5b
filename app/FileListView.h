// SPDX-License-Identifier: GPL-3.0-or-later
// The file list: one row per input file with a check box, the full path as
// the caption and seven sub-items (picture size, frame rate, duration, output
// extension, progress, frames written and the output's expected size), plus
// one further empty sub-item without a column. Rows are addressed by position and sub-items by their
// number (0 is "Video Size"), as the add-file flow and the conversion run
// write them.
#pragma once

#include <QStringList>
#include <QTreeWidget>

#include "FileTracks.h"
#include "RowSetup.h"

namespace korvane {

// What the "Estimated Size" column says of a row.
struct TRowEstimate {
  std::string Key;       // the choices it is for (EstimateKey); empty: none
  double Bytes = -1;     // the size expected; negative while not known
  bool Pending = false;  // being made
  std::string Why;       // why there is none
  int64_t Written = -1;  // the size of the output once converted; -1: none
};

}  // namespace korvane

Q_DECLARE_METATYPE(korvane::TFileDetails)
Q_DECLARE_METATYPE(korvane::TSourcePicture)
Q_DECLARE_METATYPE(korvane::TRowChoices)
Q_DECLARE_METATYPE(korvane::TRowEstimate)

namespace korvane {

// Sub-item numbers of a row.
enum TSubItem {
  siVideoSize,
  siFrameRate,
  siDuration,
  siOutput,
  siProgress,
  siFrames,
  siEstimate,
  siExtra,
  SubItemCount
};

class TFileListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TFileListView(QWidget *Parent = nullptr);

  int RowCount() const { return topLevelItemCount(); }
  // Appends a checked row with Caption and the given sub-item texts (missing
  // ones empty); returns its position.
  int AddRow(const QString &Caption, const QStringList &SubItems);
  QString Caption(int Row) const;
  // A number that names the row for as long as it is listed, whatever
  // rows come and go before it; and the row it names now (-1: gone).
  quint64 RowId(int Row) const;
  int RowOfId(quint64 Id) const;
  QString SubItem(int Row, TSubItem Index) const;
  void SetSubItem(int Row, TSubItem Index, const QString &Text);
  // The same text in one sub-item of every row.
  void SetSubItemOfAll(TSubItem Index, const QString &Text);
  // The picture the row's file was probed with (its size and shape as
  // shown, turn and HDR kind); kept with the row, not read from its texts.
  TSourcePicture Picture(int Row) const;
  void SetPicture(int Row, const TSourcePicture &Picture);
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
  // The row's expected output size: "about 5.9 MB", "..." while it is
  // being made, "Unknown" with the reason as its tool tip; once converted,
  // the output's size beside it ("5.8 MB (est. 5.9 MB)").
  TRowEstimate Estimate(int Row) const;
  void SetEstimate(int Row, const TRowEstimate &Estimate);
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
  // the least it gets.
  QSize sizeHint() const override;

 signals:
  // Files or folders dropped onto the list, as local paths.
  void PathsDropped(const QStringList &Paths);

 private:
  quint64 FLastId = 0;  // the number the last row added got

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
