// The video output of a run: how many times a decoded picture is written
// (dropped, once, or repeated) to keep the output in step with the input
// clock, converting it to the encoder's size and pixel format, and encoding.
#include <cmath>

#include "AVLibraries.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

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

  // The encoder gets its own size and pixel format; a source that changes
  // its picture on the way is followed.
  AVFrame *Final = Picture;
  if (Ost.VideoResample || Picture->width != Enc->width || Picture->height != Enc->height ||
      Picture->format != Enc->pix_fmt) {
    if (!Ost.TempPicture) {
      Ost.TempPicture.reset(LibAVUtil::av_frame_alloc());
      if (!Ost.TempPicture) throw FFMpegException("Cannot allocate temp picture, check pix fmt");
      Ost.TempPicture->format = Enc->pix_fmt;
      Ost.TempPicture->width = Enc->width;
      Ost.TempPicture->height = Enc->height;
      if (LibAVUtil::av_frame_get_buffer(Ost.TempPicture.get(), 0) < 0)
        throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    }
    if (LibAVUtil::av_frame_make_writable(Ost.TempPicture.get()) < 0)
      throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    Ost.ScaleContext.reset(
        LibSwScale::sws_getCachedContext(Ost.ScaleContext.release(), Picture->width, Picture->height,
                                         static_cast<AVPixelFormat>(Picture->format), Enc->width, Enc->height,
                                         Enc->pix_fmt, S.FSwsFlags, nullptr, nullptr, nullptr));
    if (!Ost.ScaleContext) throw FFMpegException("Cannot get resampling context");
    LibSwScale::sws_scale(Ost.ScaleContext.get(), Picture->data, Picture->linesize, 0, Picture->height,
                          Ost.TempPicture->data, Ost.TempPicture->linesize);
    Final = Ost.TempPicture.get();
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
