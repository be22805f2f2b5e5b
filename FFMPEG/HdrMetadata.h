// SPDX-License-Identifier: GPL-3.0-or-later
// What an HDR source says of the light it was made for: the mastering
// display (its primaries, white point and luminance range) and the content
// light levels. Read from the container or, where only the pictures carry
// it (HEVC and AV1 in their own messages), from the first picture; written
// into the output stream for the muxer and into the options of the encoders
// that put it into their bitstream.
#pragma once

#include <optional>
#include <string>

#include "AVHolders.h"

extern "C" {
#include <libavutil/mastering_display_metadata.h>
}

namespace korvane {

struct THdrMetadata {
  // Only complete and plausible values are kept: primaries and white point
  // within the chromaticity diagram, 0 <= least < greatest <= 10000 cd/m2.
  std::optional<AVMasteringDisplayMetadata> Mastering;
  // Kept when either level is above 0.
  std::optional<AVContentLightMetadata> Light;

  bool Empty() const { return !Mastering && !Light; }
  // Fills what this lacks from Other.
  void Complete(const THdrMetadata &Other);
  // The brightest light of the pictures, cd/m2: the content's greatest
  // level, else the mastering display's, else Fallback; never below SDR's
  // 100 nor above what PQ can code (10000).
  double PeakNits(double Fallback) const;
};

// The metadata in Stream's side data (Matroska's Colour element, MP4's
// mdcv and clli boxes).
THdrMetadata StreamHdrMetadata(const AVStream *Stream);

// The metadata the first decoded picture of stream StreamIndex of Input
// carries. Reads the file anew, so only local files are read; nothing for
// other sources or when no picture decodes within the first few hundred
// packets.
THdrMetadata FirstPictureHdrMetadata(const AVFormatContext *Input, int StreamIndex);

// Puts Metadata into Stream's side data, where the Matroska and MP4 muxers
// write it from.
void AddStreamHdrMetadata(const THdrMetadata &Metadata, AVStream *Stream);

// The encoder parameters that code Metadata into the bitstream, added to
// the parameter list the encoder takes ("x265-params", "svtav1-params") in
// Options. Encoders without such parameters, and parameters the list
// already sets, are left alone.
void AddEncoderHdrMetadata(const THdrMetadata &Metadata, const AVCodec *Codec, AVDictionary **Options);

}  // namespace korvane
