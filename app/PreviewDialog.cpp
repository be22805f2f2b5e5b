// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "FileLabel.h"
#include "PreviewMaker.h"
#include "TimeRange.h"

namespace korvane {

namespace {

// The slider's rest before a picture is asked for, so that a drag asks for
// the picture where it stops rather than for every step on the way.
constexpr int SettlePause = 150;

QString ClockQText(int64_t Ms) { return QString::fromStdString(ClockText(Ms)); }

}  // namespace

TPreviewDialog::TPreviewDialog(QWidget *Parent) : QDialog(Parent) {
  setObjectName("PreviewDialog");
  setWindowTitle("Preview");
  setSizeGripEnabled(true);
  LabelFile = NewFileLabel(this);
  LabelPicture = new QLabel;
  LabelPicture->setObjectName("LabelPicture");
  LabelPicture->setAlignment(Qt::AlignCenter);
  LabelPicture->setAccessibleName("Preview picture");
  ScrollPicture = new QScrollArea(this);
  ScrollPicture->setObjectName("ScrollPicture");
  ScrollPicture->setWidget(LabelPicture);
  ScrollPicture->setWidgetResizable(true);
  ScrollPicture->setBackgroundRole(QPalette::Dark);
  ScrollPicture->setAccessibleName("Preview picture");
  ScrollPicture->setMinimumSize(320, 240);
  SliderTime = new QSlider(Qt::Horizontal, this);
  SliderTime->setObjectName("SliderTime");
  SliderTime->setAccessibleName("Time");
  SliderTime->setToolTip("Where in the file the picture is taken");
  LabelTimeCaption = new QLabel("&Time:", this);
  LabelTimeCaption->setBuddy(SliderTime);
  LabelTime = new QLabel(this);
  LabelTime->setObjectName("LabelTime");
  LabelTime->setAccessibleName("Time of the picture");
  LabelState = new QLabel(this);
  LabelState->setObjectName("LabelState");
  LabelState->setWordWrap(true);
  LabelState->setTextFormat(Qt::PlainText);
  LabelState->setAccessibleName("Picture");
  Buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  Buttons->setObjectName("Buttons");
  Buttons->button(QDialogButtonBox::Close)->setDefault(true);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  FSettle = new QTimer(this);
  FSettle->setSingleShot(true);
  FSettle->setInterval(SettlePause);
  connect(FSettle, &QTimer::timeout, this, [this] { AskPicture(); });
  connect(SliderTime, &QSlider::valueChanged, this, [this] {
    ShowTime();
    FSettle->start();
  });

  auto *TimeRow = new QHBoxLayout;
  TimeRow->addWidget(LabelTimeCaption);
  TimeRow->addWidget(SliderTime, 1);
  TimeRow->addWidget(LabelTime);
  auto *Layout = new QVBoxLayout(this);
  Layout->addWidget(LabelFile);
  Layout->addWidget(ScrollPicture, 1);
  Layout->addLayout(TimeRow);
  Layout->addWidget(LabelState);
  Layout->addWidget(Buttons);
  setTabOrder(SliderTime, ScrollPicture);
  setTabOrder(ScrollPicture, Buttons);
}

TPreviewDialog::~TPreviewDialog() {
  // The maker's thread ends before the folder it writes to goes.
  FMaker.reset();
}

void TPreviewDialog::ShowPreview(const QString &File, const TConversionSetup &Setup, int64_t LengthMs,
                                 int64_t AtMs, const std::string &LibraryFolder) {
  setWindowTitle("Preview - " + QFileInfo(File).fileName());
  LabelFile->setText(File);
  FSetup = Setup;
  FLengthMs = LengthMs;
  {
    // A picture needs a frame to start at: the slider ends just before the
    // end of the file.
    const QSignalBlocker Blocker(SliderTime);
    const int Last = int(std::clamp<int64_t>(LengthMs - 1, 0, INT32_MAX));
    SliderTime->setRange(0, Last);
    SliderTime->setSingleStep(1000);
    SliderTime->setPageStep(std::max(1000, Last / 10));
    SliderTime->setValue(int(std::clamp<int64_t>(AtMs, 0, Last)));
    SliderTime->setEnabled(Last > 0);
  }
  ShowTime();
  FPicture = QImage();
  FPictureMs = -1;
  FSized = false;
  LabelPicture->clear();
  // Pictures of an earlier opening that come late are not this file's.
  FMaker.reset();
  FAsked = FAnswered = 0;
  const int Generation = ++FGeneration;
  FMaker = std::make_unique<TPreviewMaker>(
      LibraryFolder, FFolder.path().toStdString(), [this, Generation](TPreviewPicture &&Made) {
        auto Picture = std::make_shared<TPreviewPicture>(std::move(Made));
        QMetaObject::invokeMethod(
            this,
            [this, Generation, Picture] {
              if (Generation == FGeneration) ShowPicture(*Picture);
            },
            Qt::QueuedConnection);
      });
  AskPicture();
  open();
  SliderTime->setFocus();
}

void TPreviewDialog::done(int Result) {
  FSettle->stop();
  ++FGeneration;
  FMaker.reset();
  FAsked = FAnswered = 0;
  QDialog::done(Result);
}

void TPreviewDialog::AskPicture() {
  if (!FMaker) return;
  FAsked = FMaker->Request(FSetup, SliderTime->value());
  LabelState->setText("Making the picture at " + ClockQText(SliderTime->value()) + "...");
}

void TPreviewDialog::ShowTime() {
  LabelTime->setText(ClockQText(SliderTime->value()) +
                     (FLengthMs >= 0 ? " of " + ClockQText(FLengthMs) : QString()));
}

void TPreviewDialog::ShowPicture(const TPreviewPicture &Made) {
  FAnswered = Made.Serial;
  QImage Image;
  const bool Read = !Made.Png.empty() && Image.loadFromData(reinterpret_cast<const uchar *>(Made.Png.data()),
                                                            int(Made.Png.size()), "PNG");
  if (!Read) {
    FPicture = QImage();
    FPictureMs = -1;
    LabelPicture->clear();
    LabelState->setText("No picture at " + ClockQText(Made.Ms) + ": " +
                        QString::fromStdString(Made.Error.empty() ? "it could not be read" : Made.Error));
    return;
  }
  FPicture = Image;
  FPictureMs = Made.Ms;
  LabelPicture->setPixmap(QPixmap::fromImage(Image));
  const QString Said = QString("The output's picture, %1x%2, at %3")
                           .arg(Image.width())
                           .arg(Image.height())
                           .arg(ClockQText(Made.Ms));
  LabelState->setText(Said);
  LabelPicture->setAccessibleDescription(Said);
  if (FSized) return;
  // The first picture sets the dialog's size: the picture whole where the
  // screen has room, scrolled where it has not.
  FSized = true;
  const QScreen *Shown = screen();
  const QSize Room = Shown ? Shown->availableGeometry().size() * 9 / 10 : QSize(1024, 768);
  const int Frame = 2 * ScrollPicture->frameWidth();
  const QSize Around = sizeHint() - ScrollPicture->sizeHint();
  ScrollPicture->setMinimumSize((Image.size() + QSize(Frame, Frame)).boundedTo(Room - Around));
  adjustSize();
  ScrollPicture->setMinimumSize(QSize(160, 120));
}

}  // namespace korvane
