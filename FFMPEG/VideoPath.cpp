// SPDX-License-Identifier: GPL-3.0-or-later
// The video path of a run: pre-processing each decoded picture once
// (deinterlacing, turning it upright), then for every output it feeds: how
// many times it is written (dropped, once, or repeated) to keep the output
// in step with the input clock, cropping, scaling, padding and encoding.
//
// Keeping a frame rate, every output frame slot shows the picture whose time
// has come: a picture takes the slot nearest its time, and the slots up to
// the next picture's repeat it. So a picture is written when the next one
// arrives (or at the end, for the rest of its own duration); a picture whose
// slot the next one takes is dropped.
#include <cmath>

#include "AVLibraries.h"
#include "PictureOps.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// How long a decoded picture lasts, microseconds: what its packet says,
// else one frame of the stream's rate, else the decoder's guess (NextPts).
// The decoder's own rate can be far off (an MPEG-4 stream may state its
// clock's tick rate).
int64_t PictureDuration(const TInputStream &Ist, const AVFrame *Picture) {
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

AVFrame *TTranscoder::PreprocessVideo(TInputStream &Ist, AVFrame *Picture) {
  if (FState.FDeinterlace) {
    if (!ReusePicture(Ist.WorkPicture, static_cast<AVPixelFormat>(Picture->format), Picture->width,
                      Picture->height))
      FTask.Log(0, "hook buf malloc error.");
    else if (!DeinterlacePicture(Picture, Ist.WorkPicture.get()) ||
             !CopyPictureProps(Ist.WorkPicture.get(), Picture))
      FTask.Log(0, "deinterlace error.");
    else
      Picture = Ist.WorkPicture.get();
  }
  // Turned after deinterlacing, whose fields are rows of the stored
  // picture. Outputs sized for the turned picture must not get the stored
  // one: a picture that cannot be turned ends the run.
  if (Ist.Rotation == 0) return Picture;
  if (!RotatePicture(Picture, Ist.TurnedPicture, Ist.Rotation, Ist.TurnScratch))
    throw FFMpegException(
        Format("Cannot turn the pictures of input stream #%d.%d upright (%s)", Ist.FileIndex, Ist.StreamIndex,
               LibAVUtil::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Picture->format))));
  return Ist.TurnedPicture.get();
}

int TTranscoder::VideoOut(TOutputStream &Ost, TInputStream &Ist, AVFrame *Picture) {
  TOptionState &S = FState;
  const double FrameDuration = av_q2d(Ost.Encoder->time_base);
  const int64_t Start = Ost.SyncInput->Pts - S.FStartTime;
  const double Position = static_cast<double>(Start) / 1000000.0 / FrameDuration;
  const bool Sync = S.FVideoSyncMethod > 0 || (S.FVideoSyncMethod != 0 && FrameDuration > 0.001);

  if (Sync && S.FVideoSyncMethod != 2) {
    // The held picture fills the slots up to this one's; this one waits.
    int Written = 0;
    if (Ost.HeldPicture) Written = WriteHeldPicture(Ost, SlotOf(Position) - Ost.SyncOpts);
    TFrameHolder Cropped;
    AVFrame *Final = FormatPicture(Ost, Picture, Cropped);
    if (!Final) return Written;
    SetPictureFlags(Ost, Ist, Final, Picture);
    if (Final == Ost.TempPicture.get()) {
      // The picture just written becomes the next work buffer.
      std::swap(Ost.TempPicture, Ost.HeldPicture);
    } else {
      Ost.HeldPicture.reset(LibAVUtil::av_frame_alloc());
      if (!Ost.HeldPicture || LibAVUtil::av_frame_ref(Ost.HeldPicture.get(), Final) < 0)
        throw FFMpegException("av_mallocz fail");
    }
    Ost.HeldEnd = Start + PictureDuration(Ist, Picture);
    return Written;
  }

  // Each picture once: at its own time, or (variable rate) dropped when it
  // comes more than a frame after the slot it belongs to.
  int Frames = 1;
  if (Sync && Position - static_cast<double>(Ost.SyncOpts) < -1.1)
    Frames = 0;
  else
    Ost.SyncOpts = std::llround(Position);
  if (Sync) CountDropsAndRepeats(Frames);
  if (Frames == 0 || S.FMaxFrames[0] - Ost.FrameNumber <= 0 || FTask.FStopRequested) return 0;
  TFrameHolder Cropped;
  AVFrame *Final = FormatPicture(Ost, Picture, Cropped);
  if (!Final) return 0;
  SetPictureFlags(Ost, Ist, Final, Picture);
  return EncodePicture(Ost, Final);
}

void TTranscoder::CountDropsAndRepeats(int64_t Frames) {
  TOptionState &S = FState;
  if (Frames <= 0) {
    ++S.FFramesDrop;
    if (S.FVerbose > 2) FTask.Log(1, "*** drop!");
  } else if (Frames > 1) {
    const int Repeats = static_cast<int>(std::min<int64_t>(Frames - 1, INT32_MAX));
    S.FFramesDup += Repeats;
    if (S.FVerbose > 2) FTask.Log(1, Format("*** %d dup!", Repeats));
  }
}

int TTranscoder::WriteHeldPicture(TOutputStream &Ost, int64_t Slots) {
  CountDropsAndRepeats(Slots);
  Slots = std::min<int64_t>(Slots, FState.FMaxFrames[0] - Ost.FrameNumber);
  int Written = 0;
  for (int64_t I = 0; I < Slots && !FTask.FStopRequested; ++I)
    Written += EncodePicture(Ost, Ost.HeldPicture.get());
  return Written;
}

void TTranscoder::FinishVideo(TOutputStream &Ost) {
  if (Ost.HeldPicture) {
    const TOptionState &S = FState;
    const double FrameDuration = av_q2d(Ost.Encoder->time_base);
    // The last picture keeps its whole duration, within the recording time.
    int64_t End = SlotOf(static_cast<double>(Ost.HeldEnd) / 1000000.0 / FrameDuration);
    bool Cut = false;
    if (S.FRecordingTime != INT64_MAX) {
      const int64_t Limit = SlotOf(static_cast<double>(S.FRecordingTime) / 1000000.0 / FrameDuration);
      Cut = Limit < End;
      End = std::min(End, Limit);
    }
    int64_t Slots = End - Ost.SyncOpts;
    if (Ost.FrameNumber == 0) Slots = std::max<int64_t>(Slots, 1);  // a lone picture is still shown
    if (Slots > 0 || !Cut) {  // cut off by the recording time is no drop
      const int Written = WriteHeldPicture(Ost, Slots);
      if (!S.FVStatsFileName.empty() && Written > 0) WriteVideoStats(Ost, Written);
    }
    Ost.HeldPicture.reset();
  }
  EncodeAndWrite(Ost, nullptr);
}

AVFrame *TTranscoder::FormatPicture(TOutputStream &Ost, AVFrame *Picture, TFrameHolder &Cropped) {
  TOptionState &S = FState;
  AVCodecContext *Enc = Ost.Encoder;
  // Crop: the picture without its bands, by moving its plane pointers.
  AVFrame *Formatted = Picture;
  if (Ost.VideoCrop) {
    Cropped = CropView(Picture, Ost.TopBand, Ost.LeftBand, Picture->width - S.FCropLeft - S.FCropRight,
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
  const int InnerWidth = Enc->width - Ost.PadLeft - Ost.PadRight;
  const int InnerHeight = Enc->height - Ost.PadTop - Ost.PadBottom;
  const bool Resample = Ost.VideoResample || Formatted->width != InnerWidth ||
                        Formatted->height != InnerHeight || Formatted->format != EncFormat;
  if (!Ost.VideoPad && !Resample) return Formatted;
  if (!ReusePicture(Ost.TempPicture, EncFormat, Enc->width, Enc->height))
    throw FFMpegException("Cannot allocate temp picture, check pix fmt");
  AVFrame *Final = Ost.TempPicture.get();
  AVFrame *Target = Final;
  TFrameHolder Inner;
  if (Ost.VideoPad) {
    Inner = CropView(Final, Ost.PadTop, Ost.PadLeft, InnerWidth, InnerHeight);
    if (!Inner) {
      FTask.Log(0, "error padding picture");
      return nullptr;
    }
    Target = Inner.get();
  }
  if (Resample) {
    Ost.ScaleContext.reset(
        LibSwScale::sws_getCachedContext(Ost.ScaleContext.release(), Formatted->width, Formatted->height,
                                         static_cast<AVPixelFormat>(Formatted->format), InnerWidth,
                                         InnerHeight, EncFormat, S.FSwsFlags, nullptr, nullptr, nullptr));
    if (!Ost.ScaleContext) throw FFMpegException("Cannot get resampling context");
    LibSwScale::sws_scale(Ost.ScaleContext.get(), Formatted->data, Formatted->linesize, 0, Formatted->height,
                          Target->data, Target->linesize);
  } else {
    LibAVUtil::av_image_copy(Target->data, Target->linesize, const_cast<const uint8_t **>(Formatted->data),
                             Formatted->linesize, EncFormat, InnerWidth, InnerHeight);
  }
  if (Ost.VideoPad &&
      !FillPadding(Final, Ost.PadTop, Ost.PadBottom, Ost.PadLeft, Ost.PadRight, S.FPadColor)) {
    FTask.Log(0, "error padding picture");
    return nullptr;
  }
  return Final;
}

void TTranscoder::SetPictureFlags(TOutputStream &Ost, const TInputStream &Ist, AVFrame *Final,
                                  const AVFrame *Decoded) {
  const TOptionState &S = FState;
  Final->interlaced_frame = Decoded->interlaced_frame;
  if (S.FCodecOptions[AVMEDIA_TYPE_VIDEO]->flags &
      (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
    Final->top_field_first = S.FTopFieldFirst == -1 ? Decoded->top_field_first : S.FTopFieldFirst;
  Final->quality = S.FSameQuality ? Ist.Quality : Ost.Encoder->global_quality;
  if (S.FMEThreshold == 0) Final->pict_type = AV_PICTURE_TYPE_NONE;
}

int TTranscoder::EncodePicture(TOutputStream &Ost, AVFrame *Final) {
  Final->pts = Ost.SyncOpts;
  const int Written = EncodeAndWrite(Ost, Final);
  ++Ost.SyncOpts;
  ++Ost.FrameNumber;
  return Written;
}

}  // namespace korvane
