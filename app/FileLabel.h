// SPDX-License-Identifier: GPL-3.0-or-later
// The file a row dialog is about, at its top: the whole path in bold,
// wrapped, shown as plain text whatever characters the name holds.
#pragma once

#include <QLabel>

namespace korvane {

inline QLabel *NewFileLabel(QWidget *Dialog) {
  auto *Label = new QLabel(Dialog);
  Label->setObjectName("LabelFile");
  Label->setWordWrap(true);
  Label->setTextFormat(Qt::PlainText);
  QFont Bold = Label->font();
  Bold.setBold(true);
  Label->setFont(Bold);
  return Label;
}

}  // namespace korvane
