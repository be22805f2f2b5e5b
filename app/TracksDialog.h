// SPDX-License-Identifier: GPL-3.0-or-later
// Tracks: which audio and subtitle tracks of a row's file its output keeps,
// one check box per track (language, codec, channels, title), and one
// subtitle that may be drawn into the picture instead of kept as a track.
#pragma once

#include <QDialog>
#include <QList>

#include "FileTracks.h"
#include "RowSetup.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QVBoxLayout;

namespace korvane {

class TTracksDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TTracksDialog(QWidget *Parent = nullptr);

  QLabel *LabelFile;
  QGroupBox *GroupAudio, *GroupSubtitles;
  QList<QCheckBox *> AudioBoxes, SubtitleBoxes;  // in track order
  QLabel *LabelBurnIn;
  QComboBox *ComboBurnIn;  // "None", then each subtitle track
  // Said when the format keeps one audio track, or none.
  QLabel *LabelNote;
  QDialogButtonBox *Buttons;

  // Fills the dialog with the tracks of File as Details lists them, checked
  // as Choices says. OneAudio: the output format keeps one audio track;
  // Copies: it copies the streams as they are, and can draw nothing into
  // the picture.
  void ShowTracks(const QString &File, const TFileDetails &Details, const TRowChoices &Choices, bool OneAudio,
                  bool Copies);
  // Choices with the tracks the dialog shows chosen.
  TRowChoices Chosen(TRowChoices Choices) const;

 private:
  // One check box per track of the kind in Group's layout, or a line
  // saying there is none.
  QList<QCheckBox *> FillGroup(QGroupBox *Group, const TFileDetails &Details, bool Audio,
                               const std::string &Choice);
  // The burnt subtitle's box is greyed and unchecked: it is not kept as a
  // track too.
  void BurnInChanged();
  QVBoxLayout *FAudioLayout, *FSubtitleLayout;
  QList<bool> FSubtitleChecks;  // the subtitles' checks before one was greyed
};

}  // namespace korvane
