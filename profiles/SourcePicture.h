// SPDX-License-Identifier: GPL-3.0-or-later
// A source's main picture as the probe found it and as it is shown: the
// facts a conversion is set up from. The file list's "Video Size" text is
// made from it for people to read, never read back.
#pragma once

namespace korvane {

struct TAVVideoStreamInfo;

// The light a picture is graded for: standard range, or one of the two
// high dynamic range transfers (PQ, as HDR10 has it; HLG, as broadcast and
// phones have it).
enum class THdrKind { None, PQ, HLG };

struct TSourcePicture {
  // As shown: a clip stored 1280x720 and shown a quarter turn is 720x1280.
  int Width = 0;
  int Height = 0;
  // The shape it is shown with where its pixels are not square (as shown,
  // turned too), else 0. A 720x576 picture meant for 16:9 gives 1.7778.
  double DisplayAspect = 0;
  // The quarter turn clockwise (0, 90, 180, 270) it is shown with.
  int Rotation = 0;
  THdrKind Hdr = THdrKind::None;
  // Frames a second; 0 when not known.
  double FrameRate = 0;

  // A file of sound alone, or one whose picture has no size, has none.
  bool Present() const { return Width > 0 && Height > 0; }
  // Shown a quarter turn from how it is stored (a clip shot upright on a
  // phone).
  bool Turned() const { return Rotation == 90 || Rotation == 270; }
  // The shape it is shown with: its display aspect, else width / height.
  double Shape() const;
};

// The picture a probed video stream is shown as. Turned false describes it
// as stored, for conversions that leave it so (the engine's "autorotate=0").
TSourcePicture ProbedPicture(const TAVVideoStreamInfo &Video, bool Turned = true);

// The HDR kind of a stream's transfer characteristic (AVCOL_TRC_*).
THdrKind HdrKindOfTransfer(int Transfer);
// "PQ", "HLG"; empty for standard range.
const char *HdrKindName(THdrKind Kind);

}  // namespace korvane
