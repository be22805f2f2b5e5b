// SPDX-License-Identifier: GPL-3.0-or-later
// A panel of the status bar: a label that shows as much of its text as fits,
// cut in the middle ("holiday…clip.avi"), and the whole text as its hint.
// It asks for little room, so a long text never widens the window.
#pragma once

#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace korvane {

class TStatusLabel : public QLabel {
 public:
  explicit TStatusLabel(QWidget *Parent = nullptr) : QLabel(Parent) {}

  // The text, and the same as the hint when it may not fit.
  void SetText(const QString &Text) {
    setText(Text);
    setToolTip(Text);
  }
  QSize minimumSizeHint() const override { return {minimumWidth(), QLabel::minimumSizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter Painter(this);
    const QRect Room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString Shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, Room.width());
    style()->drawItemText(&Painter, Room, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), Shown, foregroundRole());
  }
};

}  // namespace korvane
