// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourcePicture.h"

#include <algorithm>
#include <cmath>

#include "AVProbe.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace korvane {

double TSourcePicture::Shape() const {
  if (DisplayAspect > 0) return DisplayAspect;
  return Present() ? static_cast<double>(Width) / Height : 0;
}

TSourcePicture ProbedPicture(const TAVVideoStreamInfo &Video, bool Turned) {
  TSourcePicture Picture;
  Picture.Rotation = Turned ? std::max(Video.Rotation, 0) : 0;
  const bool Quarter = Picture.Turned();
  Picture.Width = Quarter ? Video.Height : Video.Width;
  Picture.Height = Quarter ? Video.Width : Video.Height;
  if (Picture.Present() && Video.AspectRatio > 0) {
    // The display aspect is kept only where it differs from the size's own
    // shape: square pixels need none.
    const double Aspect = Quarter ? 1 / Video.AspectRatio : Video.AspectRatio;
    const double Shape = static_cast<double>(Picture.Width) / Picture.Height;
    if (std::abs(Aspect / Shape - 1) > 1e-3) Picture.DisplayAspect = Aspect;
  }
  Picture.Hdr = HdrKindOfTransfer(Video.ColorTransfer);
  if (Video.FrameRateNum > 0 && Video.FrameRateDen > 0)
    Picture.FrameRate = static_cast<double>(Video.FrameRateNum) / Video.FrameRateDen;
  return Picture;
}

THdrKind HdrKindOfTransfer(int Transfer) {
  switch (Transfer) {
    case AVCOL_TRC_SMPTE2084: return THdrKind::PQ;
    case AVCOL_TRC_ARIB_STD_B67: return THdrKind::HLG;
    default: return THdrKind::None;
  }
}

const char *HdrKindName(THdrKind Kind) {
  switch (Kind) {
    case THdrKind::PQ: return "PQ";
    case THdrKind::HLG: return "HLG";
    default: return "";
  }
}

}  // namespace korvane
