// SPDX-License-Identifier: GPL-3.0-or-later
// Which of a source's audio or subtitle tracks an output gets: all of them,
// none, or some by their number among the tracks of that kind (1-based, in
// source order), in the order they are to appear in the output.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace korvane {

struct TTrackChoice {
  bool All = true;           // every track (one per type: the first)
  std::vector<int> Numbers;  // when not All; empty: none

  // "all", "none" or a comma-separated list of numbers ("2,1"); raises
  // FFMpegException for anything else.
  static TTrackChoice Parse(const std::string &Text);
  bool None() const { return !All && Numbers.empty(); }
};

// The stream indices of Input's tracks of Type in source order; a cover is
// no picture track.
std::vector<int> TracksOf(const AVFormatContext *Input, AVMediaType Type);

// The stream index of track Number (1-based) of Type in Input; raises
// FFMpegException naming how many such tracks there are when it has none.
int TrackStream(const AVFormatContext *Input, AVMediaType Type, int Number);

}  // namespace korvane
