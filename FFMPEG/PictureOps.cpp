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

bool FillPadding(AVFrame *Picture, int Top, int Bottom, int Left, int Right, const std::array<int, 3> &YUV) {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(Picture->format));
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

}  // namespace korvane
