// SPDX-License-Identifier: GPL-3.0-or-later
// The hook stage at the start of the video path, run once for every decoded
// picture of a run: it counts the picture, decides whether the frame-hook
// plug-ins apply to it (the before-hook event, else the output's time
// ranges), and hands a copy of it that may be written to either the
// custom-hook event, as packed BGR, or the plug-in chain. The outputs then
// encode what the hooks made of it.
#pragma once

#include <cstdint>
#include <vector>

#include "AVHolders.h"
#include "FFmpeg.h"

namespace korvane {

class TVideoHooks {
 public:
  TVideoHooks(TCustomFFmpeg &Task, TOptionState &State);
  TVideoHooks(const TVideoHooks &) = delete;
  TVideoHooks &operator=(const TVideoHooks &) = delete;

  // Takes Picture (decoded, or its deinterlaced copy) at PTS microseconds
  // through the hooks that apply; returns Picture itself, changed in place
  // when nothing else reads it, or the processed copy.
  AVFrame *Process(AVFrame *Picture, int64_t PTS);

 private:
  // The before-hook event's answer, or the time ranges' (FAction).
  void Decide(int64_t PTS);
  // Picture when it can be written, else its copy in FWork; none when no
  // copy can be made.
  AVFrame *Writable(AVFrame *Picture);
  // The custom-hook event on Work as packed BGR; its changes are converted
  // back into Work when it asks for that.
  void RunCustomHook(AVFrame *Work, int64_t PTS);
  // The hooks end for the rest of the run.
  void StopHooks();

  TCustomFFmpeg &FTask;
  TOptionState &FState;
  int FFrameNumber = 0;              // pictures seen so far; the first is 1
  THookAction FAction = haContinue;  // kept from picture to picture
  size_t FRangeIndex = 0;            // the time range the last picture fell in
  bool FPlugInsOn = false;           // plug-ins were added and have not been stopped
  bool FCustomOn = false;            // the custom-hook event is connected and not stopped
  TFrameHolder FWork;                // the copy the hooks change
  TFrameHolder FRGB;                 // Work as packed BGR, when it is in another format
  TScalerHolder FToRGB, FFromRGB;
  std::vector<uint8_t> FBitmap;  // what the custom-hook event sees, rows of Width * 3 bytes
};

}  // namespace korvane
