// SPDX-License-Identifier: GPL-3.0-or-later
// The decoding half of the packet path: a packet (or none, to drain) goes
// into the stream's decoder, and every frame that comes out goes, with its
// time, to the outputs the stream feeds; a picture is first deinterlaced
// and turned upright, once for all of them.
#include <cmath>

#include "AVLibraries.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// Sends a packet (none: end of stream) to a decoder that has given out
// everything it had; false when the decoder refuses it.
bool Send(TInputStream &Ist, const AVPacket *Packet) {
  const int Result = LibAVCodec::avcodec_send_packet(Ist.Decoder, Packet);
  if (Result >= 0 || Result == AVERROR_EOF) return true;
  Ist.LastDecodeError = Result;
  return false;
}

// Frames that fail to decode in a row before the decoder is taken to give
// nothing more: each failure stands for a packet, so this is only a guard.
constexpr int MostFailuresInARow = 256;

// The decoder's next frame into Frame: 1 when there is one, 0 when it has
// no more for now. A frame that fails to decode sets Failed and is passed
// over: the frames behind it (a threaded decoder holds several) still come
// out, and the other streams of the file are read on.
int Receive(TInputStream &Ist, AVFrame *Frame, bool &Failed) {
  for (int Failures = 0; Failures < MostFailuresInARow; ++Failures) {
    const int Result = LibAVCodec::avcodec_receive_frame(Ist.Decoder, Frame);
    if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF) return 0;
    if (Result >= 0) {
      ++Ist.FramesDecoded;
      return 1;
    }
    Ist.LastDecodeError = Result;
    Failed = true;
  }
  return 0;
}

}  // namespace

void TTranscoder::TakeFrameTime(TInputStream &Ist, const AVFrame &Frame) {
  // The frame's own time where the decoder knows it, else the running
  // clock. A time that leaps away from the clock by more than the
  // discontinuity threshold, while the decode times of the packets did
  // not, is damage: taken as it is, the outputs would fill the leap (with
  // copies of a picture, hours of them from a damaged header).
  const TOptionState &S = FState;
  Ist.Pts = Ist.NextPts;
  if (Frame.best_effort_timestamp == AV_NOPTS_VALUE) return;
  const int64_t Own =
      LibAVUtil::av_rescale_q(Frame.best_effort_timestamp, Ist.Stream->time_base, Microseconds);
  const double Leap = std::fabs(static_cast<double>(Own) - static_cast<double>(Ist.NextPts));
  if (S.FCopyTS || Ist.NextPts == AV_NOPTS_VALUE || Leap <= S.FDTSDeltaThreshold * 1000000.0)
    Ist.Pts = Own;
  else if (S.FVerbose >= 0)
    FTask.Log(0, Format("Frame time of stream #%d.%d leaps %.0f s from its decode time; ignored",
                        Ist.FileIndex, Ist.StreamIndex, Leap / 1000000.0));
}

int TTranscoder::DecodeAudio(TInputStream &Ist, AVPacket *Packet) {
  TOptionState &S = FState;
  AVFrame *Frame = Ist.Frame.get();
  bool Failed = !Send(Ist, Packet);
  while (Receive(Ist, Frame, Failed) > 0) {
    const int Samples = Frame->nb_samples, Rate = Frame->sample_rate, Channels = Frame->ch_layout.nb_channels;
    if (Samples <= 0 || Rate <= 0 || Channels <= 0) {
      LibAVUtil::av_frame_unref(Frame);
      continue;
    }
    // The sound's own time: a threaded decoder gives a frame out packets
    // after the one that carried it, and the packet's time would start the
    // sound that much late.
    TakeFrameTime(Ist, *Frame);
    Ist.NextPts = Ist.Pts + int64_t{1000000} * Samples / Rate;

    // The audio outputs work on float interleaved samples (WorkFormat).
    if (!Ist.ToWork || Ist.SampleRate != Rate || Ist.Channels != Channels ||
        LibAVUtil::av_channel_layout_compare(&Frame->ch_layout, &*Ist.Layout) != 0) {
      SwrContext *Converter = nullptr;
      if (LibSwResample::swr_alloc_set_opts2(&Converter, &Frame->ch_layout, WorkFormat, Rate,
                                             &Frame->ch_layout, static_cast<AVSampleFormat>(Frame->format),
                                             Rate, 0, nullptr) < 0 ||
          LibSwResample::swr_init(Converter) < 0 || !Ist.Layout.Assign(Frame->ch_layout)) {
        LibSwResample::swr_free(&Converter);
        LibAVUtil::av_frame_unref(Frame);
        Failed = true;
        continue;
      }
      Ist.ToWork.reset(Converter);
      Ist.SampleRate = Rate;
      Ist.Channels = Channels;
    }
    Ist.Samples.resize(static_cast<size_t>(Samples) * Channels * WorkBytes);
    uint8_t *Target = Ist.Samples.data();
    const int Converted = LibSwResample::swr_convert(
        Ist.ToWork.get(), &Target, Samples, const_cast<const uint8_t **>(Frame->extended_data), Samples);
    LibAVUtil::av_frame_unref(Frame);
    if (Converted < 0) {
      Failed = true;
      continue;
    }
    const int Size = Converted * Channels * WorkBytes;

    // The volume scales the samples (256 keeps them) and clips at full scale.
    if (S.FAudioVolume != 256) {
      float *Sample = reinterpret_cast<float *>(Target);
      const float Gain = static_cast<float>(S.FAudioVolume) / 256.0f;
      for (int I = 0; I < Size / WorkBytes; ++I) Sample[I] = std::clamp(Sample[I] * Gain, -1.0f, 1.0f);
    }
    EmulateRate(Ist);
    if (!StartReached(Ist)) continue;
    for (auto &Ost : FOutputStreams)
      if (FInputStreams[Ost->SourceIndex].get() == &Ist && Ost->EncodingNeeded)
        Ost->Audio->Out(Ist, Ost->SyncInput->Pts, Target, Size);
  }
  return Failed ? -1 : 0;
}

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

int TTranscoder::DecodeVideo(TInputStream &Ist, AVPacket *Packet) {
  TOptionState &S = FState;
  AVFrame *Frame = Ist.Frame.get();
  bool Failed = !Send(Ist, Packet);
  while (Receive(Ist, Frame, Failed) > 0) {
    TakeFrameTime(Ist, *Frame);
    Ist.Quality = Frame->quality;
    AVRational Rate = Ist.Decoder->framerate;
    if (Rate.num <= 0 || Rate.den <= 0) Rate = Ist.Stream->r_frame_rate;
    if (Rate.num > 0 && Rate.den > 0)
      Ist.NextPts =
          Ist.Pts + LibAVUtil::av_rescale_q(2 + Frame->repeat_pict, {Rate.den, 2 * Rate.num}, Microseconds);
    else
      Ist.NextPts = Ist.Pts;

    AVFrame *Picture = FVideoHooks.Process(PreprocessVideo(Ist, Frame), Ist.Pts);
    EmulateRate(Ist);
    if (StartReached(Ist)) {
      for (auto &Ost : FOutputStreams) {
        if (FInputStreams[Ost->SourceIndex].get() != &Ist || !Ost->EncodingNeeded) continue;
        const int FrameSize = Ost->Video->Out(Ist, Ost->SyncInput->Pts, Picture);
        if (!S.FVStatsFileName.empty() && FrameSize > 0) WriteVideoStats(*Ost, FrameSize);
      }
    }
    LibAVUtil::av_frame_unref(Frame);
  }
  return Failed ? -1 : 0;
}

int TTranscoder::DecodeSubtitle(TInputStream &Ist, AVPacket *Packet) {
  if (!Packet) return 0;  // subtitle decoders hold nothing back
  Ist.Pts = Ist.NextPts;
  AVSubtitle Subtitle{};
  int Got = 0;
  if (LibAVCodec::avcodec_decode_subtitle2(Ist.Decoder, &Subtitle, &Got, Packet) < 0) return -1;
  if (!Got) return 0;
  if (StartReached(Ist))
    for (auto &Ost : FOutputStreams)
      if (FInputStreams[Ost->SourceIndex].get() == &Ist && Ost->EncodingNeeded)
        SubtitleOut(*Ost, Ist, Subtitle, Packet->pts);
  LibAVCodec::avsubtitle_free(&Subtitle);
  return 0;
}

}  // namespace korvane
