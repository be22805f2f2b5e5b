// SPDX-License-Identifier: GPL-3.0-or-later
// HDR pictures (PQ or HLG) made SDR BT.709 for an 8-bit output, through a
// libavfilter graph of zscale and tonemap: the light is made linear,
// brought into BT.709's primaries, its highlights compressed into SDR's
// range, and coded again with BT.709's transfer and matrix, limited range.
#pragma once

#include "AVHolders.h"
#include "ColourPlan.h"

namespace korvane {

class TToneMapper {
 public:
  // The format of the pictures Map gives.
  static constexpr AVPixelFormat OutputFormat = AV_PIX_FMT_YUV420P;

  // Source: the HDR pictures' description (what it leaves out is taken to
  // be BT.2020, limited range); PeakNits: their brightest light; Threads:
  // the filters' threads (0: the library's choice). Raises FFMpegException
  // when the libraries lack the filters.
  TToneMapper(const TColourDescription &Source, double PeakNits, int Threads);
  TToneMapper(const TToneMapper &) = delete;
  TToneMapper &operator=(const TToneMapper &) = delete;

  // The SDR picture of Picture (same size and properties), valid until the
  // next call; none when the filters hold it back. Raises FFMpegException
  // when they fail.
  AVFrame *Map(const AVFrame *Picture);

 private:
  // The graph for pictures of Picture's size and format.
  void Build(const AVFrame *Picture);
  std::string Chain(AVPixelFormat Input) const;

  TColourDescription FSource;
  double FPeak;  // in units of SDR's white, 100 cd/m2
  int FThreads;
  TFilterGraphHolder FGraph;
  AVFilterContext *FIn = nullptr;   // owned by the graph
  AVFilterContext *FOut = nullptr;  // owned by the graph
  int FWidth = 0, FHeight = 0, FFormat = AV_PIX_FMT_NONE;
  TFrameHolder FMapped;
};

}  // namespace korvane
