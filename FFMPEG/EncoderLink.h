// SPDX-License-Identifier: GPL-3.0-or-later
// What the audio and video paths of a run reach of their output stream:
// its encoder, its position, and the step that encodes a frame and hands
// the packets to the muxer. The paths keep their own state; the muxing
// state stays with the output stream behind this link.
#pragma once

#include <cstdint>

#include "AVHolders.h"

namespace korvane {

class TEncoderLink {
 public:
  virtual ~TEncoderLink() = default;
  // The stream's encoder, opened for the run.
  virtual AVCodecContext *Encoder() const = 0;
  // Frames or samples made so far, in the encoder's time base: the next
  // frame's timestamp. The loop and the progress report read it too.
  virtual int64_t &Position() = 0;
  // Pictures encoded so far; the frame limit and the report count them.
  virtual int &FramesEncoded() = 0;
  // Sends Frame (none: flush) to the encoder and writes what comes out;
  // returns the bytes written.
  virtual int Encode(AVFrame *Frame) = 0;
};

}  // namespace korvane
