// SPDX-License-Identifier: GPL-3.0-or-later
// A drop-down list that announces each drop-down before its list opens, so
// the owner can set the number of lines it shows, whose list shows that
// many lines whatever the style, and opens at the current item.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>

namespace korvane {

class TDropDownCombo : public QComboBox {
  Q_OBJECT
 public:
  explicit TDropDownCombo(QWidget *Parent = nullptr) : QComboBox(Parent) {
    // Styles that open a list beside its current item (Fusion, the default)
    // ignore the number of lines; a plain list below the box takes it.
    setStyleSheet("QComboBox { combobox-popup: 0; }");
  }

  void showPopup() override {
    emit DroppingDown();
    QComboBox::showPopup();
    // The list opens on the current item with its neighbours around it,
    // not at the list's top or edge.
    if (currentIndex() >= 0)
      view()->scrollTo(model()->index(currentIndex(), modelColumn(), rootModelIndex()),
                       QAbstractItemView::PositionAtCenter);
  }

 signals:
  void DroppingDown();
};

}  // namespace korvane
