// The video path of a run: pre-processing each decoded picture once
// (deinterlacing), then for every output it feeds: how many times it is
// written (dropped, once, or repeated) to keep the output in step with the
// input clock, cropping, scaling, padding and encoding.
#include <cmath>

#include "AVLibraries.h"
#include "PictureOps.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

// A picture buffer that matches Format and size and that no encoder still
// reads: reused when it can be, made anew otherwise.
bool PrepareBuffer(TFrameHolder &Picture, AVPixelFormat Format, int Width, int Height) {
  if (!Picture || Picture->format != Format || Picture->width != Width || Picture->height != Height) {
    Picture = NewPicture(Format, Width, Height);
    return Picture != nullptr;
  }
  return LibAVUtil::av_frame_make_writable(Picture.get()) >= 0;
}

}  // namespace

AVFrame *TTranscoder::PreprocessVideo(TInputStream &Ist, AVFrame *Picture) {
  if (!FState.FDeinterlace) return Picture;
  if (!PrepareBuffer(Ist.WorkPicture, static_cast<AVPixelFormat>(Picture->format), Picture->width,
                     Picture->height)) {
    FTask.Log(0, "hook buf malloc error.");
    return Picture;
  }
  if (!DeinterlacePicture(Picture, Ist.WorkPicture.get())) {
    FTask.Log(0, "deinterlace error.");
    return Picture;
  }
  LibAVUtil::av_frame_copy_props(Ist.WorkPicture.get(), Picture);
  return Ist.WorkPicture.get();
}

int TTranscoder::VideoOut(TOutputStream &Ost, TInputStream &Ist, AVFrame *Picture) {
  TOptionState &S = FState;
  AVCodecContext *Enc = Ost.Encoder;
  const double FrameDuration = av_q2d(Enc->time_base);
  int Frames = 1;

  const double InputTime = static_cast<double>(Ost.SyncInput->Pts - S.FStartTime) / 1000000.0;
  const bool Sync = S.FVideoSyncMethod > 0 || (S.FVideoSyncMethod != 0 && FrameDuration > 0.001);
  if (Sync) {
    const double Delta = InputTime / FrameDuration - static_cast<double>(Ost.SyncOpts);
    if (Delta < -1.1)
      Frames = 0;
    else if (S.FVideoSyncMethod == 2)
      Ost.SyncOpts = std::llround(InputTime / FrameDuration);
    else if (Delta > 1.1)
      Frames = static_cast<int>(std::min<long long>(std::llround(Delta), INT32_MAX));
    if (Frames == 0) {
      ++S.FFramesDrop;
      if (S.FVerbose > 2) FTask.Log(1, "*** drop!");
    } else if (Frames > 1) {
      S.FFramesDup += Frames - 1;
      if (S.FVerbose > 2) FTask.Log(1, Format("*** %d dup!", Frames - 1));
    }
  } else {
    Ost.SyncOpts = std::llround(InputTime / FrameDuration);
  }
  Frames = std::min(Frames, S.FMaxFrames[0] - Ost.FrameNumber);
  if (Frames <= 0) return 0;

  // Crop: the picture without its bands, by moving its plane pointers.
  AVFrame *Formatted = Picture;
  TFrameHolder Cropped;
  if (Ost.VideoCrop) {
    Cropped = CropView(Picture, Ost.TopBand, Ost.LeftBand, Picture->width - S.FCropLeft - S.FCropRight,
                       Picture->height - S.FCropTop - S.FCropBottom);
    if (!Cropped) {
      FTask.Log(0, "error cropping picture");
      return 0;
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
  AVFrame *Final = Formatted;
  if (Ost.VideoPad || Resample) {
    if (!PrepareBuffer(Ost.TempPicture, EncFormat, Enc->width, Enc->height))
      throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    Final = Ost.TempPicture.get();
    AVFrame *Target = Final;
    TFrameHolder Inner;
    if (Ost.VideoPad) {
      Inner = CropView(Final, Ost.PadTop, Ost.PadLeft, InnerWidth, InnerHeight);
      if (!Inner) {
        FTask.Log(0, "error padding picture");
        return 0;
      }
      Target = Inner.get();
    }
    if (Resample) {
      Ost.ScaleContext.reset(
          LibSwScale::sws_getCachedContext(Ost.ScaleContext.release(), Formatted->width, Formatted->height,
                                           static_cast<AVPixelFormat>(Formatted->format), InnerWidth,
                                           InnerHeight, EncFormat, S.FSwsFlags, nullptr, nullptr, nullptr));
      if (!Ost.ScaleContext) throw FFMpegException("Cannot get resampling context");
      LibSwScale::sws_scale(Ost.ScaleContext.get(), Formatted->data, Formatted->linesize, 0,
                            Formatted->height, Target->data, Target->linesize);
    } else {
      LibAVUtil::av_image_copy(Target->data, Target->linesize, const_cast<const uint8_t **>(Formatted->data),
                               Formatted->linesize, EncFormat, InnerWidth, InnerHeight);
    }
    if (Ost.VideoPad &&
        !FillPadding(Final, Ost.PadTop, Ost.PadBottom, Ost.PadLeft, Ost.PadRight, S.FPadColor)) {
      FTask.Log(0, "error padding picture");
      return 0;
    }
  } else if (Cropped) {
    Final = Cropped.get();
  }

  int Written = 0;
  for (int I = 0; I < Frames && !FTask.FStopRequested; ++I)
    Written += EncodePicture(Ost, Ist, Final, Picture);
  return Written;
}

int TTranscoder::EncodePicture(TOutputStream &Ost, TInputStream &Ist, AVFrame *Final,
                               const AVFrame *Decoded) {
  TOptionState &S = FState;
  Final->interlaced_frame = Decoded->interlaced_frame;
  if (S.FCodecOptions[AVMEDIA_TYPE_VIDEO]->flags &
      (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
    Final->top_field_first = S.FTopFieldFirst == -1 ? Decoded->top_field_first : S.FTopFieldFirst;
  Final->quality = S.FSameQuality ? Ist.Quality : Ost.Encoder->global_quality;
  if (S.FMEThreshold == 0) Final->pict_type = AV_PICTURE_TYPE_NONE;
  Final->pts = Ost.SyncOpts;
  const int Written = EncodeAndWrite(Ost, Final);
  ++Ost.SyncOpts;
  ++Ost.FrameNumber;
  return Written;
}

}  // namespace korvane
