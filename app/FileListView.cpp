// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileListView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <algorithm>

#include "RowOutcome.h"
#include "SizeTarget.h"
#include "TimeRange.h"

namespace korvane {

namespace {

struct TColumn {
  const char *Caption;
  int Width;
  Qt::Alignment Alignment;
};
// The caption column, then one column per visible sub-item.
constexpr TColumn kColumns[] = {
    {"Video File Name", 300, Qt::AlignLeft}, {"Video Size", 90, Qt::AlignHCenter},
    {"FrameRate", 90, Qt::AlignHCenter},     {"Duration", 60, Qt::AlignHCenter},
    {"Output", 65, Qt::AlignHCenter},        {"Progress", 57, Qt::AlignHCenter},
    {"Frames", 60, Qt::AlignHCenter},        {"Estimated Size", 95, Qt::AlignHCenter},
};
// The least the file-name column gets, where the window is at its classic
// size: the columns beside it take the rest (the whole path is the name's
// tool tip).
constexpr int kNameLeast = 200;
constexpr int kVisibleColumns = static_cast<int>(std::size(kColumns));
// The extra sub-item is kept in a hidden column after the visible ones.
constexpr int kAllColumns = 1 + SubItemCount;

int Column(TSubItem Index) { return 1 + Index; }

// What a row keeps of its file without showing it, in the caption's item.
constexpr int PictureRole = Qt::UserRole;
constexpr int LogRole = Qt::UserRole + 2;
constexpr int SubfolderRole = Qt::UserRole + 3;
constexpr int DetailsRole = Qt::UserRole + 4;
constexpr int ChoicesRole = Qt::UserRole + 5;
// The file's own "Duration", while the column shows a range.
constexpr int FileDurationRole = Qt::UserRole + 6;
constexpr int IdRole = Qt::UserRole + 7;
// A row's log keeps its latest lines: the reason of a failure comes last.
constexpr int LogLines = 200;

// The local files and folders a drag carries; none when it carries
// anything else.
QStringList LocalPaths(const QMimeData *Data) {
  QStringList Paths;
  if (!Data || !Data->hasUrls()) return Paths;
  for (const QUrl &Url : Data->urls()) {
    if (!Url.isLocalFile()) return {};
    Paths << Url.toLocalFile();
  }
  return Paths;
}

}  // namespace

TFileListView::TFileListView(QWidget *Parent) : QTreeWidget(Parent) {
  setColumnCount(kAllColumns);
  QStringList Captions;
  for (const TColumn &C : kColumns) Captions << C.Caption;
  Captions << QString();
  setHeaderLabels(Captions);
  for (int I = 0; I < kVisibleColumns; ++I) {
    setColumnWidth(I, kColumns[I].Width);
    headerItem()->setTextAlignment(I, kColumns[I].Alignment | Qt::AlignVCenter);
  }
  hideColumn(kAllColumns - 1);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);
  setAcceptDrops(true);
  setDropIndicatorShown(false);
  FitAllColumns();
}

void TFileListView::resizeEvent(QResizeEvent *Event) {
  QTreeWidget::resizeEvent(Event);
  FitNameColumn();
}

void TFileListView::changeEvent(QEvent *Event) {
  QTreeWidget::changeEvent(Event);
  if (Event->type() == QEvent::FontChange || Event->type() == QEvent::StyleChange) FitAllColumns();
  if (Event->type() == QEvent::PaletteChange)
    for (int Row = 0; Row < RowCount(); ++Row) ColourProgress(topLevelItem(Row));
}

void TFileListView::FitNameColumn() {
  int Others = 0;
  for (int I = 1; I < kVisibleColumns; ++I) Others += columnWidth(I);
  const int Least = std::max(kNameLeast, header()->sectionSizeHint(0));
  setColumnWidth(0, std::max(Least, viewport()->width() - Others));
}

void TFileListView::FitColumn(int Column, const QString &Text) {
  int Needed = std::max(kColumns[Column].Width, header()->sectionSizeHint(Column));
  if (!Text.isEmpty()) {
    // What the item delegate asks for this text: its width and margins.
    QStyleOptionViewItem Option;
    initViewItemOption(&Option);
    Option.text = Text;
    Option.features |= QStyleOptionViewItem::HasDisplay;
    Needed =
        std::max(Needed, style()->sizeFromContents(QStyle::CT_ItemViewItem, &Option, QSize(), this).width());
  }
  if (Needed <= columnWidth(Column)) return;
  setColumnWidth(Column, Needed);
  FitNameColumn();
}

void TFileListView::FitAllColumns() {
  // From the classic widths up, for the font the list has now.
  for (int I = 1; I < kVisibleColumns; ++I) {
    setColumnWidth(I, kColumns[I].Width);
    FitColumn(I);
    for (int Row = 0; Row < RowCount(); ++Row) FitColumn(I, topLevelItem(Row)->text(I));
  }
  FitNameColumn();
  updateGeometry();
}

QSize TFileListView::sizeHint() const {
  int Width = kNameLeast;
  for (int I = 1; I < kVisibleColumns; ++I) Width += columnWidth(I);
  const int Frame = 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  return {Width + Frame, QTreeWidget::sizeHint().height()};
}

void TFileListView::ColourProgress(QTreeWidgetItem *Item) {
  const int Cell = Column(siProgress);
  const QColor Colour = OutcomeColour(Item->text(Cell), palette());
  Item->setData(Cell, Qt::ForegroundRole, Colour.isValid() ? QVariant(QBrush(Colour)) : QVariant());
}

void TFileListView::dragEnterEvent(QDragEnterEvent *Event) {
  if (LocalPaths(Event->mimeData()).isEmpty()) return Event->ignore();
  Event->acceptProposedAction();
}

void TFileListView::dragMoveEvent(QDragMoveEvent *Event) {
  if (LocalPaths(Event->mimeData()).isEmpty()) return Event->ignore();
  Event->acceptProposedAction();
}

void TFileListView::dropEvent(QDropEvent *Event) {
  const QStringList Paths = LocalPaths(Event->mimeData());
  if (Paths.isEmpty()) return Event->ignore();
  Event->acceptProposedAction();
  emit PathsDropped(Paths);
}

int TFileListView::AddRow(const QString &Caption, const QStringList &SubItems) {
  auto *Item = new QTreeWidgetItem(this);
  Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                 Qt::ItemNeverHasChildren);
  Item->setText(0, Caption);
  Item->setToolTip(0, Caption);  // the column is narrower than most paths
  Item->setCheckState(0, Qt::Checked);
  Item->setData(0, IdRole, ++FLastId);
  for (int I = 0; I < SubItemCount; ++I) {
    Item->setText(Column(TSubItem(I)), I < SubItems.size() ? SubItems[I] : QString());
    Item->setTextAlignment(Column(TSubItem(I)), Qt::AlignHCenter | Qt::AlignVCenter);
    if (Column(TSubItem(I)) < kVisibleColumns)
      FitColumn(Column(TSubItem(I)), Item->text(Column(TSubItem(I))));
  }
  ColourProgress(Item);
  return RowCount() - 1;
}

QString TFileListView::Caption(int Row) const { return topLevelItem(Row)->text(0); }

quint64 TFileListView::RowId(int Row) const { return topLevelItem(Row)->data(0, IdRole).toULongLong(); }

int TFileListView::RowOfId(quint64 Id) const {
  for (int Row = 0; Row < RowCount(); ++Row)
    if (RowId(Row) == Id) return Row;
  return -1;
}

TRowEstimate TFileListView::Estimate(int Row) const {
  return topLevelItem(Row)->data(Column(siEstimate), Qt::UserRole).value<TRowEstimate>();
}

void TFileListView::SetEstimate(int Row, const TRowEstimate &Estimate) {
  QTreeWidgetItem *Item = topLevelItem(Row);
  const int Cell = Column(siEstimate);
  Item->setData(Cell, Qt::UserRole, QVariant::fromValue(Estimate));
  const auto SizeText = [](double Bytes) { return QString::fromStdString(ByteSizeText(Bytes)); };
  const QString Expected = SizeText(Estimate.Bytes);
  QString Text, Spoken, Hint;
  if (Estimate.Written >= 0) {
    const QString Written = SizeText(double(Estimate.Written));
    Text = Estimate.Bytes >= 0 ? Written + " (est. " + Expected + ")" : Written;
    Spoken = Estimate.Bytes >= 0 ? Written + ", estimated " + Expected : Written;
  } else if (Estimate.Pending) {
    Text = "...";
    Spoken = "Estimating";
  } else if (Estimate.Bytes >= 0) {
    Text = Spoken = "about " + Expected;
  } else if (!Estimate.Why.empty()) {
    Text = Spoken = "Unknown";
    Hint = "No estimate: " + QString::fromStdString(Estimate.Why);
  }
  SetSubItem(Row, siEstimate, Text);
  Item->setData(Cell, Qt::AccessibleTextRole, Spoken.isEmpty() ? QVariant() : QVariant(Spoken));
  Item->setToolTip(Cell, Hint);
  Item->setData(Cell, Qt::AccessibleDescriptionRole, Hint.isEmpty() ? QVariant() : QVariant(Hint));
}

QString TFileListView::SubItem(int Row, TSubItem Index) const {
  return topLevelItem(Row)->text(Column(Index));
}

void TFileListView::SetSubItem(int Row, TSubItem Index, const QString &Text) {
  QTreeWidgetItem *Item = topLevelItem(Row);
  Item->setText(Column(Index), Text);
  if (Column(Index) < kVisibleColumns) FitColumn(Column(Index), Text);
  if (Index == siProgress) ColourProgress(Item);
}

void TFileListView::SetSubItemOfAll(TSubItem Index, const QString &Text) {
  for (int Row = 0; Row < RowCount(); ++Row) SetSubItem(Row, Index, Text);
}

TSourcePicture TFileListView::Picture(int Row) const {
  return topLevelItem(Row)->data(0, PictureRole).value<TSourcePicture>();
}

void TFileListView::SetPicture(int Row, const TSourcePicture &Picture) {
  topLevelItem(Row)->setData(0, PictureRole, QVariant::fromValue(Picture));
}

QString TFileListView::Subfolder(int Row) const {
  return topLevelItem(Row)->data(0, SubfolderRole).toString();
}

void TFileListView::SetSubfolder(int Row, const QString &Folder) {
  topLevelItem(Row)->setData(0, SubfolderRole, Folder.isEmpty() ? QVariant() : QVariant(Folder));
}

TFileDetails TFileListView::Details(int Row) const {
  return topLevelItem(Row)->data(0, DetailsRole).value<TFileDetails>();
}

void TFileListView::SetDetails(int Row, const TFileDetails &Details) {
  topLevelItem(Row)->setData(0, DetailsRole, QVariant::fromValue(Details));
}

TRowChoices TFileListView::Choices(int Row) const {
  const QVariant Choices = topLevelItem(Row)->data(0, ChoicesRole);
  return Choices.isValid() ? Choices.value<TRowChoices>() : TRowChoices();
}

void TFileListView::SetChoices(int Row, const TRowChoices &Choices) {
  QTreeWidgetItem *Item = topLevelItem(Row);
  Item->setData(0, ChoicesRole, QVariant::fromValue(Choices));
  const bool Range = Choices.StartMs > 0 || Choices.EndMs >= 0;
  QVariant FileDuration = Item->data(0, FileDurationRole);
  if (!FileDuration.isValid()) FileDuration = SubItem(Row, siDuration);
  Item->setData(0, FileDurationRole, Range ? FileDuration : QVariant());
  SetSubItem(Row, siDuration,
             Range ? QString::fromStdString(RangeText(Choices.StartMs, Choices.EndMs, Details(Row).LengthMs))
                   : FileDuration.toString());
}

QString TFileListView::ConvertedDuration(int Row) const {
  const TRowChoices Picked = Choices(Row);
  const int64_t Length = Details(Row).LengthMs;
  const int64_t End = Picked.EndMs >= 0 ? Picked.EndMs : Length;
  if (Picked.StartMs <= 0 && Picked.EndMs < 0) return SubItem(Row, siDuration);
  return End < 0 ? QString("Unknown") : QString::fromStdString(DurationText((End - Picked.StartMs) * 1000));
}

QString TFileListView::Reason(int Row) const { return topLevelItem(Row)->toolTip(Column(siProgress)); }

void TFileListView::SetReason(int Row, const QString &Text) {
  QTreeWidgetItem *Item = topLevelItem(Row);
  Item->setToolTip(Column(siProgress), Text);
  Item->setData(Column(siProgress), Qt::AccessibleDescriptionRole, Text);
}

QStringList TFileListView::Log(int Row) const { return topLevelItem(Row)->data(0, LogRole).toStringList(); }

void TFileListView::AppendLog(int Row, const QString &Line) {
  QStringList Lines = Log(Row);
  Lines << Line;
  while (Lines.size() > LogLines) Lines.removeFirst();
  topLevelItem(Row)->setData(0, LogRole, Lines);
}

void TFileListView::ClearLog(int Row) { topLevelItem(Row)->setData(0, LogRole, QVariant()); }

bool TFileListView::Checked(int Row) const { return topLevelItem(Row)->checkState(0) == Qt::Checked; }

void TFileListView::SetChecked(int Row, bool Checked) {
  topLevelItem(Row)->setCheckState(0, Checked ? Qt::Checked : Qt::Unchecked);
}

void TFileListView::SetAllChecked(bool Checked) {
  for (int Row = 0; Row < RowCount(); ++Row) SetChecked(Row, Checked);
}

void TFileListView::MakeVisible(int Row) {
  if (Row >= 0 && Row < RowCount()) scrollToItem(topLevelItem(Row), QAbstractItemView::EnsureVisible);
}

void TFileListView::drawRow(QPainter *Painter, const QStyleOptionViewItem &Option,
                            const QModelIndex &Index) const {
  QTreeWidget::drawRow(Painter, Option, Index);
  // Grid lines: a line under the row and one after every visible column.
  Painter->save();
  Painter->setPen(palette().color(QPalette::Midlight));
  const QRect Row = Option.rect;
  Painter->drawLine(Row.left(), Row.bottom(), Row.right(), Row.bottom());
  for (int I = 0; I < kVisibleColumns; ++I) {
    const int X = columnViewportPosition(I) + columnWidth(I) - 1;
    Painter->drawLine(X, Row.top(), X, Row.bottom());
  }
  Painter->restore();
}

}  // namespace korvane
