#include "AboutBox.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "AppIcons.h"
#include "FontFixUp.h"
#include "LinkLabel.h"

namespace korvane {

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
  Layout->addStretch(1);
  Layout->addWidget(Label2);
  Layout->addWidget(Label3);
  Layout->addStretch(1);
  Layout->addLayout(Buttons);
  setFixedSize(370, 260);

  connect(Label2, &TLinkLabel::clicked, this, [this] { Label2Click(); });
  connect(Label3, &TLinkLabel::clicked, this, [this] { Label3Click(); });
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });

  FormFontFixUp(*this);
}

void TFormAbout::Label2Click() { QDesktopServices::openUrl(kWebSiteUrl); }

void TFormAbout::Label3Click() { QDesktopServices::openUrl(kSupportMailUrl); }

void TFormAbout::showEvent(QShowEvent *Event) {
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  QDialog::showEvent(Event);
}

}  // namespace korvane
