// SPDX-License-Identifier: GPL-3.0-or-later
// The "LetterBox" choice of Video Zoom: the picture keeps the shape it is
// shown with, scaled to fit inside the output frame, and the rest of the
// frame is black bars (top and bottom for a wider picture, left and right
// for a narrower one).
#pragma once

#include "OptionRecords.h"
#include "SourcePicture.h"

namespace korvane {

// Rewrites the frame size of Options (already filled for a row) into the
// scaled picture plus padding, so that the whole frame keeps the frame size
// chosen (the source's size when none was, brought down to even numbers as
// the engine does: every size and bar is even). The frame is shown with the
// aspect Options names, or with square pixels when OriginalAspect is set
// (the aspect choice "Original"), in which case the frame's own shape
// becomes its aspect. A picture of no size leaves Options unchanged.
void ApplyLetterBox(TOutputOptions &Options, const TSourcePicture &Source, bool OriginalAspect);

}  // namespace korvane
