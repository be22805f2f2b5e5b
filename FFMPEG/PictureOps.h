// SPDX-License-Identifier: GPL-3.0-or-later
// Operations on decoded pictures the video path needs: cutting a rectangle
// out without copying, padding with a colour, deinterlacing, turning by
// quarter turns.
#pragma once

#include <array>

#include "AVHolders.h"

namespace korvane {

// A picture of its own buffer in Format and size; none when it cannot be made.
TFrameHolder NewPicture(AVPixelFormat Format, int Width, int Height);

// Makes Picture a buffer of Format and size that nothing else reads (an
// encoder may still hold the last one): the one it holds when that fits and
// can be written, a new one otherwise. False when none can be made.
bool ReusePicture(TFrameHolder &Picture, AVPixelFormat Format, int Width, int Height);

// Gives Picture (a work picture reused from frame to frame) Source's
// properties, side data and tags in place of its own; false when they
// cannot be copied. The library's copy adds Source's side data to what
// Picture already holds, so a reused picture would gather every frame's.
bool CopyPictureProps(AVFrame *Picture, const AVFrame *Source);

// A frame that shows the rectangle of Source starting at (Left, Top) with
// the given size, without copying: the same buffers with moved plane
// pointers. None for formats that cannot be cut there (bit-packed or
// packed-subsampled formats, an offset that splits a chroma sample).
TFrameHolder CropView(const AVFrame *Source, int Top, int Left, int Width, int Height);

// Fills Picture outside its inner rectangle (the four margins given) with
// the colour Y, U, V (8-bit values). False for formats the colour cannot be
// written in (RGB, paletted, packed or big-endian formats).
bool FillPadding(AVFrame *Picture, int Top, int Bottom, int Left, int Right, const std::array<int, 3> &YUV);

// Deinterlaces Source into Target (same format and size): the lines of the
// first field are kept, those of the second are filtered from their
// neighbours (-1, 4, 2, 4, -1). False for formats other than planar 8-bit
// YUV and grey.
bool DeinterlacePicture(const AVFrame *Source, AVFrame *Target);

// What RotatePicture keeps from one picture to the next for the formats it
// converts before turning them.
struct TRotateScratch {
  TScalerHolder Converter;
  TFrameHolder Converted;
};

// Turns Source clockwise by Degrees (90, 180 or 270) into Target, whose
// buffer is made or reused as ReusePicture does. Pictures are turned, never
// resized: 90 and 270 swap width and height. Formats whose chroma is
// subsampled alike across and down (4:2:0, 4:4:4, NV12, RGB, 10 and 16 bits)
// are turned plane by plane in their own format; the others (4:2:2, 4:1:1,
// bit-packed, paletted, Bayer) are first converted through Scratch into
// RotatedFormat's format, repeating chroma samples rather than blurring
// them. Target gets Source's properties (time, flags), its pixel shape
// turned with it. False for other angles, hardware pictures, or when memory
// runs out.
bool RotatePicture(const AVFrame *Source, TFrameHolder &Target, int Degrees, TRotateScratch &Scratch);

// The format RotatePicture turns pictures of Format into: Format itself,
// else yuv444p (yuvj444p for full-range JPEG pictures), or yuv444p16 for
// samples of more than 8 bits.
AVPixelFormat RotatedFormat(AVPixelFormat Format);

}  // namespace korvane
