// SPDX-License-Identifier: GPL-3.0-or-later
#include "AVHolders.h"

#include <mutex>

#include "AVLibraries.h"

namespace korvane::detail {

void FreeCodecLocked(AVCodecContext *Context) {
  // A pass-two statistics text belongs to the engine, not to the context.
  LibAVUtil::av_freep(&Context->stats_in);
  std::lock_guard Guard(CodecOpenLock());
  LibAVCodec::avcodec_free_context(&Context);
}

}  // namespace korvane::detail
