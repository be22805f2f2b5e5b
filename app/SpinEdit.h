// SPDX-License-Identifier: GPL-3.0-or-later
// A spin edit with the old rules: setting a value limits it to MinValue ..
// MaxValue, and so do the arrows, but a number typed into it is taken as
// typed, and a text that is not a number reads as MinValue.
#pragma once

#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>
#include <climits>

namespace korvane {

class TSpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  TSpinEdit(int MinValue, int MaxValue, int InitialValue, QWidget *Parent = nullptr)
      : QSpinBox(Parent), FMinValue(MinValue), FMaxValue(MaxValue) {
    // The box itself takes any number, so that typed text is kept as typed.
    setRange(INT_MIN, INT_MAX);
    SetValue(InitialValue);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit Changed(Value()); });
    connect(this, &QSpinBox::valueChanged, this, [this] { emit Changed(Value()); });
  }

  // The edit the user types into.
  using QSpinBox::lineEdit;

  int MinValue() const { return FMinValue; }
  int MaxValue() const { return FMaxValue; }
  // The typed text as a decimal number; MinValue when it is not one.
  int Value() const {
    bool Ok = false;
    const int Typed = text().trimmed().toInt(&Ok);
    return Ok ? Typed : FMinValue;
  }
  void SetValue(int NewValue) { setValue(std::clamp(NewValue, FMinValue, FMaxValue)); }

  void stepBy(int Steps) override { SetValue(Value() + Steps * singleStep()); }

 signals:
  // After every change of the value, typed or set.
  void Changed(int Value);

 protected:
  StepEnabled stepEnabled() const override {
    StepEnabled Enabled = StepNone;
    if (Value() < FMaxValue) Enabled |= StepUpEnabled;
    if (Value() > FMinValue) Enabled |= StepDownEnabled;
    return Enabled;
  }

 private:
  int FMinValue;
  int FMaxValue;
};

}  // namespace korvane
