// SPDX-License-Identifier: GPL-3.0-or-later
// The "LetterBox" choice of Video Zoom: the picture keeps the shape it is
// shown with, scaled to fit inside the output frame, and the rest of the
// frame is black bars (top and bottom for a wider picture, left and right
// for a narrower one).
#pragma once

#include "OptionRecords.h"

namespace korvane {

// A source's picture as it is shown: its size and the aspect it is shown
// with (0: width / height, square pixels), and whether it is shown a
// quarter turn from how it is stored (a clip shot upright on a phone), the
// size and aspect then being those of the turned picture.
struct TSourcePicture {
  int Width = 0;
  int Height = 0;
  double DisplayAspect = 0;
  bool Turned = false;
};

// Rewrites the frame size of Options (already filled for a row) into the
// scaled picture plus padding, so that the whole frame keeps the frame size
// chosen (the source's size when none was). The frame is shown with the
// aspect Options names, or with square pixels when OriginalAspect is set
// (the aspect choice "Original"), in which case the frame's own shape
// becomes its aspect. A picture of no size leaves Options unchanged.
void ApplyLetterBox(TOutputOptions &Options, const TSourcePicture &Source, bool OriginalAspect);

// The picture of a file list row: its "Video Size" text ("640x480"), the
// display aspect kept where its pixels are not square (else 0) and the
// quarter turn clockwise it is shown with (0, 90, 180, 270). False for a
// row without a picture (a blank text).
bool RowPicture(const std::string &VideoSize, double DisplayAspect, int Rotation, TSourcePicture &Picture);

}  // namespace korvane
