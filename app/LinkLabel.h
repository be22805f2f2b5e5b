// SPDX-License-Identifier: GPL-3.0-or-later
// A label that reads as a link (blue, underlined, hand cursor) and reports a
// click.
#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace korvane {

class TLinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TLinkLabel(const QString &Text, QWidget *Parent = nullptr) : QLabel(Text, Parent) {
    QFont Font = font();
    Font.setUnderline(true);
    setFont(Font);
    QPalette Colours = palette();
    Colours.setColor(QPalette::WindowText, Qt::blue);
    setPalette(Colours);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(Text.trimmed());
  }

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent *Event) override {
    if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint())) emit clicked();
  }
  void keyPressEvent(QKeyEvent *Event) override {
    if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter || Event->key() == Qt::Key_Space)
      emit clicked();
    else
      QLabel::keyPressEvent(Event);
  }
};

}  // namespace korvane
