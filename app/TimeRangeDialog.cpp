// SPDX-License-Identifier: GPL-3.0-or-later
#include "TimeRangeDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "FileLabel.h"
#include "TimeRange.h"

namespace korvane {

TTimeRangeDialog::TTimeRangeDialog(QWidget *Parent) : QDialog(Parent) {
  setObjectName("TimeRangeDialog");
  setWindowTitle("Set Time Range");
  LabelFile = NewFileLabel(this);
  LabelLength = new QLabel(this);
  LabelLength->setObjectName("LabelLength");
  LabelLength->setWordWrap(true);
  EditStart = new QLineEdit(this);
  EditStart->setObjectName("EditStart");
  EditStart->setAccessibleName("Start");
  EditStart->setPlaceholderText(QString::fromStdString(ClockText(0)));
  EditEnd = new QLineEdit(this);
  EditEnd->setObjectName("EditEnd");
  EditEnd->setAccessibleName("End");
  for (QLineEdit *Edit : {EditStart, EditEnd}) {
    Edit->setToolTip("H:MM:SS.mmm (0:01:30.500) or seconds (90.5)");
    Edit->setMinimumWidth(Edit->fontMetrics().horizontalAdvance("00:00:00.000000") + 12);
  }
  LabelProblem = new QLabel(this);
  LabelProblem->setObjectName("LabelProblem");
  LabelProblem->setWordWrap(true);
  LabelProblem->setTextFormat(Qt::PlainText);
  LabelProblem->setAccessibleName("Problem");
  QFont Problem = LabelProblem->font();
  Problem.setBold(true);
  LabelProblem->setFont(Problem);
  LabelProblem->hide();
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->setObjectName("Buttons");
  ButtonWholeFile = Buttons->addButton("&Whole File", QDialogButtonBox::ResetRole);
  ButtonWholeFile->setObjectName("ButtonWholeFile");
  ButtonWholeFile->setToolTip("Convert the whole file");
  connect(Buttons, &QDialogButtonBox::accepted, this, &TTimeRangeDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(ButtonWholeFile, &QPushButton::clicked, this, [this] {
    EditStart->clear();
    EditEnd->clear();
    LabelProblem->hide();
    EditStart->setFocus();
  });

  auto *Fields = new QFormLayout;
  Fields->addRow(new QLabel("&Start:", this), EditStart);
  Fields->addRow(new QLabel("&End:", this), EditEnd);
  for (QLineEdit *Edit : {EditStart, EditEnd})
    static_cast<QLabel *>(Fields->labelForField(Edit))->setBuddy(Edit);
  auto *Layout = new QVBoxLayout(this);
  Layout->addWidget(LabelFile);
  Layout->addWidget(LabelLength);
  Layout->addLayout(Fields);
  Layout->addWidget(LabelProblem);
  Layout->addStretch(1);
  Layout->addWidget(Buttons);
  Layout->setSizeConstraint(QLayout::SetMinimumSize);
  setTabOrder(EditStart, EditEnd);
  setTabOrder(EditEnd, Buttons);
}

void TTimeRangeDialog::ShowRange(const QString &File, int64_t LengthMs, const TRowChoices &Choices) {
  setWindowTitle("Set Time Range - " + QFileInfo(File).fileName());
  LabelFile->setText(File);
  FLengthMs = LengthMs;
  FStartMs = Choices.StartMs;
  FEndMs = Choices.EndMs;
  LabelLength->setText(
      (LengthMs >= 0 ? "The file is " + QString::fromStdString(ClockText(LengthMs)) + " long. "
                     : QString("The file's length is not known. ")) +
      "Type times as H:MM:SS.mmm or as seconds; an empty field is the start or the end of the file.");
  EditStart->setText(Choices.StartMs > 0 ? QString::fromStdString(ClockText(Choices.StartMs)) : QString());
  EditEnd->setText(Choices.EndMs >= 0 ? QString::fromStdString(ClockText(Choices.EndMs)) : QString());
  EditEnd->setPlaceholderText(LengthMs >= 0 ? QString::fromStdString(ClockText(LengthMs)) : QString());
  LabelProblem->clear();
  LabelProblem->hide();
  Buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  EditStart->setFocus();
  EditStart->selectAll();
  adjustSize();
}

void TTimeRangeDialog::Refuse(QLineEdit *Field, const QString &Text) {
  LabelProblem->setText(Text);
  LabelProblem->show();
  Field->setFocus();
  Field->selectAll();
}

void TTimeRangeDialog::accept() {
  std::optional<int64_t> Times[2];
  QLineEdit *const Fields[2] = {EditStart, EditEnd};
  for (int I = 0; I < 2; ++I) {
    const QString Typed = Fields[I]->text().trimmed();
    if (Typed.isEmpty()) continue;
    Times[I] = ReadClockTime(Typed.toStdString());
    if (!Times[I])
      return Refuse(
          Fields[I],
          "\"" + Typed + "\" is not a time: type H:MM:SS.mmm, as 0:01:30.500, or seconds, as 90.5.");
  }
  const int64_t Start = Times[0].value_or(0), End = Times[1].value_or(-1);
  if (const std::string Problem = RangeProblem(Start, End, FLengthMs); !Problem.empty())
    return Refuse(FLengthMs >= 0 && Start >= FLengthMs ? EditStart : EditEnd,
                  QString::fromStdString(Problem));
  FStartMs = Start;
  FEndMs = End;
  LabelProblem->hide();
  QDialog::accept();
}

TRowChoices TTimeRangeDialog::Chosen(TRowChoices Choices) const {
  Choices.StartMs = FStartMs;
  Choices.EndMs = FEndMs;
  return Choices;
}

}  // namespace korvane
