// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time binding of libavformat: reading and writing containers, I/O.
#pragma once

#include <string>

#include "BindingUnit.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

#define KORVANE_AVFORMAT_FUNCTIONS(X) \
  X(avformat_version)                 \
  X(avformat_get_class)               \
  X(avformat_alloc_context)           \
  X(avformat_free_context)            \
  X(av_find_input_format)             \
  X(av_probe_input_buffer2)           \
  X(avformat_open_input)              \
  X(avformat_close_input)             \
  X(avformat_find_stream_info)        \
  X(av_dump_format)                   \
  X(av_read_frame)                    \
  X(av_seek_frame)                    \
  X(avformat_seek_file)               \
  X(av_guess_format)                  \
  X(av_guess_codec)                   \
  X(av_guess_frame_rate)              \
  X(av_guess_sample_aspect_ratio)     \
  X(avformat_alloc_output_context2)   \
  X(avformat_new_stream)              \
  X(av_stream_get_side_data)          \
  X(av_stream_new_side_data)          \
  X(avformat_query_codec)             \
  X(av_codec_get_id)                  \
  X(av_codec_get_tag)                 \
  X(av_filename_number_test)          \
  X(avformat_write_header)            \
  X(av_interleaved_write_frame)       \
  X(av_write_frame)                   \
  X(av_write_trailer)                 \
  X(av_sdp_create)                    \
  X(av_pkt_dump_log2)                 \
  X(avio_open)                        \
  X(avio_closep)                      \
  X(avio_size)                        \
  X(avio_seek)                        \
  X(avio_flush)

namespace LibAVFormat {

KORVANE_AVFORMAT_FUNCTIONS(KORVANE_DECLARE_FUNCTION)

std::string FileName(bool UseVersionNumber);
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber, bool DoRegister);
void Unload();
bool Loaded();

}  // namespace LibAVFormat
