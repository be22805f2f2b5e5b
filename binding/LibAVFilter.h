// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time binding of libavfilter: the filter graphs that turn HDR pictures
// into SDR ones (zscale and tonemap) and draw text subtitles (libass).
#pragma once

#include <string>

#include "BindingUnit.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

#define KORVANE_AVFILTER_FUNCTIONS(X) \
  X(avfilter_version)                 \
  X(avfilter_get_by_name)             \
  X(avfilter_graph_alloc)             \
  X(avfilter_graph_free)              \
  X(avfilter_graph_create_filter)     \
  X(avfilter_graph_alloc_filter)      \
  X(avfilter_init_str)                \
  X(avfilter_link)                    \
  X(avfilter_graph_parse_ptr)         \
  X(avfilter_graph_config)            \
  X(avfilter_inout_alloc)             \
  X(avfilter_inout_free)              \
  X(av_buffersrc_add_frame_flags)     \
  X(av_buffersink_get_frame)

namespace LibAVFilter {

KORVANE_AVFILTER_FUNCTIONS(KORVANE_DECLARE_FUNCTION)

std::string FileName(bool UseVersionNumber);
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber);
void Unload();
bool Loaded();

}  // namespace LibAVFilter
