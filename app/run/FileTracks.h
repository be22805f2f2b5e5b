// SPDX-License-Identifier: GPL-3.0-or-later
// What a person chooses from when picking a file's tracks: its audio and
// subtitle tracks described as a file list can show them, and the file's
// length for the time range. Read once while the file is probed for the
// list, so a dialog never opens the file again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AVProbe.h"

namespace korvane {

struct TTrackInfo {
  bool Audio = true;  // else a subtitle track
  int Number = 0;     // 1-based among the file's tracks of its kind, in source order
  std::string Language, Codec, Title;
  int Channels = 0;  // of an audio track
};

// What the list keeps of a probed file beyond its row's texts.
struct TFileDetails {
  std::vector<TTrackInfo> Tracks;  // the audio tracks, then the subtitle tracks
  int64_t LengthMs = -1;           // -1 when unknown
};

// The tracks and the length of the file open in Probe.
TFileDetails ReadFileDetails(const TAVProbe &Probe);

// How a track reads in a list: "2: fre, aac, 6 channels, "Commentary"";
// what is not known is left out.
std::string TrackLabel(const TTrackInfo &Track);

}  // namespace korvane
