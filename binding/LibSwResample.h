// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time binding of libswresample: sample-rate, layout and format
// conversion, and the drift compensation of the audio path.
#pragma once

#include <string>

#include "BindingUnit.h"

extern "C" {
#include <libswresample/swresample.h>
}

#define KORVANE_SWRESAMPLE_FUNCTIONS(X) \
  X(swresample_version)                 \
  X(swr_get_class)                      \
  X(swr_alloc)                          \
  X(swr_alloc_set_opts2)                \
  X(swr_init)                           \
  X(swr_is_initialized)                 \
  X(swr_convert)                        \
  X(swr_set_compensation)               \
  X(swr_set_matrix)                     \
  X(swr_get_delay)                      \
  X(swr_get_out_samples)                \
  X(swr_close)                          \
  X(swr_free)

namespace LibSwResample {

KORVANE_SWRESAMPLE_FUNCTIONS(KORVANE_DECLARE_FUNCTION)

std::string FileName(bool UseVersionNumber);
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber);
void Unload();
bool Loaded();

}  // namespace LibSwResample
