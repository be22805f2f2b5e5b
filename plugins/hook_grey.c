// SPDX-License-Identifier: GPL-3.0-or-later
/* A sample frame-hook plug-in: turns the picture grey. The luma stays as it
   is and both chroma planes are set to neutral (128). It takes no arguments.
   Pictures in formats other than 8-bit planar YUV pass unchanged. */
#include <string.h>

#include "korvane_frame_hook.h"
#include "planar_yuv.h"

int Configure(void **context, int argc, char *argv[]) {
  (void)argv;
  *context = NULL;
  return argc == 1 ? 0 : -1; /* argv[0] is the plug-in itself */
}

void Process(void *context, KorvaneFramePicture *picture, int pix_fmt, int width, int height, int64_t pts) {
  int shift_x, shift_y;
  (void)context;
  (void)pts;
  if (!planar_yuv_shifts(pix_fmt, &shift_x, &shift_y)) return;
  const int chroma_width = chroma_size(width, shift_x), chroma_height = chroma_size(height, shift_y);
  for (int plane = 1; plane <= 2; ++plane)
    for (int y = 0; y < chroma_height; ++y)
      memset(picture->data[plane] + y * picture->linesize[plane], 128, chroma_width);
}

void Release(void *context) { (void)context; }
