// SPDX-License-Identifier: GPL-3.0-or-later
/* The pixel formats the sample plug-ins change: 8-bit planar YUV, where
   plane 0 is luma and planes 1 and 2 are chroma at a reduced size. */
#ifndef KORVANE_PLANAR_YUV_H
#define KORVANE_PLANAR_YUV_H

#include <libavutil/pixfmt.h>

/* 1 with the chroma planes' size reduction (as right shifts of the width
   and height) for an 8-bit planar YUV format, 0 for any other format. */
static inline int planar_yuv_shifts(int pix_fmt, int *shift_x, int *shift_y) {
  switch (pix_fmt) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
      *shift_x = 1;
      *shift_y = 1;
      return 1;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
      *shift_x = 1;
      *shift_y = 0;
      return 1;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
      *shift_x = 0;
      *shift_y = 0;
      return 1;
    case AV_PIX_FMT_YUV440P:
    case AV_PIX_FMT_YUVJ440P:
      *shift_x = 0;
      *shift_y = 1;
      return 1;
    case AV_PIX_FMT_YUV411P:
      *shift_x = 2;
      *shift_y = 0;
      return 1;
    case AV_PIX_FMT_YUV410P:
      *shift_x = 2;
      *shift_y = 2;
      return 1;
    default: return 0;
  }
}

/* The size of a chroma plane for a picture side of n pixels: rounded up. */
static inline int chroma_size(int n, int shift) { return (n + (1 << shift) - 1) >> shift; }

#endif
