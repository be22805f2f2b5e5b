// SPDX-License-Identifier: GPL-3.0-or-later
// The Additional Options dialog: the overwrite choice, whether outputs keep
// their source's file date, the number of lines the output-format list
// drops down, the files converted at the same time, keeping an added
// folder's tree and skipping complete outputs. Its creation loads the stored
// settings into itself and the main window; its choices take effect at once.
#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace korvane {

class TForm1;
class TSpinEdit;

class TForm4 : public QDialog {
  Q_OBJECT
 public:
  // Registers itself with Form1 and runs FormCreate.
  explicit TForm4(TForm1 &Form1);

  QGroupBox *GroupBox1;
  QCheckBox *CheckBoxOverWrite;
  // Outputs take their source's modification time; kept from one start to the next.
  QCheckBox *CheckBoxKeepFileDate;
  TSpinEdit *SpinEdit1;
  QLabel *Label1;
  // 1 (one file after another) to the number of cores; kept from one start
  // to the next.
  QSpinBox *SpinEditFilesAtOnce;
  QLabel *LabelFilesAtOnce;
  // Outputs in the folders their files had below an added folder; files
  // whose outputs are complete already skipped. Kept from one start to the
  // next.
  QCheckBox *CheckBoxKeepFolders;
  QCheckBox *CheckBoxSkipExisting;
  QPushButton *Button1;

  void SpinEdit1Change();
  void Button1Click() { hide(); }

 protected:
  void showEvent(QShowEvent *Event) override;
  void changeEvent(QEvent *Event) override;

 private:
  void FormCreate();
  // Its classic size, or what its texts need at the font it has if more.
  void FitSize();
  TForm1 &FForm1;
};

}  // namespace korvane
