// SPDX-License-Identifier: GPL-3.0-or-later
#include "LetterBox.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "OutputNaming.h"

namespace korvane {

namespace {

// "640x480" as two numbers; false when it does not read.
bool ReadSize(const std::string &Text, int &Width, int &Height) {
  return std::sscanf(Text.c_str(), "%dx%d", &Width, &Height) == 2 && Width > 0 && Height > 0;
}

// "4:3", "16:9" or a decimal ratio.
double ReadAspect(const std::string &Text) {
  double Numerator = 0, Denominator = 0;
  if (std::sscanf(Text.c_str(), "%lf:%lf", &Numerator, &Denominator) == 2 && Denominator > 0)
    return Numerator / Denominator;
  return std::sscanf(Text.c_str(), "%lf", &Numerator) == 1 ? Numerator : 0;
}

// Pictures in the usual chroma layouts need even sizes and offsets.
int Even(double Value) { return std::max(2, 2 * static_cast<int>(std::lround(Value / 2))); }
// The even size at or below Size, as the engine scales an odd source to.
int EvenBelow(int Size) { return std::max(2, Size / 2 * 2); }

}  // namespace

void ApplyLetterBox(TOutputOptions &Options, const TSourcePicture &Source, bool OriginalAspect) {
  if (!Source.Present()) return;
  int FrameWidth = Source.Width, FrameHeight = Source.Height;
  if (!Options.FrameSize.empty() && !ReadSize(Options.FrameSize, FrameWidth, FrameHeight)) return;

  // The frame is shown with its own shape, taken before an odd size is
  // brought to the even one the encoders of 4:2:0 pictures need: a
  // 720x405 source gives a 720x404 frame of the same shape, without bars.
  double FrameAspect = static_cast<double>(FrameWidth) / FrameHeight;
  FrameWidth = EvenBelow(FrameWidth);
  FrameHeight = EvenBelow(FrameHeight);
  if (OriginalAspect)
    Options.FrameAspectRatio = RatioText(FrameAspect);
  else if (const double Chosen = ReadAspect(Options.FrameAspectRatio); Chosen > 0)
    FrameAspect = Chosen;

  const double PictureAspect = Source.Shape();
  int PictureWidth = FrameWidth, PictureHeight = FrameHeight;
  if (PictureAspect > FrameAspect)
    PictureHeight = std::min(FrameHeight, Even(FrameHeight * FrameAspect / PictureAspect));
  else
    PictureWidth = std::min(FrameWidth, Even(FrameWidth * PictureAspect / FrameAspect));

  Options.FrameSize = std::to_string(PictureWidth) + "x" + std::to_string(PictureHeight);
  const int Top = (FrameHeight - PictureHeight) / 2 / 2 * 2, Left = (FrameWidth - PictureWidth) / 2 / 2 * 2;
  Options.PadTop = Top;
  Options.PadBottom = FrameHeight - PictureHeight - Top;
  Options.PadLeft = Left;
  Options.PadRight = FrameWidth - PictureWidth - Left;
  Options.PadColor = 0;  // black
}

}  // namespace korvane
