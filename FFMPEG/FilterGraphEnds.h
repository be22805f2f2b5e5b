// SPDX-License-Identifier: GPL-3.0-or-later
// A filter graph for pictures like one decoded frame: a new graph with its
// two ends, a buffer source that takes such pictures (their time counted in
// microseconds) and a buffer sink, for the filters in between to be added.
#pragma once

#include <string>

#include "AVHolders.h"
#include "AVLibraries.h"
#include "FFMpegException.h"
#include "TextFormat.h"

namespace korvane {

// Makes Graph anew (Threads filter threads) with In and Out, its ends
// (owned by the graph), for pictures the size and format of Picture shown
// with PixelAspect; the library's result, negative when an end could not
// be made.
inline int MakeGraphEnds(TFilterGraphHolder &Graph, AVFilterContext *&In, AVFilterContext *&Out,
                         const AVFrame *Picture, AVRational PixelAspect, int Threads) {
  In = Out = nullptr;
  Graph.reset(LibAVFilter::avfilter_graph_alloc());
  if (!Graph) throw FFMpegException("av_mallocz fail");
  Graph->nb_threads = Threads;
  const std::string Source =
      Format("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", Picture->width, Picture->height,
             Picture->format, AV_TIME_BASE, PixelAspect.num, PixelAspect.den);
  int Result = LibAVFilter::avfilter_graph_create_filter(&In, LibAVFilter::avfilter_get_by_name("buffer"),
                                                         "in", Source.c_str(), nullptr, Graph.get());
  if (Result >= 0)
    Result = LibAVFilter::avfilter_graph_create_filter(&Out, LibAVFilter::avfilter_get_by_name("buffersink"),
                                                       "out", nullptr, nullptr, Graph.get());
  return Result;
}

}  // namespace korvane
