// SPDX-License-Identifier: GPL-3.0-or-later
// The video path of one encoded output stream: every picture the hooks
// hand on is written as many times as keeps the output in step with the
// input clock (dropped, once, or repeated), then cropped, scaled, padded
// and encoded.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "AVHolders.h"
#include "ColourPlan.h"
#include "EncoderLink.h"
#include "FFmpeg.h"
#include "StreamView.h"
#include "SubtitleBurner.h"
#include "ToneMap.h"

namespace korvane {

class TVideoPath {
 public:
  TVideoPath(TCustomFFmpeg &Task, TOptionState &State, TEncoderLink &Link)
      : FTask(Task), FState(State), FLink(Link) {}
  TVideoPath(const TVideoPath &) = delete;
  TVideoPath &operator=(const TVideoPath &) = delete;

  // The colours, crop, scale and pad steps for the decoder's pictures of
  // Ist as they reach the path (turned upright), for the output stream Out:
  // the encoder's pixel format and colour description, and Out's HDR
  // metadata where HDR is kept.
  void Configure(const TStreamView &Ist, AVStream *Out);
  // Adds the encoder parameters that code the kept HDR metadata into the
  // bitstream to Options (for Codec, as it is opened).
  void AddEncoderOptions(const AVCodec *Codec, AVDictionary **Options) const;
  // Takes Picture, decoded from Ist; ClockPts is the stream's sync input's
  // position (microseconds). Returns the bytes written.
  int Out(const TStreamView &Ist, int64_t ClockPts, AVFrame *Picture);
  // The end of the stream: the held picture for the rest of its duration.
  // Returns the bytes written; the encoder's own delay is flushed by the
  // caller.
  int Finish();
  // Pictures dropped, and repeats written, to keep in step with the clock.
  int Drops() const { return FDrops; }
  int Repeats() const { return FRepeats; }

 private:
  // Tone-maps, crops, scales and pads Picture into the encoder's picture;
  // none (after saying why) when that fails. Cropped keeps a cut-out view
  // alive.
  // Time: the picture's on the source's clock (microseconds), for a
  // subtitle drawn into it.
  AVFrame *FormatPicture(AVFrame *Picture, int64_t Time, TFrameHolder &Cropped);
  // A picture's time on its source's own clock, microseconds.
  int64_t SourceTime(const TStreamView &Ist) const;
  // The frame slot of a picture written once, at its own time: Position
  // and End (its start and end in frame slots of the output) give its
  // nearest slot, kept from going back. None when it is dropped: with
  // synchronisation (Sync), a picture over before the output starts, or
  // whose slot an earlier picture took.
  std::optional<int64_t> OwnSlot(double Position, double End, bool Sync) const;
  // Formats Picture (Start: its time on the output's clock, microseconds)
  // and keeps it as the held picture; left as it was when formatting fails.
  void HoldPicture(const TStreamView &Ist, AVFrame *Picture, int64_t Start);
  // Counts a picture written Frames times: 0 is a drop, more than 1 repeats.
  void CountDropsAndRepeats(int64_t Frames);
  // Writes the held picture into Slots frame slots (none: it is dropped),
  // counting the drop or the repeats; returns the bytes written.
  int WriteHeldPicture(int64_t Slots);
  // The frame slots left before the recording time ends (a great many
  // without one).
  int64_t SlotsLeft(double FrameDuration);
  // Gives Final the flags of the decoded picture it shows.
  void SetPictureFlags(const TStreamView &Ist, AVFrame *Final, const AVFrame *Decoded) const;
  // Encodes Final at the stream's next frame slot.
  int EncodePicture(AVFrame *Final);

  TCustomFFmpeg &FTask;
  TOptionState &FState;
  TEncoderLink &FLink;
  bool FResample = false;  // the picture's size or format differs from the encoder's
  TFrameHolder FTempPicture;
  TColourPlan FColour;
  std::unique_ptr<TToneMapper> FToneMapper;  // HDR made SDR, when the plan says so
  std::unique_ptr<TSubtitleBurner> FBurner;  // a subtitle track drawn into the picture
  // Keeping the frame rate, a picture is written once the next one tells
  // how many frame slots it covers: the picture waiting for that, and the
  // end of its own duration (microseconds, input clock) for the last one.
  // At a variable rate, the picture shown at the start that the next one
  // was to replace, written at the end if none came.
  TFrameHolder FHeldPicture;
  int64_t FHeldEnd = 0;
  TScalerHolder FScaleContext;
  // Whether the option state's crop and pad bands are set (their sizes are
  // read from it).
  bool FCrop = false;
  bool FPad = false;
  int FDrops = 0;
  int FRepeats = 0;
};

}  // namespace korvane
