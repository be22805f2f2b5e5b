// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "RowOutcome.h"

namespace korvane {

TLogWindow::TLogWindow(QWidget *Parent) : QDialog(Parent) {
  setObjectName("LogWindow");
  setWindowTitle("Log");
  setModal(false);
  setSizeGripEnabled(true);

  LabelFile = new QLabel(this);
  LabelFile->setObjectName("LabelFile");
  QFont Bold = LabelFile->font();
  Bold.setBold(true);
  LabelFile->setFont(Bold);
  LabelFile->setWordWrap(true);
  LabelFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
  LabelReason = new QLabel(this);
  LabelReason->setObjectName("LabelReason");
  LabelReason->setWordWrap(true);
  LabelReason->setTextFormat(Qt::PlainText);
  LabelReason->setTextInteractionFlags(Qt::TextSelectableByMouse);
  LabelReason->setAccessibleName("Reason");
  MemoLog = new QPlainTextEdit(this);
  MemoLog->setObjectName("MemoLog");
  MemoLog->setReadOnly(true);
  MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  MemoLog->setAccessibleName("Log");

  auto *Buttons = new QDialogButtonBox(this);
  ButtonCopy = Buttons->addButton("&Copy", QDialogButtonBox::ActionRole);
  ButtonCopy->setObjectName("ButtonCopy");
  ButtonCopy->setToolTip("Copy the reason and the log");
  ButtonClose = Buttons->addButton(QDialogButtonBox::Close);
  ButtonClose->setObjectName("ButtonClose");
  ButtonClose->setDefault(true);
  connect(ButtonCopy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(Text()); });
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto *Layout = new QVBoxLayout(this);
  Layout->addWidget(LabelFile);
  Layout->addWidget(LabelReason);
  Layout->addWidget(MemoLog, 1);
  Layout->addWidget(Buttons);
}

void TLogWindow::ShowRow(const QString &File, const QString &Outcome, const QString &Reason,
                         const QStringList &Lines) {
  setWindowTitle("Log - " + QFileInfo(File).fileName());
  LabelFile->setText(File);
  LabelReason->setText(OutcomeSentence(Outcome, Reason));
  MemoLog->setPlainText(Lines.isEmpty() ? QString("Nothing was logged.") : Lines.join('\n'));
  MemoLog->moveCursor(QTextCursor::End);
  if (!isVisible()) {
    // A size to read a log in, within the screen whatever the log's length.
    const QScreen *Screen = parentWidget() ? parentWidget()->screen() : screen();
    const QRect Room = Screen ? Screen->availableGeometry() : QRect(0, 0, 800, 600);
    const QSize Size = QSize(640, 440).expandedTo(minimumSizeHint()).boundedTo(Room.size() * 9 / 10);
    resize(Size);
    const QPoint Centre = parentWidget() ? parentWidget()->geometry().center() : Room.center();
    QRect Place(QPoint(), Size);
    Place.moveCenter(Centre);
    Place.moveTop(std::clamp(Place.top(), Room.top(), std::max(Room.top(), Room.bottom() - Size.height())));
    Place.moveLeft(std::clamp(Place.left(), Room.left(), std::max(Room.left(), Room.right() - Size.width())));
    move(Place.topLeft());
  }
  show();
  raise();
  activateWindow();
  ButtonClose->setFocus();
}

QString TLogWindow::Text() const {
  return LabelFile->text() + "\n\n" + LabelReason->text() + "\n\n" + MemoLog->toPlainText() + "\n";
}

}  // namespace korvane
