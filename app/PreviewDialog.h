// SPDX-License-Identifier: GPL-3.0-or-later
// Preview: a row's picture at a chosen time as its output will look (the
// profile's size, crop, letterbox, rotation, a burnt subtitle, tone
// mapping), made by the engine the conversion uses, with a slider through
// the file. The pictures are made off the window's thread; each comes back
// through a queued call and is shown at the output's own size.
#pragma once

#include <QDialog>
#include <QImage>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <string>

#include "RowSetup.h"

class QDialogButtonBox;
class QLabel;
class QScrollArea;
class QSlider;
class QTimer;

namespace korvane {

class TPreviewMaker;
struct TPreviewPicture;

class TPreviewDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TPreviewDialog(QWidget *Parent = nullptr);
  ~TPreviewDialog() override;

  QLabel *LabelFile;
  QScrollArea *ScrollPicture;
  QLabel *LabelPicture;  // the picture, pixel for pixel
  QLabel *LabelTimeCaption;
  QSlider *SliderTime;  // milliseconds into the file
  QLabel *LabelTime;    // the slider's time and the file's length
  QLabel *LabelState;   // the picture's size and time, or why there is none
  QDialogButtonBox *Buttons;

  // Opens the preview of File, LengthMs long (-1: unknown), converted as
  // Setup says, at AtMs; the pictures are made with the media libraries of
  // LibraryFolder.
  void ShowPreview(const QString &File, const TConversionSetup &Setup, int64_t LengthMs, int64_t AtMs,
                   const std::string &LibraryFolder);
  // The picture shown (null before the first), and the time it is of.
  const QImage &Picture() const { return FPicture; }
  int64_t PictureMs() const { return FPictureMs; }
  // The last picture asked for is yet to come.
  bool Busy() const { return FAsked != FAnswered; }

 protected:
  void done(int Result) override;

 private:
  // Asks for the picture at the slider's time.
  void AskPicture();
  // A picture made, on the UI thread.
  void ShowPicture(const TPreviewPicture &Made);
  void ShowTime();

  std::unique_ptr<TPreviewMaker> FMaker;
  QTemporaryDir FFolder;  // where the engine writes each PNG
  QTimer *FSettle;        // a picture once the slider rests
  TConversionSetup FSetup;
  int64_t FLengthMs = -1;
  QImage FPicture;
  int64_t FPictureMs = -1;
  int FAsked = 0, FAnswered = 0;  // the serials of the last picture asked for and the last come
  bool FSized = false;            // the dialog has been fitted to a picture
  int FGeneration = 0;            // counts the openings: a picture of an earlier one is dropped
};

}  // namespace korvane
