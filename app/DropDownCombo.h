// A drop-down list that announces each drop-down before its list opens, so
// the owner can set the number of lines it shows.
#pragma once

#include <QComboBox>

namespace korvane {

class TDropDownCombo : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;

  void showPopup() override {
    emit DroppingDown();
    QComboBox::showPopup();
  }

 signals:
  void DroppingDown();
};

}  // namespace korvane
