// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutBox.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "AVLibraries.h"
#include "AppIcons.h"
#include "FontFixUp.h"
#include "LibAVCodec.h"
#include "LibAVUtil.h"
#include "LinkLabel.h"

namespace korvane {

namespace {

// The program's licence, and the FFmpeg and Qt it runs with: FFmpeg's
// release, libavcodec's version and licence as the loaded libraries report
// them (the headers' version when they are not loaded), Qt's version from the
// library in use.
QString LicenceAndCredits() {
  unsigned Version = LIBAVCODEC_VERSION_INT;
  QString Release, Licence = QStringLiteral("LGPL or GPL as built");
  if (AVLibrariesLoaded()) {
    Version = LibAVCodec::avcodec_version();
    Release = QString::fromUtf8(LibAVUtil::av_version_info()) + ' ';
    Licence = QString::fromUtf8(LibAVCodec::avcodec_license());
  }
  const QString FFmpeg = QStringLiteral("FFmpeg %1(libavcodec %2.%3.%4, %5)")
                             .arg(Release)
                             .arg(AV_VERSION_MAJOR(Version))
                             .arg(AV_VERSION_MINOR(Version))
                             .arg(AV_VERSION_MICRO(Version))
                             .arg(Licence);
  return QStringLiteral(
             "Free software under the GNU GPL, version 3 or later.\nUses %1 and Qt %2 (LGPL version 3).")
      .arg(FFmpeg, QString::fromLatin1(qVersion()));
}

}  // namespace

TFormAbout::TFormAbout(QWidget *Owner) : QDialog(Owner) {
  setObjectName("FormAbout");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(ApplicationIcon().pixmap(32, 32));
  Image1->setFixedSize(32, 32);
  Image1->setAccessibleName("Korvane Video Converter icon");
  Label1 = new QLabel("Korvane Video Converter 4.0", this);
  Label1->setObjectName("Label1");
  QFont Bold = Label1->font();
  Bold.setBold(true);
  Label1->setFont(Bold);
  Label4 = new QLabel(LicenceAndCredits(), this);
  Label4->setObjectName("Label4");
  Label4->setWordWrap(true);
  Label2 = new TLinkLabel("Visit Korvane Website  for More Softwares ", this);
  Label2->setObjectName("Label2");
  Label3 = new TLinkLabel("Contact Support Department", this);
  Label3->setObjectName("Label3");
  SpeedButton1 = new QPushButton("OK", this);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setFont(Bold);
  SpeedButton1->setDefault(true);

  auto *Head = new QHBoxLayout;
  Head->addWidget(Image1, 0, Qt::AlignTop);
  Head->addSpacing(12);
  Head->addWidget(Label1, 1);
  auto *Buttons = new QHBoxLayout;
  Buttons->addStretch(1);
  Buttons->addWidget(SpeedButton1);
  auto *Layout = new QVBoxLayout(this);
  Layout->addLayout(Head);
  Layout->addWidget(Label4);
  Layout->addStretch(1);
  Layout->addWidget(Label2);
  Layout->addWidget(Label3);
  Layout->addStretch(1);
  Layout->addLayout(Buttons);
  FitSize();

  connect(Label2, &TLinkLabel::clicked, this, [this] { Label2Click(); });
  connect(Label3, &TLinkLabel::clicked, this, [this] { Label3Click(); });
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });

  FormFontFixUp(*this);
}

void TFormAbout::Label2Click() { QDesktopServices::openUrl(kWebSiteUrl); }

void TFormAbout::Label3Click() { QDesktopServices::openUrl(kSupportMailUrl); }

void TFormAbout::FitSize() {
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  layout()->invalidate();
  layout()->activate();
  setFixedSize(QSize(370, 260).expandedTo(layout()->totalMinimumSize()).expandedTo(sizeHint()));
}

void TFormAbout::changeEvent(QEvent *Event) {
  QDialog::changeEvent(Event);
  if (Event->type() == QEvent::FontChange && layout()) FitSize();
}

void TFormAbout::showEvent(QShowEvent *Event) {
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  QDialog::showEvent(Event);
  SpeedButton1->setFocus(Qt::ActiveWindowFocusReason);
}

}  // namespace korvane
