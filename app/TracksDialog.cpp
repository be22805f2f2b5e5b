// SPDX-License-Identifier: GPL-3.0-or-later
#include "TracksDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <sstream>

#include "FileLabel.h"

namespace korvane {

namespace {

// The numbers a track list names ("2,1"); every track for "" and "all".
bool Names(const std::string &Choice, int Number) {
  if (Choice.empty() || Choice == "all") return true;
  std::istringstream List(Choice);
  for (std::string Item; std::getline(List, Item, ',');)
    if (Item == std::to_string(Number)) return true;
  return false;
}

// The track list of the boxes that are checked: "" when every box that
// can be is (the profile's own choice), "none" when none is.
std::string CheckedList(const QList<QCheckBox *> &Boxes) {
  std::string List;
  bool Every = true;
  for (int I = 0; I < Boxes.size(); ++I) {
    if (!Boxes[I]->isEnabled()) continue;
    if (!Boxes[I]->isChecked()) {
      Every = false;
      continue;
    }
    List += (List.empty() ? "" : ",") + std::to_string(I + 1);
  }
  return Every ? "" : List.empty() ? "none" : List;
}

}  // namespace

TTracksDialog::TTracksDialog(QWidget *Parent) : QDialog(Parent) {
  setObjectName("TracksDialog");
  setWindowTitle("Tracks");
  LabelFile = NewFileLabel(this);
  GroupAudio = new QGroupBox("Audio tracks kept", this);
  GroupAudio->setObjectName("GroupAudio");
  FAudioLayout = new QVBoxLayout(GroupAudio);
  GroupSubtitles = new QGroupBox("Subtitle tracks kept", this);
  GroupSubtitles->setObjectName("GroupSubtitles");
  FSubtitleLayout = new QVBoxLayout(GroupSubtitles);
  ComboBurnIn = new QComboBox(this);
  ComboBurnIn->setObjectName("ComboBurnIn");
  ComboBurnIn->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  ComboBurnIn->setAccessibleName("Burn in subtitle");
  ComboBurnIn->setToolTip("A subtitle drawn into the picture, always shown; it is not kept as a track too");
  LabelBurnIn = new QLabel("&Burn in subtitle:", this);
  LabelBurnIn->setBuddy(ComboBurnIn);
  LabelNote = new QLabel(this);
  LabelNote->setObjectName("LabelNote");
  LabelNote->setWordWrap(true);
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->setObjectName("Buttons");
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(ComboBurnIn, &QComboBox::currentIndexChanged, this, [this] { BurnInChanged(); });

  auto *BurnRow = new QHBoxLayout;
  BurnRow->addWidget(LabelBurnIn);
  BurnRow->addWidget(ComboBurnIn, 1);
  auto *Layout = new QVBoxLayout(this);
  Layout->addWidget(LabelFile);
  Layout->addWidget(GroupAudio);
  Layout->addWidget(GroupSubtitles);
  Layout->addLayout(BurnRow);
  Layout->addWidget(LabelNote);
  Layout->addStretch(1);
  Layout->addWidget(Buttons);
  Layout->setSizeConstraint(QLayout::SetMinimumSize);
}

QList<QCheckBox *> TTracksDialog::FillGroup(QGroupBox *Group, const TFileDetails &Details, bool Audio,
                                            const std::string &Choice) {
  QLayout *Layout = Group->layout();
  while (QLayoutItem *Item = Layout->takeAt(0)) {
    delete Item->widget();
    delete Item;
  }
  QList<QCheckBox *> Boxes;
  for (const TTrackInfo &Track : Details.Tracks) {
    if (Track.Audio != Audio) continue;
    auto *Box = new QCheckBox(QString::fromStdString(TrackLabel(Track)), Group);
    Box->setObjectName(QString(Audio ? "CheckBoxAudio%1" : "CheckBoxSubtitle%1").arg(Track.Number));
    Box->setAccessibleName((Audio ? "Audio track " : "Subtitle track ") + Box->text());
    Box->setChecked(Names(Choice, Track.Number));
    Layout->addWidget(Box);
    Boxes << Box;
  }
  if (Boxes.isEmpty()) Layout->addWidget(new QLabel(Audio ? "No audio tracks" : "No subtitle tracks", Group));
  return Boxes;
}

void TTracksDialog::ShowTracks(const QString &File, const TFileDetails &Details, const TRowChoices &Choices,
                               bool OneAudio, bool Copies) {
  setWindowTitle("Tracks - " + QFileInfo(File).fileName());
  LabelFile->setText(File);
  AudioBoxes = FillGroup(GroupAudio, Details, true, Choices.AudioTracks);
  SubtitleBoxes = FillGroup(GroupSubtitles, Details, false, Choices.Subtitles);
  FSubtitleChecks.clear();
  for (QCheckBox *Box : SubtitleBoxes) FSubtitleChecks << Box->isChecked();
  {
    const QSignalBlocker Blocker(ComboBurnIn);
    ComboBurnIn->clear();
    ComboBurnIn->addItem("None");
    for (QCheckBox *Box : SubtitleBoxes) ComboBurnIn->addItem(Box->text());
    const bool Burnt = !Copies && Choices.BurnSubtitle <= SubtitleBoxes.size();
    ComboBurnIn->setCurrentIndex(Burnt ? Choices.BurnSubtitle : 0);
  }
  ComboBurnIn->setEnabled(!Copies && !SubtitleBoxes.isEmpty());
  BurnInChanged();
  QStringList Notes;
  if (OneAudio && AudioBoxes.size() > 1)
    Notes << "This output format keeps one audio track: the first one checked.";
  if (Copies && !SubtitleBoxes.isEmpty())
    Notes << "The copy keeps the pictures as they are: it cannot draw a subtitle into them.";
  LabelNote->setText(Notes.join('\n'));
  LabelNote->setVisible(!LabelNote->text().isEmpty());
  // Tab goes down the boxes in track order, then to the burn-in choice and
  // the buttons.
  QWidget *Previous = nullptr;
  for (QWidget *Next : AudioBoxes + SubtitleBoxes) {
    if (Previous) setTabOrder(Previous, Next);
    Previous = Next;
  }
  if (Previous) setTabOrder(Previous, ComboBurnIn);
  setTabOrder(ComboBurnIn, Buttons);
  QWidget *First = !AudioBoxes.isEmpty()      ? AudioBoxes.first()
                   : !SubtitleBoxes.isEmpty() ? static_cast<QWidget *>(SubtitleBoxes.first())
                                              : Buttons->button(QDialogButtonBox::Ok);
  First->setFocus();
  Buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  adjustSize();
}

void TTracksDialog::BurnInChanged() {
  const int Burnt = ComboBurnIn->currentIndex();
  for (int I = 0; I < SubtitleBoxes.size(); ++I) {
    QCheckBox *Box = SubtitleBoxes[I];
    const bool Greyed = I + 1 == Burnt;
    if (Greyed == !Box->isEnabled()) continue;
    if (Greyed) FSubtitleChecks[I] = Box->isChecked();
    Box->setEnabled(!Greyed);
    Box->setChecked(Greyed ? false : FSubtitleChecks[I]);
    Box->setToolTip(Greyed ? "Drawn into the picture" : QString());
  }
}

TRowChoices TTracksDialog::Chosen(TRowChoices Choices) const {
  Choices.AudioTracks = CheckedList(AudioBoxes);
  Choices.Subtitles = CheckedList(SubtitleBoxes);
  Choices.BurnSubtitle = std::max(ComboBurnIn->currentIndex(), 0);
  return Choices;
}

}  // namespace korvane
