// SPDX-License-Identifier: GPL-3.0-or-later
/* The frame-hook plug-in interface of Korvane Video Converter.

   A plug-in is a shared library that changes every decoded picture of a
   conversion in place. It exports up to three plain C functions:

     Configure  optional; takes the plug-in's arguments
     Process    required; changes one picture
     Release    optional; frees what Configure made

   A conversion adds a plug-in with the option text "vhook" (korvane-convert:
   --hook): the first word names the library file, and all the words (the
   file name first) are the arguments. The words are split at "|" when the
   text holds one, else at blanks; at most 63 of them.

   Configure(context, argc, argv) is called once, when the plug-in is added,
   if the library exports it (a library without it takes no arguments).
   argv[0] is the library file as given, argv[1] .. argv[argc - 1] the
   plug-in's own arguments, argv[argc] is NULL. Store what Process needs in
   *context (it starts as NULL). Return 0 to accept the arguments; anything
   else refuses them and the conversion is not set up.

   Process(context, picture, pix_fmt, width, height, pts) is called for
   every picture while the hooks are on, on the conversion's own thread,
   with the pictures in order. pix_fmt is the picture's AVPixelFormat value
   of the libavutil the converter runs on (libavutil/pixfmt.h); pts is the
   picture's time in microseconds. Change the pixels in place; the plane
   pointers and line sizes belong to the converter and may differ from one
   call to the next, and so may the size. Several conversions may call one
   library at the same time, each with its own context: keep state in the
   context, not in globals.

   Release(context) is called once when the conversion that added the
   plug-in is cleared, if the library exports it.

   A library added twice is loaded once and gets two contexts. Libraries
   stay loaded until the program ends. */
#ifndef KORVANE_FRAME_HOOK_H
#define KORVANE_FRAME_HOOK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A picture: the first byte of each plane and the bytes from one row of the
   plane to the next. Planes a format does not have are NULL. */
typedef struct KorvaneFramePicture {
  uint8_t *data[4];
  int linesize[4];
} KorvaneFramePicture;

typedef int (*KorvaneFrameHookConfigure)(void **context, int argc, char *argv[]);
typedef void (*KorvaneFrameHookProcess)(void *context, KorvaneFramePicture *picture, int pix_fmt, int width,
                                        int height, int64_t pts);
typedef void (*KorvaneFrameHookRelease)(void *context);

/* The declarations a plug-in implements; the converter itself only uses
   the pointer types above. */
#ifndef KORVANE_FRAME_HOOK_HOST
int Configure(void **context, int argc, char *argv[]);
void Process(void *context, KorvaneFramePicture *picture, int pix_fmt, int width, int height, int64_t pts);
void Release(void *context);
#endif

#ifdef __cplusplus
}
#endif

#endif
