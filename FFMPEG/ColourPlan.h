// SPDX-License-Identifier: GPL-3.0-or-later
// The colours of one encoded video stream: what the source says of its
// picture (primaries, transfer, matrix, range), whether HDR stays HDR or is
// tone-mapped to SDR, the pixel format that holds it, and the colour
// description the encoder writes.
#pragma once

#include "HdrMetadata.h"
#include "OptionState.h"

namespace korvane {

// A picture's colour description; each field unspecified when not known.
struct TColourDescription {
  AVColorPrimaries Primaries = AVCOL_PRI_UNSPECIFIED;
  AVColorTransferCharacteristic Transfer = AVCOL_TRC_UNSPECIFIED;
  AVColorSpace Matrix = AVCOL_SPC_UNSPECIFIED;
  AVColorRange Range = AVCOL_RANGE_UNSPECIFIED;

  // PQ (HDR10) or HLG.
  bool Hdr() const { return Transfer == AVCOL_TRC_SMPTE2084 || Transfer == AVCOL_TRC_ARIB_STD_B67; }
};

// The description Parameters give their picture. Values no coding standard
// defines, and a matrix that contradicts the samples (RGB's for YUV ones, a
// YUV matrix for RGB ones), count as not given.
TColourDescription SourceColours(const AVCodecParameters *Parameters);

struct TColourPlan {
  TColourDescription Source;
  // HDR made SDR BT.709 (8 bits) on the way to the encoder.
  bool ToneMap = false;
  // The source's mastering display and light levels (HDR sources only).
  THdrMetadata Hdr;
  // HDR stays HDR: its metadata goes to the output.
  bool KeepsHdr() const { return Source.Hdr() && !ToneMap; }
};

// Plans the colours of the pictures of Source (a stream of Input) for the
// encoder Enc and sets Enc's pixel format to hold them: with "hdr=sdr" an
// HDR source is tone-mapped, for an 8-bit format; otherwise a source of more
// than 8 bits, or an HDR one, gets the "deep_pix_fmt" format when one is
// set and the encoder takes it. The picture size stays whole chroma samples.
TColourPlan PlanColours(const TOptionState &S, const AVFormatContext *Input, const AVStream *Source,
                        AVCodecContext *Enc);

// The brightest light of the source for the tone mapping, cd/m2: what its
// metadata says, else what HDR10 films are mostly mastered for (and HLG's
// nominal display), 1000.
double ToneMapPeakNits(const TColourPlan &Plan);

// Sets the colour description of Enc's pictures, in the fields the options
// left unspecified. Picture is the format the scaler gets (after tone
// mapping) and Converted whether it converts them: the source's description
// holds unless tone mapping made the picture BT.709, the scaler made RGB of
// YUV or YUV of RGB (with its BT.601 matrix), or turned full-range samples
// into limited ones. An untagged source stays untagged.
void SetEncoderColours(const TColourPlan &Plan, AVPixelFormat Picture, bool Converted, AVCodecContext *Enc);

}  // namespace korvane
