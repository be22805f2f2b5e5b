// SPDX-License-Identifier: GPL-3.0-or-later
/* A sample frame-hook plug-in: draws a filled box on every picture.
   Arguments: X Y W H [RRGGBB], the box's left and top edge and its width and
   height in pixels (neither 0), and its colour in hexadecimal (white when
   left out).
   The part of the box that lies outside the picture is left out. Pictures
   in formats other than 8-bit planar YUV pass unchanged. */
#include <stdlib.h>
#include <string.h>

#include "korvane_frame_hook.h"
#include "planar_yuv.h"

typedef struct {
  int x, y, w, h;
  unsigned char yuv[3];
} Box;

/* A whole non-negative number; -1 for anything else. */
static long whole(const char *text) {
  char *end;
  long value = strtol(text, &end, 10);
  return (*text >= '0' && *text <= '9' && *end == '\0' && value <= 65535) ? value : -1;
}

int Configure(void **context, int argc, char *argv[]) {
  long v[4], rgb = 0xFFFFFF;
  if (argc != 5 && argc != 6) return -1;
  for (int i = 0; i < 4; ++i)
    if ((v[i] = whole(argv[i + 1])) < 0) return -1;
  if (v[2] == 0 || v[3] == 0) return -1;
  if (argc == 6) {
    if (strlen(argv[5]) != 6 || strspn(argv[5], "0123456789abcdefABCDEF") != 6) return -1;
    rgb = strtol(argv[5], NULL, 16);
  }
  Box *box = malloc(sizeof *box);
  if (!box) return -1;
  box->x = (int)v[0], box->y = (int)v[1], box->w = (int)v[2], box->h = (int)v[3];
  /* BT.601 with studio range, as decoded video normally is. */
  const int r = (int)(rgb >> 16) & 255, g = (int)(rgb >> 8) & 255, b = (int)rgb & 255;
  box->yuv[0] = (unsigned char)(16 + (66 * r + 129 * g + 25 * b + 128) / 256);
  box->yuv[1] = (unsigned char)(128 + (-38 * r - 74 * g + 112 * b + 128) / 256);
  box->yuv[2] = (unsigned char)(128 + (112 * r - 94 * g - 18 * b + 128) / 256);
  *context = box;
  return 0;
}

void Process(void *context, KorvaneFramePicture *picture, int pix_fmt, int width, int height, int64_t pts) {
  const Box *box = context;
  int shift_x, shift_y;
  (void)pts;
  if (!planar_yuv_shifts(pix_fmt, &shift_x, &shift_y)) return;
  for (int plane = 0; plane < 3; ++plane) {
    const int sx = plane ? shift_x : 0, sy = plane ? shift_y : 0;
    const int right = chroma_size(width, sx), bottom = chroma_size(height, sy);
    int x0 = box->x >> sx, y0 = box->y >> sy;
    int x1 = chroma_size(box->x + box->w, sx), y1 = chroma_size(box->y + box->h, sy);
    if (x1 > right) x1 = right;
    if (y1 > bottom) y1 = bottom;
    for (int y = y0; y < y1; ++y)
      if (x0 < x1) memset(picture->data[plane] + y * picture->linesize[plane] + x0, box->yuv[plane], x1 - x0);
  }
}

void Release(void *context) { free(context); }
