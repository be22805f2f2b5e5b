// SPDX-License-Identifier: GPL-3.0-or-later
// The log of a row of the file list: why the row ended as it did, in plain
// words on top, and what its conversion logged below, in a window that can
// be resized and scrolled however long the log, with Copy and Close.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace korvane {

class TLogWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TLogWindow(QWidget *Parent = nullptr);

  QLabel *LabelFile;        // the row's file
  QLabel *LabelReason;      // its outcome in plain words and the reason
  QPlainTextEdit *MemoLog;  // the lines its conversion logged
  QPushButton *ButtonCopy, *ButtonClose;

  // Shows the row of File whose "Progress" reads Outcome, with its Reason
  // and Lines, and brings the window up within the screen.
  void ShowRow(const QString &File, const QString &Outcome, const QString &Reason, const QStringList &Lines);
  // The reason and the log as one text, as Copy puts it on the clipboard.
  QString Text() const;
};

}  // namespace korvane
