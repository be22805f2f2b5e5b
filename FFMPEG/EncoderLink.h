// SPDX-License-Identifier: GPL-3.0-or-later
// What the audio and video paths of a run reach of their output stream:
// its encoder, its position, and the step that encodes a frame and hands
// the packets to the muxer. The paths keep their own state; the write side
// keeps its own behind this link, and changes only through it.
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
  virtual int64_t Position() const = 0;
  // Moves the position on by Count frames or samples (back, when negative:
  // a path that follows the input clock without keeping in step).
  virtual void Advance(int64_t Count) = 0;
  // Pictures given to Encode so far; the frame limit and the report count them.
  virtual int FramesEncoded() const = 0;
  // Sends Frame (none: flush) to the encoder and writes what comes out;
  // returns the bytes written.
  virtual int Encode(AVFrame *Frame) = 0;
};

}  // namespace korvane
