// SPDX-License-Identifier: GPL-3.0-or-later
#include "SubtitleBurner.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "FFmpeg.h"
#include "FilterGraphEnds.h"
#include "TextFormat.h"
#include "TrackChoice.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// How long a picture subtitle without an end of its own stays, at most.
constexpr int64_t LongestShown = 10 * AV_TIME_BASE;

[[noreturn]] void Fail(const std::string &Step, int Code) {
  throw FFMpegException("Could not draw the subtitles into the picture (" + Step +
                        "): " + TAVProbe::ErrorDescription(Code));
}

// Y, U and V of an sRGB colour, limited range, at 8 bits: BT.709 for HD
// pictures, BT.601 for smaller ones.
std::array<int, 3> ToYUV(uint32_t ARGB, bool HD) {
  const double R = (ARGB >> 16) & 255, G = (ARGB >> 8) & 255, B = ARGB & 255;
  const double Kr = HD ? 0.2126 : 0.299, Kb = HD ? 0.0722 : 0.114, Kg = 1 - Kr - Kb;
  const double Y = Kr * R + Kg * G + Kb * B;
  return {static_cast<int>(std::lround(16 + Y * 219 / 255)),
          static_cast<int>(std::lround(128 + (B - Y) / (2 * (1 - Kb)) * 224 / 255)),
          static_cast<int>(std::lround(128 + (R - Y) / (2 * (1 - Kr)) * 224 / 255))};
}

// Planar YUV of 8 to 16 bits a sample, the pictures the encoders take.
bool PlanarYUV(const AVPixFmtDescriptor *D) {
  if (!D || D->nb_components < 3 ||
      (D->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_FLOAT |
                   AV_PIX_FMT_FLAG_HWACCEL)))
    return false;
  for (int C = 0; C < 3; ++C)
    if (D->comp[C].plane != C || D->comp[C].shift != 0 || D->comp[C].depth > 16) return false;
  return true;
}

// Sample (X, Y) of a plane blended towards Value (at the plane's depth) by
// Alpha out of 255.
void Blend(AVFrame *Picture, int Plane, int X, int Y, int Value, int Alpha, bool Wide) {
  uint8_t *Row = Picture->data[Plane] + static_cast<ptrdiff_t>(Y) * Picture->linesize[Plane];
  if (Wide) {
    uint16_t *Sample = reinterpret_cast<uint16_t *>(Row) + X;
    *Sample = static_cast<uint16_t>((*Sample * (255 - Alpha) + Value * Alpha + 127) / 255);
  } else {
    Row[X] = static_cast<uint8_t>((Row[X] * (255 - Alpha) + Value * Alpha + 127) / 255);
  }
}

}  // namespace

TSubtitleBurner::TSubtitleBurner(const std::string &FileName, int Number, int Width, int Height, int Threads)
    : FFileName(FileName), FNumber(Number), FThreads(Threads), FCanvasWidth(Width), FCanvasHeight(Height) {
  FFrame.reset(LibAVUtil::av_frame_alloc());
  if (!FFrame) throw FFMpegException("av_mallocz fail");
  ReadTrack(FileName, Number);
  if (FText && !LibAVFilter::avfilter_get_by_name("subtitles"))
    throw FFMpegException(
        "Drawing text subtitles into the picture needs libavfilter's \"subtitles\" filter (libass), which "
        "the "
        "installed library lacks");
}

void TSubtitleBurner::ReadTrack(const std::string &FileName, int Number) {
  AVFormatContext *Opened = nullptr;
  int Result = LibAVFormat::avformat_open_input(&Opened, FileName.c_str(), nullptr, nullptr);
  if (Result < 0) Fail("opening the file", Result);
  TInputFormatHolder Input(Opened);
  {
    std::lock_guard Guard(CodecOpenLock());
    Result = LibAVFormat::avformat_find_stream_info(Opened, nullptr);
  }
  if (Result < 0) Fail("reading the file", Result);
  const int Index = TrackStream(Opened, AVMEDIA_TYPE_SUBTITLE, Number);
  for (unsigned I = 0; I < Opened->nb_streams; ++I)
    if (static_cast<int>(I) != Index) Opened->streams[I]->discard = AVDISCARD_ALL;
  const AVStream *Stream = Opened->streams[Index];
  const AVCodec *Codec = LibAVCodec::avcodec_find_decoder(Stream->codecpar->codec_id);
  if (!Codec)
    throw FFMpegException(
        Format("Subtitle track %d uses a codec the installed libraries cannot decode", Number));
  const AVCodecDescriptor *Descriptor = LibAVCodec::avcodec_descriptor_get(Codec->id);
  FText = Descriptor && (Descriptor->props & AV_CODEC_PROP_TEXT_SUB);
  TCodecHolder Decoder(LibAVCodec::avcodec_alloc_context3(Codec));
  if (!Decoder || LibAVCodec::avcodec_parameters_to_context(Decoder.get(), Stream->codecpar) < 0)
    throw FFMpegException("av_mallocz fail");
  Decoder->pkt_timebase = Stream->time_base;
  {
    std::lock_guard Guard(CodecOpenLock());
    Result = LibAVCodec::avcodec_open2(Decoder.get(), Codec, nullptr);
  }
  if (Result < 0) Fail("opening its decoder", Result);
  if (Decoder->width > 0 && Decoder->height > 0) {
    FCanvasWidth = Decoder->width;
    FCanvasHeight = Decoder->height;
  }

  TPacketHolder Packet(LibAVCodec::av_packet_alloc());
  if (!Packet) throw FFMpegException("av_mallocz fail");
  size_t Packets = 0;
  while (LibAVFormat::av_read_frame(Opened, Packet.get()) >= 0) {
    if (Packet->stream_index == Index && Packet->pts != AV_NOPTS_VALUE) {
      ++Packets;
      TSubtitleHolder Subtitle;
      int Got = 0;
      if (LibAVCodec::avcodec_decode_subtitle2(Decoder.get(), Subtitle.get(), &Got, Packet.get()) >= 0 &&
          Got) {
        ++FEntries;
        if (!FText)
          KeepBitmaps(*Subtitle.get(), LibAVUtil::av_rescale_q(Packet->pts, Stream->time_base, Microseconds));
      }
    }
    LibAVCodec::av_packet_unref(Packet.get());
  }
  if (FEntries == 0 && Packets > 0)
    throw FFMpegException(Format("Subtitle track %d of %s is damaged: none of its %zu entries can be read",
                                 Number, FileName.c_str(), Packets));
  // A picture subtitle without an end of its own stays until the next one.
  std::sort(FShown.begin(), FShown.end(), [](const TShown &A, const TShown &B) { return A.Start < B.Start; });
  for (size_t I = 0; I < FShown.size(); ++I) {
    const int64_t Next = I + 1 < FShown.size() ? FShown[I + 1].Start : FShown[I].Start + LongestShown;
    if (FShown[I].End <= FShown[I].Start || FShown[I].End > Next) FShown[I].End = Next;
  }
}

void TSubtitleBurner::KeepBitmaps(const AVSubtitle &Subtitle, int64_t Start) {
  TShown Shown;
  Shown.Start = Start + int64_t{Subtitle.start_display_time} * 1000;
  // An end of "for ever" (or none) is taken from the next subtitle.
  Shown.End = Subtitle.end_display_time > 0 && Subtitle.end_display_time < UINT32_MAX / 2
                  ? Start + int64_t{Subtitle.end_display_time} * 1000
                  : 0;
  for (unsigned R = 0; R < Subtitle.num_rects; ++R) {
    const AVSubtitleRect *Rect = Subtitle.rects[R];
    if (Rect->type != SUBTITLE_BITMAP || Rect->w <= 0 || Rect->h <= 0 || !Rect->data[0] || !Rect->data[1])
      continue;
    TBitmap Bitmap{Rect->x, Rect->y, Rect->w, Rect->h, {}, {}};
    Bitmap.Indices.resize(static_cast<size_t>(Rect->w) * Rect->h);
    for (int Y = 0; Y < Rect->h; ++Y)
      std::memcpy(Bitmap.Indices.data() + static_cast<size_t>(Y) * Rect->w,
                  Rect->data[0] + static_cast<ptrdiff_t>(Y) * Rect->linesize[0],
                  static_cast<size_t>(Rect->w));
    std::memcpy(Bitmap.Palette.data(), Rect->data[1],
                sizeof(uint32_t) * static_cast<size_t>(std::clamp(Rect->nb_colors, 0, 256)));
    Shown.Bitmaps.push_back(std::move(Bitmap));
  }
  FShown.push_back(std::move(Shown));
}

void TSubtitleBurner::Draw(AVFrame *Picture, int64_t Time) {
  if (FText) {
    DrawText(Picture, Time);
    return;
  }
  for (const TShown &Shown : FShown) {
    if (Shown.Start > Time) break;
    if (Time < Shown.End)
      for (const TBitmap &Bitmap : Shown.Bitmaps) DrawBitmap(Picture, Bitmap);
  }
}

void TSubtitleBurner::DrawBitmap(AVFrame *Picture, const TBitmap &Bitmap) const {
  const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(Picture->format));
  if (!PlanarYUV(D) || FCanvasWidth <= 0 || FCanvasHeight <= 0) return;
  const double ScaleX = static_cast<double>(Picture->width) / FCanvasWidth;
  const double ScaleY = static_cast<double>(Picture->height) / FCanvasHeight;
  const int Left = static_cast<int>(std::lround(Bitmap.X * ScaleX)),
            Top = static_cast<int>(std::lround(Bitmap.Y * ScaleY));
  const int Right =
      std::min(Picture->width, static_cast<int>(std::lround((Bitmap.X + Bitmap.Width) * ScaleX)));
  const int Bottom =
      std::min(Picture->height, static_cast<int>(std::lround((Bitmap.Y + Bitmap.Height) * ScaleY)));
  const bool HD = Picture->height >= 720;
  // The palette's colours at the picture's depth.
  std::array<std::array<int, 3>, 256> Colours{};
  for (size_t I = 0; I < 256; ++I) {
    const std::array<int, 3> YUV = ToYUV(Bitmap.Palette[I], HD);
    for (int C = 0; C < 3; ++C)
      Colours[I][static_cast<size_t>(C)] = YUV[static_cast<size_t>(C)] << (D->comp[C].depth - 8);
  }
  for (int Plane = 0; Plane < 3; ++Plane) {
    const int ShiftX = Plane ? D->log2_chroma_w : 0, ShiftY = Plane ? D->log2_chroma_h : 0;
    const bool Wide = D->comp[Plane].depth > 8;
    for (int Y = std::max(Top, 0) >> ShiftY; (Y << ShiftY) < Bottom; ++Y) {
      const int SourceY = std::clamp(static_cast<int>(((Y << ShiftY) - Top) / ScaleY), 0, Bitmap.Height - 1);
      for (int X = std::max(Left, 0) >> ShiftX; (X << ShiftX) < Right; ++X) {
        const int SourceX =
            std::clamp(static_cast<int>(((X << ShiftX) - Left) / ScaleX), 0, Bitmap.Width - 1);
        const uint8_t Index = Bitmap.Indices[static_cast<size_t>(SourceY) * Bitmap.Width + SourceX];
        const int Alpha = static_cast<int>(Bitmap.Palette[Index] >> 24);
        if (Alpha > 0) Blend(Picture, Plane, X, Y, Colours[Index][static_cast<size_t>(Plane)], Alpha, Wide);
      }
    }
  }
}

void TSubtitleBurner::BuildTextGraph(const AVFrame *Picture) {
  int Result = MakeGraphEnds(FGraph, FIn, FOut, Picture, AVRational{1, 1}, FThreads);
  if (Result < 0) Fail("graph ends", Result);
  // The file's name and the track go in as options, so no name needs the
  // escaping of a filter description.
  AVFilterContext *Burn = LibAVFilter::avfilter_graph_alloc_filter(
      FGraph.get(), LibAVFilter::avfilter_get_by_name("subtitles"), "burn");
  if (!Burn) throw FFMpegException("av_mallocz fail");
  if ((Result = LibAVUtil::av_opt_set(Burn, "filename", FFileName.c_str(), AV_OPT_SEARCH_CHILDREN)) < 0 ||
      (Result = LibAVUtil::av_opt_set_int(Burn, "stream_index", FNumber - 1, AV_OPT_SEARCH_CHILDREN)) < 0 ||
      (Result = LibAVFilter::avfilter_init_str(Burn, nullptr)) < 0)
    Fail("subtitles", Result);
  if ((Result = LibAVFilter::avfilter_link(FIn, 0, Burn, 0)) < 0 ||
      (Result = LibAVFilter::avfilter_link(Burn, 0, FOut, 0)) < 0 ||
      (Result = LibAVFilter::avfilter_graph_config(FGraph.get(), nullptr)) < 0)
    Fail("filters", Result);
  FGraphWidth = Picture->width;
  FGraphHeight = Picture->height;
  FGraphFormat = Picture->format;
}

void TSubtitleBurner::DrawText(AVFrame *Picture, int64_t Time) {
  if (!FGraph || Picture->width != FGraphWidth || Picture->height != FGraphHeight ||
      Picture->format != FGraphFormat)
    BuildTextGraph(Picture);
  AVFrame *Frame = FFrame.get();
  LibAVUtil::av_frame_unref(Frame);
  Frame->width = Picture->width;
  Frame->height = Picture->height;
  Frame->format = Picture->format;
  if (LibAVUtil::av_frame_get_buffer(Frame, 0) < 0) throw FFMpegException("av_mallocz fail");
  LibAVUtil::av_image_copy(Frame->data, Frame->linesize, const_cast<const uint8_t **>(Picture->data),
                           Picture->linesize, static_cast<AVPixelFormat>(Picture->format), Picture->width,
                           Picture->height);
  Frame->pts = Time;
  int Result = LibAVFilter::av_buffersrc_add_frame_flags(FIn, Frame, 0);
  if (Result < 0) Fail("picture in", Result);
  if ((Result = LibAVFilter::av_buffersink_get_frame(FOut, Frame)) < 0) Fail("picture out", Result);
  LibAVUtil::av_image_copy(Picture->data, Picture->linesize, const_cast<const uint8_t **>(Frame->data),
                           Frame->linesize, static_cast<AVPixelFormat>(Picture->format), Picture->width,
                           Picture->height);
  LibAVUtil::av_frame_unref(Frame);
}

}  // namespace korvane
