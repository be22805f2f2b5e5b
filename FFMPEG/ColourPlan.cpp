// SPDX-License-Identifier: GPL-3.0-or-later
#include "ColourPlan.h"

#include "AVLibraries.h"

namespace korvane {

namespace {

// Light the tone mapping assumes when an HDR source states none: what
// HDR10 films are mostly mastered for, and HLG's nominal display.
constexpr double AssumedPeakNits = 1000;

bool IsRGB(AVPixelFormat Format) {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(Format);
  return D && (D->flags & AV_PIX_FMT_FLAG_RGB);
}

// The formats whose samples are full range by definition.
bool IsFullRangeYUV(AVPixelFormat Format) {
  switch (Format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P: return true;
    default: return false;
  }
}

int Depth(AVPixelFormat Format) {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(Format);
  return D && D->nb_components > 0 ? D->comp[0].depth : 0;
}

bool Takes(const AVCodec *Codec, AVPixelFormat Format) {
  if (!Codec || !Codec->pix_fmts) return true;
  for (const AVPixelFormat *F = Codec->pix_fmts; *F != AV_PIX_FMT_NONE; ++F)
    if (*F == Format) return true;
  return false;
}

// The 8-bit format an encoder gets for tone-mapped pictures: 4:2:0 where it
// takes it, else the first 8-bit one it lists.
AVPixelFormat EightBitFormat(const AVCodec *Codec, AVPixelFormat Current) {
  if (Takes(Codec, AV_PIX_FMT_YUV420P)) return AV_PIX_FMT_YUV420P;
  for (const AVPixelFormat *F = Codec->pix_fmts; *F != AV_PIX_FMT_NONE; ++F)
    if (Depth(*F) == 8) return *F;
  return Current;
}

bool Defined(AVColorPrimaries P) {
  return (P >= AVCOL_PRI_BT709 && P <= AVCOL_PRI_SMPTE432 && P != AVCOL_PRI_UNSPECIFIED &&
          P != AVCOL_PRI_RESERVED) ||
         P == AVCOL_PRI_EBU3213;
}
bool Defined(AVColorTransferCharacteristic T) {
  return T >= AVCOL_TRC_BT709 && T < AVCOL_TRC_NB && T != AVCOL_TRC_UNSPECIFIED && T != AVCOL_TRC_RESERVED;
}
bool Defined(AVColorSpace M) {
  return M >= AVCOL_SPC_RGB && M < AVCOL_SPC_NB && M != AVCOL_SPC_UNSPECIFIED && M != AVCOL_SPC_RESERVED;
}

template <typename T>
void SetUnspecified(T &Field, T Value, T Unspecified) {
  if (Field == Unspecified) Field = Value;
}

}  // namespace

TColourDescription SourceColours(const AVCodecParameters *Parameters) {
  TColourDescription D;
  if (Defined(Parameters->color_primaries)) D.Primaries = Parameters->color_primaries;
  if (Defined(Parameters->color_trc)) D.Transfer = Parameters->color_trc;
  const bool RGB = IsRGB(static_cast<AVPixelFormat>(Parameters->format));
  if (Defined(Parameters->color_space) && (Parameters->color_space == AVCOL_SPC_RGB) == RGB)
    D.Matrix = Parameters->color_space;
  if (Parameters->color_range == AVCOL_RANGE_MPEG || Parameters->color_range == AVCOL_RANGE_JPEG)
    D.Range = Parameters->color_range;
  return D;
}

TColourPlan PlanColours(const TOptionState &S, const AVFormatContext *Input, const AVStream *Source,
                        AVCodecContext *Enc) {
  TColourPlan Plan;
  Plan.Source = SourceColours(Source->codecpar);
  const bool Hdr = Plan.Source.Hdr();
  Plan.ToneMap = Hdr && S.FHdrToSdr;
  if (Hdr) {
    Plan.Hdr = StreamHdrMetadata(Source);
    // HEVC and AV1 often carry it in their pictures only.
    if (!Plan.Hdr.Mastering || !Plan.Hdr.Light)
      Plan.Hdr.Complete(FirstPictureHdrMetadata(Input, Source->index));
  }
  const AVCodec *Codec = Enc->codec;
  const AVPixelFormat Deep = static_cast<AVPixelFormat>(S.FDeepPixFmt);
  if (Plan.ToneMap) {
    if (Depth(Enc->pix_fmt) > 8) Enc->pix_fmt = EightBitFormat(Codec, Enc->pix_fmt);
  } else if ((Hdr || Depth(static_cast<AVPixelFormat>(Source->codecpar->format)) > 8) &&
             Deep != AV_PIX_FMT_NONE && Takes(Codec, Deep)) {
    Enc->pix_fmt = Deep;
  }
  if (const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(Enc->pix_fmt)) {
    Enc->width &= ~((1 << D->log2_chroma_w) - 1);
    Enc->height &= ~((1 << D->log2_chroma_h) - 1);
  }
  return Plan;
}

double ToneMapPeakNits(const TColourPlan &Plan) { return Plan.Hdr.PeakNits(AssumedPeakNits); }

void SetEncoderColours(const TColourPlan &Plan, AVPixelFormat Picture, bool Converted, AVCodecContext *Enc) {
  TColourDescription Out = Plan.Source;
  if (Plan.ToneMap) Out = {AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG};
  const bool FromRGB = IsRGB(Picture), ToRGB = IsRGB(Enc->pix_fmt);
  if (ToRGB && !FromRGB)
    Out.Matrix = AVCOL_SPC_RGB;
  else if (FromRGB && !ToRGB)
    Out.Matrix = AVCOL_SPC_SMPTE170M;  // the scaler's matrix into YUV
  if (IsFullRangeYUV(Enc->pix_fmt) || (ToRGB && !FromRGB))
    Out.Range = AVCOL_RANGE_JPEG;
  else if (!ToRGB && Converted && (IsFullRangeYUV(Picture) || FromRGB))
    Out.Range = AVCOL_RANGE_MPEG;  // the scaler makes limited-range samples
  SetUnspecified(Enc->color_primaries, Out.Primaries, AVCOL_PRI_UNSPECIFIED);
  SetUnspecified(Enc->color_trc, Out.Transfer, AVCOL_TRC_UNSPECIFIED);
  SetUnspecified(Enc->colorspace, Out.Matrix, AVCOL_SPC_UNSPECIFIED);
  SetUnspecified(Enc->color_range, Out.Range, AVCOL_RANGE_UNSPECIFIED);
}

}  // namespace korvane
