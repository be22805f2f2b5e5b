// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time binding of libswscale: picture scaling and pixel-format conversion.
#pragma once

#include <string>

#include "BindingUnit.h"

extern "C" {
#include <libswscale/swscale.h>
}

#define KORVANE_SWSCALE_FUNCTIONS(X) \
  X(swscale_version)                 \
  X(sws_get_class)                   \
  X(sws_alloc_context)               \
  X(sws_init_context)                \
  X(sws_isSupportedInput)            \
  X(sws_isSupportedOutput)           \
  X(sws_getContext)                  \
  X(sws_getCachedContext)            \
  X(sws_scale)                       \
  X(sws_freeContext)

namespace LibSwScale {

KORVANE_SWSCALE_FUNCTIONS(KORVANE_DECLARE_FUNCTION)

std::string FileName(bool UseVersionNumber);
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber);
void Unload();
bool Loaded();

}  // namespace LibSwScale
