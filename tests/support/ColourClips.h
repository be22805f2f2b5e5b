// SPDX-License-Identifier: GPL-3.0-or-later
// Clips of known colours, made once for all test programs with the ffmpeg
// program: SDR BT.709, the same picture made HDR10 and HLG, 10-bit SDR, a
// clip without any colour description, and sources whose colour tags or
// HDR metadata are garbage. Each is 1 s of 320x180 at 25 fps, testsrc2
// scaled down from 640x360.
#pragma once

#include <string>

namespace korvane::test {

struct TColourClips {
  // 8-bit BT.709, limited range, tagged; lossless H.264 in Matroska. The
  // SDR picture the HDR clips are graded from.
  std::string Sdr709;
  // Sdr709 as HDR10: PQ with SDR's white at 203 cd/m2 (BT.2408), BT.2020,
  // 10-bit H.265 whose pictures carry the mastering display (P3 primaries,
  // D65 white, 0.0001 to 1000 cd/m2) and light levels (its brightest pixel,
  // 203 cd/m2, and 64 on average); Matroska keeps no copy of them.
  std::string Hdr10;
  // Sdr709 as HLG (its white at 75%), BT.2020, 10-bit H.265, no metadata.
  std::string Hlg;
  // 10-bit SDR BT.709, H.265.
  std::string Sdr10;
  // 8-bit H.264 without any colour description.
  std::string Untagged;
  // 8-bit BT.709 in full range (yuvj420p), H.264.
  std::string FullRange;
  // Sdr709 whose H.264 header says reserved primaries (200), PQ's transfer
  // and the RGB matrix for its YUV samples.
  std::string GarbageTags;
  // Hdr10 with a mastering display whose least light exceeds its greatest
  // and light levels of 0.
  std::string GarbageMastering;
};

// The mastering display and light levels of Hdr10, as ffprobe shows them.
inline constexpr const char *Hdr10RedX = "34000/50000";
inline constexpr const char *Hdr10MaxLuminance = "10000000/10000";
inline constexpr int Hdr10MaxCLL = 203;

// Makes the clips on first use, beside the test programs.
const TColourClips &ColourClips();

}  // namespace korvane::test
