// SPDX-License-Identifier: GPL-3.0-or-later
#include "AdditionalOptions.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "FontFixUp.h"
#include "MainWindow.h"
#include "Settings.h"
#include "SpinEdit.h"

namespace korvane {

TForm4::TForm4(TForm1 &Form1) : QDialog(&Form1), FForm1(Form1) {
  setObjectName("Form4");
  setWindowTitle("Additional Options");
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(false);

  GroupBox1 = new QGroupBox(" Additional Options ", this);
  CheckBoxOverWrite = new QCheckBox("Overwrite Existing File With The Same Name", GroupBox1);
  CheckBoxOverWrite->setObjectName("CheckBoxOverWrite");
  CheckBoxKeepFileDate = new QCheckBox("Keep the source's file date", GroupBox1);
  CheckBoxKeepFileDate->setObjectName("CheckBoxKeepFileDate");
  CheckBoxKeepFileDate->setToolTip(
      "The converted file is dated as its source, so photo libraries file it under "
      "the day it was made");
  SpinEdit1 = new TSpinEdit(26, 47, 27, GroupBox1);
  SpinEdit1->setObjectName("SpinEdit1");
  Label1 = new QLabel(" Drop Down Items in Output Format List", GroupBox1);
  Label1->setBuddy(SpinEdit1);
  SpinEdit1->setAccessibleName(Label1->text().trimmed());
  SpinEditFilesAtOnce = new QSpinBox(GroupBox1);
  SpinEditFilesAtOnce->setObjectName("SpinEditFilesAtOnce");
  SpinEditFilesAtOnce->setRange(1, std::max(1u, std::thread::hardware_concurrency()));
  LabelFilesAtOnce = new QLabel(" Files converted at the same time", GroupBox1);
  LabelFilesAtOnce->setBuddy(SpinEditFilesAtOnce);
  SpinEditFilesAtOnce->setAccessibleName(LabelFilesAtOnce->text().trimmed());
  CheckBoxKeepFolders = new QCheckBox("Keep folder structure", GroupBox1);
  CheckBoxKeepFolders->setObjectName("CheckBoxKeepFolders");
  CheckBoxKeepFolders->setToolTip(
      "Each output goes to the folder below the output folder that its file had "
      "below the folder it was added with");
  CheckBoxSkipExisting = new QCheckBox("Skip files converted already", GroupBox1);
  CheckBoxSkipExisting->setObjectName("CheckBoxSkipExisting");
  CheckBoxSkipExisting->setToolTip(
      "A file whose output in the output folder is complete is not converted "
      "again; an output cut short is");
  Button1 = new QPushButton("Done", this);
  Button1->setObjectName("Button1");

  auto *SpinRow = new QHBoxLayout;
  SpinRow->addWidget(SpinEdit1);
  SpinRow->addWidget(Label1, 1);
  auto *FilesRow = new QHBoxLayout;
  FilesRow->addWidget(SpinEditFilesAtOnce);
  FilesRow->addWidget(LabelFilesAtOnce, 1);
  auto *GroupLayout = new QVBoxLayout(GroupBox1);
  GroupLayout->addWidget(CheckBoxOverWrite);
  GroupLayout->addWidget(CheckBoxKeepFileDate);
  GroupLayout->addLayout(SpinRow);
  GroupLayout->addLayout(FilesRow);
  GroupLayout->addWidget(CheckBoxKeepFolders);
  GroupLayout->addWidget(CheckBoxSkipExisting);
  GroupLayout->addStretch(1);
  auto *ButtonRow = new QHBoxLayout;
  ButtonRow->addStretch(1);
  ButtonRow->addWidget(Button1);
  auto *Layout = new QVBoxLayout(this);
  Layout->addWidget(GroupBox1, 1);
  Layout->addLayout(ButtonRow);
  FitSize();

  connect(SpinEdit1, &TSpinEdit::Changed, this, [this] { SpinEdit1Change(); });
  connect(SpinEditFilesAtOnce, &QSpinBox::valueChanged, this, [](int Count) { StoreFilesAtOnce(Count); });
  connect(CheckBoxKeepFileDate, &QCheckBox::toggled, this, [](bool Keep) { StoreKeepFileDate(Keep); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(CheckBoxKeepFolders, &QCheckBox::toggled, this, [](bool On) { StoreFlag(kKeepFolders, On); });
  connect(CheckBoxSkipExisting, &QCheckBox::toggled, this, [](bool On) { StoreFlag(kSkipExisting, On); });

  FForm1.Form4 = this;
  FormCreate();
}

void TForm4::FormCreate() {
  FormFontFixUp(*this);
  try {
    LoadSettings(FForm1.SettingsControls());
  } catch (...) {
  }
  {
    const QSignalBlocker Blocker(CheckBoxKeepFileDate);
    CheckBoxKeepFileDate->setChecked(StoredKeepFileDate());
  }
  bool Ok = false;
  const int FilesAtOnce = StoredFilesAtOnce().toInt(&Ok);
  if (Ok) {
    const QSignalBlocker Blocker(SpinEditFilesAtOnce);
    SpinEditFilesAtOnce->setValue(FilesAtOnce);  // within the range
  }
  for (const auto &[Box, Name] :
       {std::pair{CheckBoxKeepFolders, kKeepFolders}, {CheckBoxSkipExisting, kSkipExisting}}) {
    const QSignalBlocker Blocker(Box);
    Box->setChecked(StoredFlag(Name));
  }
}

void TForm4::FitSize() {
  // The size is fixed (the dialog is not resized), so it is set from what
  // the layout needs now: the classic size at most fonts, more at larger ones.
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  layout()->invalidate();
  layout()->activate();
  setFixedSize(QSize(408, 247).expandedTo(layout()->totalMinimumSize()).expandedTo(sizeHint()));
}

void TForm4::changeEvent(QEvent *Event) {
  QDialog::changeEvent(Event);
  if (Event->type() == QEvent::FontChange && layout()) FitSize();
}

void TForm4::SpinEdit1Change() { FForm1.SetFormatDropDownCount(SpinEdit1->Value()); }

void TForm4::showEvent(QShowEvent *Event) {
  // Centred on the main window.
  move(FForm1.geometry().center() - rect().center());
  QDialog::showEvent(Event);
}

}  // namespace korvane
