// SPDX-License-Identifier: GPL-3.0-or-later
// What the audio and video paths of a run see of the input stream that
// feeds them: which stream it is, its clock, and the form of the data its
// decoder hands on. The stream's decoder keeps it up to date; everyone else
// reads it through a const reference.
#pragma once

#include <cstdint>

#include "AVHolders.h"

namespace korvane {

struct TStreamView {
  int FileIndex = 0;
  int StreamIndex = 0;
  const AVStream *Stream = nullptr;
  const AVCodecContext *Decoder = nullptr;  // settings; opened by the run
  // The quarter turns clockwise (0, 90, 180, 270) that show the stream's
  // pictures upright; the outputs get them turned so.
  int Rotation = 0;
  int64_t Pts = 0;                   // of the data being handed on, microseconds
  int64_t NextPts = AV_NOPTS_VALUE;  // where the next data is expected, microseconds
  int Quality = 0;                   // of the last decoded picture
  // The decoded sound as the paths get it: interleaved working samples at
  // this rate, in the decoder's channel layout.
  int SampleRate = 0;
  int Channels = 0;
  TChannelLayout Layout;
};

}  // namespace korvane
