// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the program's name and version, its licence and the
// libraries it uses, a link to the maker's web site and one that starts a
// mail to the support department.
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

namespace korvane {

class TLinkLabel;

inline const QUrl kWebSiteUrl = QUrl(QStringLiteral("https://www.korvane.com/"));
inline const QUrl kSupportMailUrl = QUrl(QStringLiteral("mailto:support@korvane.com"));

class TFormAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAbout(QWidget *Owner);

  QLabel *Image1;
  QLabel *Label1;
  QLabel *Label4;  // licence and credits
  TLinkLabel *Label2;
  TLinkLabel *Label3;
  QPushButton *SpeedButton1;

  void Label2Click();
  void Label3Click();
  void SpeedButton1Click() { accept(); }

 protected:
  // Opens with the focus on OK, so Enter closes it rather than follow a link.
  void showEvent(QShowEvent *Event) override;
  void changeEvent(QEvent *Event) override;

 private:
  // Its classic size, or what its texts need at the font it has if more.
  void FitSize();
};

}  // namespace korvane
