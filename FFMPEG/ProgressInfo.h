// SPDX-License-Identifier: GPL-3.0-or-later
// What a running task reports of its progress: small enough for the front
// ends to include without the whole engine.
#pragma once

#include <cstdint>

namespace korvane {

// One progress report of a running task.
struct TProgressInfo {
  int32_t FrameNumber = -1;         // frames of the first video output; -1 without video
  int32_t FPS = -1;                 // average encoding speed; -1 without video
  int32_t CurrentDuration = 0;      // output time so far, milliseconds
  float Quality = -1.0f;            // quantiser of the last coded video frame
  float BitRate = 0;                // kbit/s so far
  int64_t CurrentSize = 0;          // bytes of the first output so far
  int32_t TotalOutputDuration = 0;  // expected output duration, milliseconds
};

}  // namespace korvane
