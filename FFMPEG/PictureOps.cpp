// SPDX-License-Identifier: GPL-3.0-or-later
#include "PictureOps.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

// Whether plane P of format D holds chroma (and is subsampled with it).
bool IsChromaPlane(const AVPixFmtDescriptor *D, int P) {
  if (D->flags & AV_PIX_FMT_FLAG_RGB) return false;
  return D->nb_components >= 3 && P != D->comp[0].plane && (P == D->comp[1].plane || P == D->comp[2].plane);
}

// Planar formats with one component per plane and samples of 8 to 16 bits
// in host order: the formats whose planes can be written sample by sample.
bool IsSimplePlanar(const AVPixFmtDescriptor *D) {
  if (!D || (D->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                         AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_FLOAT)))
    return false;
  for (int C = 0; C < D->nb_components; ++C) {
    if (D->comp[C].plane != C || D->comp[C].shift != 0 || D->comp[C].depth > 16) return false;
    if (D->comp[C].step != (D->comp[C].depth > 8 ? 2 : 1)) return false;
  }
  return D->nb_components >= 1;
}

int PlaneWidth(const AVPixFmtDescriptor *D, int Plane, int Width) {
  return IsChromaPlane(D, Plane) ? -((-Width) >> D->log2_chroma_w) : Width;
}
int PlaneHeight(const AVPixFmtDescriptor *D, int Plane, int Height) {
  return IsChromaPlane(D, Plane) ? -((-Height) >> D->log2_chroma_h) : Height;
}

void FillSpan(uint8_t *Row, int From, int To, int Value, bool Wide) {
  if (To <= From) return;
  if (!Wide) {
    std::memset(Row + From, Value, static_cast<size_t>(To - From));
    return;
  }
  uint16_t *Samples = reinterpret_cast<uint16_t *>(Row);
  std::fill(Samples + From, Samples + To, static_cast<uint16_t>(Value));
}

// Whether pictures of format D can be turned plane by plane: every plane
// holds whole pixels of one size, and chroma is subsampled alike across and
// down, so that a turned plane is the plane of the turned picture.
bool TurnsByPlane(const AVPixFmtDescriptor *D) {
  constexpr uint64_t Unturnable =
      AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER;
  return D && !(D->flags & Unturnable) && D->log2_chroma_w == D->log2_chroma_h;
}

// Copies one pixel of Size bytes; Size is a constant where E gives one.
template <size_t E>
inline void CopyPixel(uint8_t *Target, const uint8_t *Source, size_t Size) {
  std::memcpy(Target, Source, E ? E : Size);
}

// Turns one plane of Width x Height pixels of Size bytes. A quarter turn
// writes the target row by row in square tiles of 64 pixels, so that the
// source rows a tile reads down stay in the cache while it writes. What it
// costs is the memory traffic: moving 8x8 blocks of bytes through the
// registers as words was tried and is no faster.
template <size_t E>
void TurnPlane(const uint8_t *Source, ptrdiff_t SourceStride, uint8_t *Target, ptrdiff_t TargetStride,
               int Width, int Height, size_t Size, int Degrees) {
  const ptrdiff_t Pixel = static_cast<ptrdiff_t>(Size);
  if (Degrees == 180) {
    for (int Y = 0; Y < Height; ++Y) {
      const uint8_t *In = Source + (Height - 1 - Y) * SourceStride + (Width - 1) * Pixel;
      uint8_t *Out = Target + Y * TargetStride;
      for (int X = 0; X < Width; ++X, In -= Pixel, Out += Pixel) CopyPixel<E>(Out, In, Size);
    }
    return;
  }
  // The target is Height pixels wide and Width high. Clockwise, its row Y
  // is the source's column Y read upwards; the other way, the source's
  // column Width - 1 - Y read downwards.
  constexpr int Tile = 64;
  const bool Clockwise = Degrees == 90;
  const ptrdiff_t Step = Clockwise ? -SourceStride : SourceStride;
  for (int Y0 = 0; Y0 < Width; Y0 += Tile) {
    const int YEnd = std::min(Y0 + Tile, Width);
    for (int X0 = 0; X0 < Height; X0 += Tile) {
      const int XEnd = std::min(X0 + Tile, Height);
      for (int Y = Y0; Y < YEnd; ++Y) {
        const uint8_t *In = Clockwise ? Source + (Height - 1 - X0) * SourceStride + Y * Pixel
                                      : Source + X0 * SourceStride + (Width - 1 - Y) * Pixel;
        uint8_t *Out = Target + Y * TargetStride + X0 * Pixel;
        for (int X = X0; X < XEnd; ++X, In += Step, Out += Pixel) CopyPixel<E>(Out, In, Size);
      }
    }
  }
}

// Turns every plane of Source into Target (its turned picture in the same
// format, see TurnsByPlane).
void TurnPlanes(const AVFrame *Source, AVFrame *Target, const AVPixFmtDescriptor *D, int Degrees) {
  int Steps[4] = {};
  LibAVUtil::av_image_fill_max_pixsteps(Steps, nullptr, D);
  int Planes = 0;
  for (int C = 0; C < D->nb_components; ++C) Planes = std::max(Planes, D->comp[C].plane + 1);
  for (int P = 0; P < Planes; ++P) {
    const int W = PlaneWidth(D, P, Source->width), H = PlaneHeight(D, P, Source->height);
    const auto Turn = [&](auto Turner) {
      Turner(Source->data[P], Source->linesize[P], Target->data[P], Target->linesize[P], W, H,
             static_cast<size_t>(Steps[P]), Degrees);
    };
    switch (Steps[P]) {
      case 1: Turn(TurnPlane<1>); break;
      case 2: Turn(TurnPlane<2>); break;
      case 3: Turn(TurnPlane<3>); break;
      case 4: Turn(TurnPlane<4>); break;
      case 6: Turn(TurnPlane<6>); break;
      case 8: Turn(TurnPlane<8>); break;
      default: Turn(TurnPlane<0>); break;
    }
  }
}

int LargestDepth(const AVPixFmtDescriptor *D) {
  int Depth = 0;
  for (int C = 0; C < D->nb_components; ++C) Depth = std::max(Depth, D->comp[C].depth);
  return Depth;
}

}  // namespace

TFrameHolder NewPicture(AVPixelFormat Format, int Width, int Height) {
  if (Format == AV_PIX_FMT_NONE || Width <= 0 || Height <= 0) return nullptr;
  TFrameHolder Picture(LibAVUtil::av_frame_alloc());
  if (!Picture) return nullptr;
  Picture->format = Format;
  Picture->width = Width;
  Picture->height = Height;
  if (LibAVUtil::av_frame_get_buffer(Picture.get(), 0) < 0) return nullptr;
  return Picture;
}

bool ReusePicture(TFrameHolder &Picture, AVPixelFormat Format, int Width, int Height) {
  if (!Picture || Picture->format != Format || Picture->width != Width || Picture->height != Height) {
    Picture = NewPicture(Format, Width, Height);
    return Picture != nullptr;
  }
  return LibAVUtil::av_frame_make_writable(Picture.get()) >= 0;
}

bool CopyPictureProps(AVFrame *Picture, const AVFrame *Source) {
  while (Picture->nb_side_data > 0)
    LibAVUtil::av_frame_remove_side_data(Picture, Picture->side_data[0]->type);
  LibAVUtil::av_dict_free(&Picture->metadata);
  return LibAVUtil::av_frame_copy_props(Picture, Source) >= 0;
}

TFrameHolder CropView(const AVFrame *Source, int Top, int Left, int Width, int Height) {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(Source->format));
  if (!D || (D->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL))) return nullptr;
  const bool PackedSubsampled =
      !(D->flags & AV_PIX_FMT_FLAG_PLANAR) && (D->log2_chroma_w || D->log2_chroma_h);
  if (PackedSubsampled || (Left & ((1 << D->log2_chroma_w) - 1)) || (Top & ((1 << D->log2_chroma_h) - 1)))
    return nullptr;
  if (Top < 0 || Left < 0 || Width <= 0 || Height <= 0 || Left + Width > Source->width ||
      Top + Height > Source->height)
    return nullptr;
  int Steps[4] = {};
  LibAVUtil::av_image_fill_max_pixsteps(Steps, nullptr, D);
  TFrameHolder View(LibAVUtil::av_frame_alloc());
  if (!View || LibAVUtil::av_frame_ref(View.get(), Source) < 0) return nullptr;
  const int Planes = (D->flags & AV_PIX_FMT_FLAG_PAL) ? 1 : 4;  // a palette stays where it is
  for (int P = 0; P < Planes; ++P) {
    if (!View->data[P]) continue;
    const bool Chroma = IsChromaPlane(D, P);
    const int Rows = Chroma ? Top >> D->log2_chroma_h : Top;
    const int Columns = Chroma ? Left >> D->log2_chroma_w : Left;
    View->data[P] +=
        static_cast<ptrdiff_t>(Rows) * View->linesize[P] + static_cast<ptrdiff_t>(Columns) * Steps[P];
  }
  View->width = Width;
  View->height = Height;
  return View;
}

namespace {

// Whether D is packed 8-bit RGB (rgb24, bgr24, rgba, argb, ...): every
// component in the one plane, a byte each.
bool IsPackedRGB(const AVPixFmtDescriptor *D) {
  if (!D || (D->flags & ~(AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_ALPHA)) != 0 ||
      !(D->flags & AV_PIX_FMT_FLAG_RGB) || D->nb_components < 3)
    return false;
  for (int C = 0; C < D->nb_components; ++C)
    if (D->comp[C].plane != 0 || D->comp[C].depth != 8 || D->comp[C].shift != 0 ||
        D->comp[C].step < D->nb_components)
      return false;
  return true;
}

// The padding of a packed RGB picture (an encoder of pictures such as PNG):
// the pad colour, given in video YUV, as RGB.
void FillPackedPadding(AVFrame *Picture, const AVPixFmtDescriptor *D, int Top, int Bottom, int Left,
                       int Right, const std::array<int, 3> &YUV) {
  const double Y = 1.164 * (YUV[0] - 16), U = YUV[1] - 128, V = YUV[2] - 128;
  const uint8_t Values[4] = {
      static_cast<uint8_t>(std::clamp(std::lround(Y + 1.596 * V), 0L, 255L)),
      static_cast<uint8_t>(std::clamp(std::lround(Y - 0.392 * U - 0.813 * V), 0L, 255L)),
      static_cast<uint8_t>(std::clamp(std::lround(Y + 2.017 * U), 0L, 255L)), 255};
  const int Step = D->comp[0].step;
  for (int Row = 0; Row < Picture->height; ++Row) {
    uint8_t *Line = Picture->data[0] + static_cast<ptrdiff_t>(Row) * Picture->linesize[0];
    const bool Band = Row < Top || Row >= Picture->height - Bottom;
    for (int X = 0; X < Picture->width; ++X) {
      if (!Band && X >= Left && X < Picture->width - Right) continue;
      for (int C = 0; C < D->nb_components; ++C) Line[X * Step + D->comp[C].offset] = Values[C];
    }
  }
}

}  // namespace

bool FillPadding(AVFrame *Picture, int Top, int Bottom, int Left, int Right, const std::array<int, 3> &YUV) {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(Picture->format));
  if (IsPackedRGB(D)) {
    FillPackedPadding(Picture, D, Top, Bottom, Left, Right, YUV);
    return true;
  }
  if (!IsSimplePlanar(D)) return false;
  for (int C = 0; C < D->nb_components; ++C) {
    const int Depth = D->comp[C].depth;
    const int Value8 = C < 3 ? YUV[static_cast<size_t>(C)] : 255;  // alpha: opaque
    const int Value = Value8 << (Depth - 8) | (C == 3 ? (1 << (Depth - 8)) - 1 : 0);
    const bool Wide = Depth > 8;
    const bool Chroma = IsChromaPlane(D, C);
    const int HShift = Chroma ? D->log2_chroma_w : 0, VShift = Chroma ? D->log2_chroma_h : 0;
    const int W = PlaneWidth(D, C, Picture->width), H = PlaneHeight(D, C, Picture->height);
    const int InnerTop = Top >> VShift, InnerBottom = H - (Bottom >> VShift);
    const int InnerLeft = Left >> HShift, InnerRight = W - (Right >> HShift);
    for (int Y = 0; Y < H; ++Y) {
      uint8_t *Row = Picture->data[C] + static_cast<ptrdiff_t>(Y) * Picture->linesize[C];
      if (Y < InnerTop || Y >= InnerBottom) {
        FillSpan(Row, 0, W, Value, Wide);
      } else {
        FillSpan(Row, 0, InnerLeft, Value, Wide);
        FillSpan(Row, InnerRight, W, Value, Wide);
      }
    }
  }
  return true;
}

bool DeinterlacePicture(const AVFrame *Source, AVFrame *Target) {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(Source->format));
  if (!IsSimplePlanar(D) || D->comp[0].depth != 8 || Source->format != Target->format ||
      Source->width != Target->width || Source->height != Target->height)
    return false;
  for (int P = 0; P < D->nb_components; ++P) {
    const int W = PlaneWidth(D, P, Source->width), H = PlaneHeight(D, P, Source->height);
    const auto Line = [&](int Y) {
      return Source->data[P] + static_cast<ptrdiff_t>(std::clamp(Y, 0, H - 1)) * Source->linesize[P];
    };
    for (int Y = 0; Y < H; ++Y) {
      uint8_t *Out = Target->data[P] + static_cast<ptrdiff_t>(Y) * Target->linesize[P];
      if (Y % 2 == 0) {
        std::memcpy(Out, Line(Y), static_cast<size_t>(W));
        continue;
      }
      const uint8_t *M2 = Line(Y - 2), *M1 = Line(Y - 1), *C0 = Line(Y), *P1 = Line(Y + 1), *P2 = Line(Y + 2);
      for (int X = 0; X < W; ++X) {
        const int Sum = -M2[X] + 4 * M1[X] + 2 * C0[X] + 4 * P1[X] - P2[X];
        Out[X] = static_cast<uint8_t>(std::clamp((Sum + 4) >> 3, 0, 255));
      }
    }
  }
  return true;
}

AVPixelFormat RotatedFormat(AVPixelFormat Format) {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(Format);
  if (!D || TurnsByPlane(D) || (D->flags & AV_PIX_FMT_FLAG_HWACCEL)) return Format;
  // Full-range (JPEG) pictures keep their range.
  if (Format == AV_PIX_FMT_YUVJ411P || Format == AV_PIX_FMT_YUVJ422P || Format == AV_PIX_FMT_YUVJ440P)
    return AV_PIX_FMT_YUVJ444P;
  return LargestDepth(D) > 8 ? AV_PIX_FMT_YUV444P16 : AV_PIX_FMT_YUV444P;
}

bool RotatePicture(const AVFrame *Source, TFrameHolder &Target, int Degrees, TRotateScratch &Scratch) {
  const AVPixelFormat SourceFormat = static_cast<AVPixelFormat>(Source->format);
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(SourceFormat);
  if (!D || (D->flags & AV_PIX_FMT_FLAG_HWACCEL) || (Degrees != 90 && Degrees != 180 && Degrees != 270) ||
      Source->width <= 0 || Source->height <= 0)
    return false;
  const AVFrame *Turnable = Source;
  const AVPixelFormat Format = RotatedFormat(SourceFormat);
  if (Format != SourceFormat) {
    if (!ReusePicture(Scratch.Converted, Format, Source->width, Source->height)) return false;
    Scratch.Converter.reset(LibSwScale::sws_getCachedContext(
        Scratch.Converter.release(), Source->width, Source->height, SourceFormat, Source->width,
        Source->height, Format, SWS_POINT, nullptr, nullptr, nullptr));
    if (!Scratch.Converter) return false;
    LibSwScale::sws_scale(Scratch.Converter.get(), Source->data, Source->linesize, 0, Source->height,
                          Scratch.Converted->data, Scratch.Converted->linesize);
    Turnable = Scratch.Converted.get();
    D = LibAVUtil::av_pix_fmt_desc_get(Format);
  }
  const bool Quarter = Degrees != 180;
  if (!ReusePicture(Target, Format, Quarter ? Source->height : Source->width,
                    Quarter ? Source->width : Source->height))
    return false;
  TurnPlanes(Turnable, Target.get(), D, Degrees);
  if (!CopyPictureProps(Target.get(), Source)) return false;
  // A matrix the decoder found in the picture itself would turn it twice.
  LibAVUtil::av_frame_remove_side_data(Target.get(), AV_FRAME_DATA_DISPLAYMATRIX);
  const AVRational Shape = Source->sample_aspect_ratio;
  if (Quarter && Shape.num > 0 && Shape.den > 0) Target->sample_aspect_ratio = {Shape.den, Shape.num};
  return true;
}

}  // namespace korvane
