// SPDX-License-Identifier: GPL-3.0-or-later
// The video path of one output stream: how many times each picture is
// written (dropped, once, or repeated) to keep the output in step with the
// input clock, then cropping, scaling, padding and encoding. Each decoded
// picture was already deinterlaced and turned upright, once for all its
// outputs, on the packet path.
//
// Keeping a frame rate, every output frame slot shows the picture whose time
// has come: a picture takes the slot nearest its time, and the slots up to
// the next picture's repeat it. So a picture is written when the next one
// arrives (or at the end, for the rest of its own duration); a picture whose
// slot the next one takes is dropped.
#include "VideoPath.h"

#include <algorithm>
#include <cmath>

#include "AVLibraries.h"
#include "PictureOps.h"
#include "TextFormat.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// How long a decoded picture lasts, microseconds: what its packet says,
// else one frame of the stream's rate, else the decoder's guess (NextPts).
// The decoder's own rate can be far off (an MPEG-4 stream may state its
// clock's tick rate).
int64_t PictureDuration(const TStreamView &Ist, const AVFrame *Picture) {
#ifdef FF_API_PKT_DURATION  // defined from the release that has AVFrame.duration on
  const int64_t Stated = Picture->duration;
#else
  const int64_t Stated = Picture->pkt_duration;
#endif
  if (Stated > 0) return LibAVUtil::av_rescale_q(Stated, Ist.Stream->time_base, Microseconds);
  const AVRational Rate =
      Ist.Stream->avg_frame_rate.num > 0 ? Ist.Stream->avg_frame_rate : Ist.Stream->r_frame_rate;
  if (Rate.num > 0 && Rate.den > 0) return LibAVUtil::av_rescale_q(1, {Rate.den, Rate.num}, Microseconds);
  return std::max<int64_t>(Ist.NextPts - Ist.Pts, 0);
}

// The frame slot a picture at Position (in frame slots of the output)
// takes: the nearest, a tie going to the later one, so a picture is never
// shown more than half a frame before its time.
int64_t SlotOf(double Position) { return static_cast<int64_t>(std::floor(Position + 0.5)); }

}  // namespace

int TVideoPath::Out(const TStreamView &Ist, int64_t ClockPts, AVFrame *Picture) {
  TOptionState &S = FState;
  const double FrameDuration = av_q2d(FLink.Encoder()->time_base);
  const int64_t Start = ClockPts - S.FStartTime;
  const double Position = static_cast<double>(Start) / 1000000.0 / FrameDuration;
  const bool Sync = S.FVideoSyncMethod > 0 || (S.FVideoSyncMethod != 0 && FrameDuration > 0.001);

  if (Sync && S.FVideoSyncMethod != 2) {
    // The held picture fills the slots up to this one's; this one waits.
    int Written = 0;
    // Not past the recording time: the pictures the loop still reads while
    // the sound catches up would make the range longer than asked.
    const int64_t Left = SlotsLeft(FrameDuration);
    if (FHeldPicture && Left > 0)
      Written = WriteHeldPicture(std::min(SlotOf(Position) - FLink.Position(), Left));
    HoldPicture(Ist, Picture, Start);
    return Written;
  }

  // Each picture once, at its own time.
  const double End = static_cast<double>(Start + PictureDuration(Ist, Picture)) / 1000000.0 / FrameDuration;
  const std::optional<int64_t> Slot = OwnSlot(Position, End, Sync);
  if (!Slot && Sync && Position < 0 && End > 0 && FLink.FramesEncoded() == 0) {
    // Still on screen at the start, though for less than half a frame: the
    // next picture takes the first slot, but where none comes (a start in
    // the last picture of a file) this one is the output's picture.
    HoldPicture(Ist, Picture, Start);
    return 0;
  }
  FHeldPicture.reset();
  const int Frames = Slot ? 1 : 0;
  if (Slot) FLink.Advance(*Slot - FLink.Position());
  if (Sync) CountDropsAndRepeats(Frames);
  if (Frames == 0 || S.FMaxFrames[0] - FLink.FramesEncoded() <= 0 || FTask.FStopRequested ||
      SlotsLeft(FrameDuration) <= 0)
    return 0;
  TFrameHolder Cropped;
  AVFrame *Final = FormatPicture(Picture, SourceTime(Ist), Cropped);
  if (!Final) return 0;
  SetPictureFlags(Ist, Final, Picture);
  return EncodePicture(Final);
}

std::optional<int64_t> TVideoPath::OwnSlot(double Position, double End, bool Sync) const {
  // Times halfway between two slots, within rounding, count as the tie.
  constexpr double TieMargin = 0.01;
  const int64_t Free = FLink.Position();
  int64_t Slot = SlotOf(Position);
  if (!Sync) {
    // Without synchronisation only the order is kept: the pictures after
    // the first never go back.
    return FLink.FramesEncoded() == 0 ? Slot : std::max(Slot, Free);
  }
  if (Position < 0) {
    // Before the output's start: the picture still shown there takes its
    // first slot, one that is over by then (or shown for less than half a
    // frame of it, when the next one takes the slot) goes.
    if (End < 0.5 - TieMargin) return std::nullopt;
    Position = 0;
    Slot = 0;
  }
  if (Slot >= Free) return Slot;
  // Its slot taken by an earlier picture (repeated times, or times going
  // back): dropped, so that the times written rise strictly. At the tie
  // between two slots, it takes the next.
  if (Position + 0.5 + TieMargin >= static_cast<double>(Free)) return Free;
  return std::nullopt;
}

void TVideoPath::HoldPicture(const TStreamView &Ist, AVFrame *Picture, int64_t Start) {
  TFrameHolder Cropped;
  AVFrame *Final = FormatPicture(Picture, SourceTime(Ist), Cropped);
  if (!Final) return;
  SetPictureFlags(Ist, Final, Picture);
  if (Final == FTempPicture.get()) {
    // The picture just written becomes the next work buffer.
    std::swap(FTempPicture, FHeldPicture);
  } else {
    FHeldPicture.reset(LibAVUtil::av_frame_alloc());
    if (!FHeldPicture || LibAVUtil::av_frame_ref(FHeldPicture.get(), Final) < 0)
      throw FFMpegException("av_mallocz fail");
  }
  FHeldEnd = Start + PictureDuration(Ist, Picture);
}

void TVideoPath::CountDropsAndRepeats(int64_t Frames) {
  const TOptionState &S = FState;
  if (Frames <= 0) {
    ++FDrops;
    if (S.FVerbose > 2) FTask.Log(1, "*** drop!");
  } else if (Frames > 1) {
    const int Repeats = static_cast<int>(std::min<int64_t>(Frames - 1, INT32_MAX));
    FRepeats += Repeats;
    if (S.FVerbose > 2) FTask.Log(1, Format("*** %d dup!", Repeats));
  }
}

int TVideoPath::WriteHeldPicture(int64_t Slots) {
  CountDropsAndRepeats(Slots);
  Slots = std::min<int64_t>(Slots, FState.FMaxFrames[0] - FLink.FramesEncoded());
  int Written = 0;
  for (int64_t I = 0; I < Slots && !FTask.FStopRequested; ++I) Written += EncodePicture(FHeldPicture.get());
  return Written;
}

int64_t TVideoPath::SlotsLeft(double FrameDuration) {
  const TOptionState &S = FState;
  if (S.FRecordingTime == INT64_MAX) return INT64_MAX;
  return SlotOf(static_cast<double>(S.FRecordingTime) / 1000000.0 / FrameDuration) - FLink.Position();
}

int TVideoPath::Finish() {
  if (!FHeldPicture) return 0;
  const TOptionState &S = FState;
  const double FrameDuration = av_q2d(FLink.Encoder()->time_base);
  // The last picture keeps its whole duration, within the recording time.
  int64_t End = SlotOf(static_cast<double>(FHeldEnd) / 1000000.0 / FrameDuration);
  bool Cut = false;
  if (S.FRecordingTime != INT64_MAX) {
    const int64_t Limit = SlotOf(static_cast<double>(S.FRecordingTime) / 1000000.0 / FrameDuration);
    Cut = Limit < End;
    End = std::min(End, Limit);
  }
  int64_t Slots = End - FLink.Position();
  if (FLink.FramesEncoded() == 0) Slots = std::max<int64_t>(Slots, 1);  // a lone picture is still shown
  int Written = 0;
  if (Slots > 0 || !Cut) Written = WriteHeldPicture(Slots);  // cut off by the recording time is no drop
  FHeldPicture.reset();
  return Written;
}

int64_t TVideoPath::SourceTime(const TStreamView &Ist) const {
  return Ist.Pts - FState.FInputFilesTSOffset[Ist.FileIndex];
}

AVFrame *TVideoPath::FormatPicture(AVFrame *Picture, int64_t Time, TFrameHolder &Cropped) {
  TOptionState &S = FState;
  AVCodecContext *Enc = FLink.Encoder();
  // HDR made SDR first, at the source's size.
  if (FToneMapper && !(Picture = FToneMapper->Map(Picture))) return nullptr;
  // Crop: the picture without its bands, by moving its plane pointers.
  AVFrame *Formatted = Picture;
  if (FCrop) {
    Cropped = CropView(Picture, S.FCropTop, S.FCropLeft, Picture->width - S.FCropLeft - S.FCropRight,
                       Picture->height - S.FCropTop - S.FCropBottom);
    if (!Cropped) {
      FTask.Log(0, "error cropping picture");
      return nullptr;
    }
    Formatted = Cropped.get();
  }

  // Scale into the encoder's picture, or into its inner area when padded; a
  // source that changes its picture on the way is followed.
  const AVPixelFormat EncFormat = Enc->pix_fmt;
  const int InnerWidth = Enc->width - S.FPadLeft - S.FPadRight;
  const int InnerHeight = Enc->height - S.FPadTop - S.FPadBottom;
  const bool Resample = FResample || Formatted->width != InnerWidth || Formatted->height != InnerHeight ||
                        Formatted->format != EncFormat;
  if (!FPad && !Resample && !FBurner) return Formatted;
  if (!ReusePicture(FTempPicture, EncFormat, Enc->width, Enc->height))
    throw FFMpegException("Cannot allocate temp picture, check pix fmt");
  AVFrame *Final = FTempPicture.get();
  AVFrame *Target = Final;
  TFrameHolder Inner;
  if (FPad) {
    Inner = CropView(Final, S.FPadTop, S.FPadLeft, InnerWidth, InnerHeight);
    if (!Inner) {
      FTask.Log(0, "error padding picture");
      return nullptr;
    }
    Target = Inner.get();
  }
  if (Resample) {
    FScaleContext.reset(
        LibSwScale::sws_getCachedContext(FScaleContext.release(), Formatted->width, Formatted->height,
                                         static_cast<AVPixelFormat>(Formatted->format), InnerWidth,
                                         InnerHeight, EncFormat, S.FSwsFlags, nullptr, nullptr, nullptr));
    if (!FScaleContext) throw FFMpegException("Cannot get resampling context");
    LibSwScale::sws_scale(FScaleContext.get(), Formatted->data, Formatted->linesize, 0, Formatted->height,
                          Target->data, Target->linesize);
  } else {
    LibAVUtil::av_image_copy(Target->data, Target->linesize, const_cast<const uint8_t **>(Formatted->data),
                             Formatted->linesize, EncFormat, InnerWidth, InnerHeight);
  }
  // Subtitles at the output's size, inside the bands.
  if (FBurner) FBurner->Draw(Target, Time);
  if (FPad && !FillPadding(Final, S.FPadTop, S.FPadBottom, S.FPadLeft, S.FPadRight, S.FPadColor)) {
    FTask.Log(0, "error padding picture");
    return nullptr;
  }
  return Final;
}

void TVideoPath::SetPictureFlags(const TStreamView &Ist, AVFrame *Final, const AVFrame *Decoded) const {
  const TOptionState &S = FState;
  Final->interlaced_frame = Decoded->interlaced_frame;
  if (S.FCodecOptions[AVMEDIA_TYPE_VIDEO]->flags &
      (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
    Final->top_field_first = S.FTopFieldFirst == -1 ? Decoded->top_field_first : S.FTopFieldFirst;
  Final->quality = S.FSameQuality ? Ist.Quality : FLink.Encoder()->global_quality;
  if (S.FMEThreshold == 0) Final->pict_type = AV_PICTURE_TYPE_NONE;
}

int TVideoPath::EncodePicture(AVFrame *Final) {
  Final->pts = FLink.Position();
  const int Written = FLink.Encode(Final);
  FLink.Advance(1);
  return Written;
}

void TVideoPath::Configure(const TStreamView &Ist, AVStream *Out) {
  TOptionState &S = FState;
  AVCodecContext *Enc = FLink.Encoder();
  const AVCodecContext *Dec = Ist.Decoder;
  FColour = PlanColours(S, S.FInputFiles[Ist.FileIndex].get(), Ist.Stream, Enc);
  if (FColour.ToneMap)
    FToneMapper = std::make_unique<TToneMapper>(FColour.Source, ToneMapPeakNits(FColour), S.FThreadCount);
  else if (FColour.KeepsHdr())
    AddStreamHdrMetadata(FColour.Hdr, Out);
  // The decoder's pictures as the outputs get them: turned upright, and
  // made SDR where they are tone-mapped.
  const bool Turned = Ist.Rotation == 90 || Ist.Rotation == 270;
  const int Width = Turned ? Dec->height : Dec->width, Height = Turned ? Dec->width : Dec->height;
  const AVPixelFormat Format = FToneMapper    ? TToneMapper::OutputFormat
                               : Ist.Rotation ? RotatedFormat(Dec->pix_fmt)
                                              : Dec->pix_fmt;
  if (S.FBurnSubtitle > 0 && Ist.FileIndex == 0)
    FBurner = std::make_unique<TSubtitleBurner>(S.FInputFiles[0]->url, S.FBurnSubtitle, Width, Height,
                                                S.FThreadCount);
  FCrop = S.FCropTop + S.FCropBottom + S.FCropLeft + S.FCropRight != 0;
  FPad = S.FPadTop + S.FPadBottom + S.FPadLeft + S.FPadRight != 0;
  FResample = Enc->width + S.FCropLeft + S.FCropRight != Width + S.FPadLeft + S.FPadRight ||
              Enc->height + S.FCropTop + S.FCropBottom != Height + S.FPadTop + S.FPadBottom ||
              Enc->pix_fmt != Format;
  SetEncoderColours(FColour, Format, FResample, Enc);
  if ((FPad || FBurner) && !FResample)
    if (!(FTempPicture = NewPicture(Enc->pix_fmt, Enc->width, Enc->height)))
      throw FFMpegException("avpicture_alloc fail");
  if (FResample) {
    if (!(FTempPicture = NewPicture(Enc->pix_fmt, Enc->width, Enc->height)))
      throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    int64_t Flags = S.FSwsFlags;
    if (LibAVUtil::av_opt_get_int(S.FScaleOptions.get(), "sws_flags", 0, &Flags) >= 0)
      S.FSwsFlags = static_cast<int>(Flags);
    // A source that tells its picture format only when decoding gets
    // its scaler with the first picture.
    const bool Known = Format != AV_PIX_FMT_NONE && Width > 0 && Height > 0;
    if (Known)
      FScaleContext.reset(LibSwScale::sws_getContext(
          Width - S.FCropLeft - S.FCropRight, Height - S.FCropTop - S.FCropBottom, Format,
          Enc->width - S.FPadLeft - S.FPadRight, Enc->height - S.FPadTop - S.FPadBottom, Enc->pix_fmt,
          S.FSwsFlags, nullptr, nullptr, nullptr));
    if (Known && !FScaleContext) throw FFMpegException("Cannot get resampling context");
  }
}

void TVideoPath::AddEncoderOptions(const AVCodec *Codec, AVDictionary **Options) const {
  if (FColour.KeepsHdr()) AddEncoderHdrMetadata(FColour.Hdr, Codec, Options);
}

}  // namespace korvane
