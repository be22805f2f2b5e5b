// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time binding of libavcodec: decoders, encoders, packets, bitstream
// filters and codec parameters.
#pragma once

#include <string>

#include "BindingUnit.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
}

#define KORVANE_AVCODEC_FUNCTIONS(X)   \
  X(avcodec_version)                   \
  X(avcodec_license)                   \
  X(avcodec_alloc_context3)            \
  X(avcodec_free_context)              \
  X(avcodec_get_class)                 \
  X(avcodec_find_encoder_by_name)      \
  X(avcodec_find_decoder_by_name)      \
  X(avcodec_find_encoder)              \
  X(avcodec_find_decoder)              \
  X(av_codec_iterate)                  \
  X(av_codec_is_encoder)               \
  X(av_codec_is_decoder)               \
  X(avcodec_descriptor_get)            \
  X(avcodec_descriptor_get_by_name)    \
  X(avcodec_get_name)                  \
  X(avcodec_string)                    \
  X(avcodec_parameters_alloc)          \
  X(avcodec_parameters_free)           \
  X(avcodec_parameters_copy)           \
  X(avcodec_parameters_to_context)     \
  X(avcodec_parameters_from_context)   \
  X(avcodec_open2)                     \
  X(avcodec_is_open)                   \
  X(avcodec_flush_buffers)             \
  X(avcodec_send_packet)               \
  X(avcodec_receive_frame)             \
  X(avcodec_send_frame)                \
  X(avcodec_receive_packet)            \
  X(avcodec_decode_subtitle2)          \
  X(avcodec_encode_subtitle)           \
  X(avsubtitle_free)                   \
  X(avcodec_find_best_pix_fmt_of_list) \
  X(av_get_bits_per_sample)            \
  X(av_get_exact_bits_per_sample)      \
  X(av_get_audio_frame_duration2)      \
  X(av_packet_alloc)                   \
  X(av_packet_free)                    \
  X(av_packet_ref)                     \
  X(av_packet_unref)                   \
  X(av_packet_copy_props)              \
  X(av_packet_make_writable)           \
  X(av_packet_rescale_ts)              \
  X(av_packet_get_side_data)           \
  X(av_new_packet)                     \
  X(av_shrink_packet)                  \
  X(av_grow_packet)                    \
  X(av_bsf_get_by_name)                \
  X(av_bsf_alloc)                      \
  X(av_bsf_init)                       \
  X(av_bsf_send_packet)                \
  X(av_bsf_receive_packet)             \
  X(av_bsf_flush)                      \
  X(av_bsf_free)

namespace LibAVCodec {

KORVANE_AVCODEC_FUNCTIONS(KORVANE_DECLARE_FUNCTION)

std::string FileName(bool UseVersionNumber);
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber, bool DoRegister);
void Unload();
bool Loaded();

}  // namespace LibAVCodec
