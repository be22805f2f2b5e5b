// SPDX-License-Identifier: GPL-3.0-or-later
// Option sets of the modern formats: MP4 with H.264 or H.265, Matroska with
// every track or as a copy, WebM with VP9 or AV1, FLAC and Opus. Their video
// bit-rate lists begin with three quality steps, which the settings step
// turns into each encoder's constant-quality figure.
#pragma once

#include "OptionSet.h"

namespace korvane {

extern const TOptionSet kOptionsMp4H264;
extern const TOptionSet kOptionsMp4Hevc;
extern const TOptionSet kOptionsMkvEveryTrack;
extern const TOptionSet kOptionsMkvCopy;
extern const TOptionSet kOptionsWebmVp9;
extern const TOptionSet kOptionsWebmAv1;
extern const TOptionSet kOptionsFlac;
extern const TOptionSet kOptionsOpus;

// The item of the codec combos that copies streams as they are.
inline constexpr std::string_view kCopyItem = "Copy";

// The quality steps, best first.
inline constexpr TItemList kQualitySteps = {"Quality: High", "Quality: Standard", "Quality: Small File"};

}  // namespace korvane
