// SPDX-License-Identifier: GPL-3.0-or-later
// Set Time Range: the part of a row's file that is converted, from a start
// to an end typed as H:MM:SS.mmm or seconds. A range past the end of the
// file, or one that ends before it starts, is refused here with what is
// wrong, before any conversion.
#pragma once

#include <QDialog>
#include <cstdint>

#include "RowSetup.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korvane {

class TTimeRangeDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TTimeRangeDialog(QWidget *Parent = nullptr);

  QLabel *LabelFile, *LabelLength;
  QLineEdit *EditStart, *EditEnd;  // empty: the start, the end of the file
  QLabel *LabelProblem;            // why the range typed cannot be kept
  QPushButton *ButtonWholeFile;    // empties both fields
  QDialogButtonBox *Buttons;

  // Fills the dialog for File, LengthMs long (-1: unknown), with the range
  // Choices has.
  void ShowRange(const QString &File, int64_t LengthMs, const TRowChoices &Choices);
  // Choices with the range the dialog accepted.
  TRowChoices Chosen(TRowChoices Choices) const;

  // OK keeps the range only when it reads and fits the file.
  void accept() override;

 private:
  // Says what is wrong and puts the focus on the field at fault.
  void Refuse(QLineEdit *Field, const QString &Text);
  int64_t FLengthMs = -1;
  int64_t FStartMs = 0, FEndMs = -1;  // as accepted
};

}  // namespace korvane
