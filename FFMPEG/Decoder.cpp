// SPDX-License-Identifier: GPL-3.0-or-later
// The decoding stage of an input stream: a packet (or none, to drain) moves
// the stream's clock and goes into its decoder, or on to the copies, and
// every frame that comes out goes, with its time, to the outputs the stream
// feeds; a picture is first deinterlaced and turned upright, once for all
// of them.
#include "Decoder.h"

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "AudioPath.h"
#include "Muxer.h"
#include "NumberLimits.h"
#include "TextFormat.h"
#include "VideoHooks.h"
#include "VideoPath.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// Frames that fail to decode in a row before the decoder is taken to give
// nothing more: each failure stands for a packet, so this is only a guard.
constexpr int MostFailuresInARow = 256;

}  // namespace

TDecoder::TDecoder(TCustomFFmpeg &Task, TOptionState &State, TVideoHooks &Hooks, int File, int Stream)
    : FTask(Task), FState(State), FHooks(Hooks), FContext(std::move(State.FInputCodecs[File][Stream])) {
  FView.FileIndex = File;
  FView.StreamIndex = Stream;
  FView.Stream = State.FInputFiles[File]->streams[Stream];
  FView.Decoder = FContext.get();
  if (State.FAutoRotate && Type() == AVMEDIA_TYPE_VIDEO)
    FView.Rotation = TAVProbe::StreamRotation(FView.Stream);
  FRateEmu = State.FInputRateEmu[File];
  if (FRateEmu) FStart = LibAVUtil::av_gettime();
}

void TDecoder::Feed(const TFeed &Feed) {
  FFeeds.push_back(Feed);
  FDecodes |= !Feed.Muxer->Copies();
}

void TDecoder::Open() {
  if (!FDecodes) return;
  AVCodecContext *Context = FContext.get();
  const AVCodec *Codec = LibAVCodec::avcodec_find_decoder(Context->codec_id);
  if (!Codec)
    throw FFMpegException(Format("Unsupported codec (id=%d) for input stream #%d.%d", Context->codec_id,
                                 FView.FileIndex, FView.StreamIndex));
  // The task's thread count as it stands now, so that a count set with the
  // output's options also reaches the decoders made when the input opened.
  Context->thread_count = FState.FThreadCount;
  int Result;
  {
    std::lock_guard Guard(CodecOpenLock());
    Result = LibAVCodec::avcodec_open2(Context, Codec, nullptr);
  }
  if (Result < 0)
    throw FFMpegException(
        Format("Error while opening codec for input stream #%d.%d", FView.FileIndex, FView.StreamIndex));
  if (FState.FVerbose > 2)
    FTask.Log(1, Format("Input stream #%d.%d decodes with %d threads (%s)", FView.FileIndex,
                        FView.StreamIndex, Context->thread_count,
                        Context->active_thread_type == FF_THREAD_FRAME   ? "frames"
                        : Context->active_thread_type == FF_THREAD_SLICE ? "slices"
                                                                         : "none"));
  FFrame.reset(LibAVUtil::av_frame_alloc());
  if (!FFrame) throw FFMpegException("av_mallocz fail");
}

void TDecoder::Close() {
  FContext.reset();
  FView.Decoder = nullptr;
}

void TDecoder::CorrectTimestamps(AVPacket &Packet) {
  TOptionState &S = FState;
  const int FileIndex = FView.FileIndex;
  const AVRational TimeBase = FView.Stream->time_base;
  const int64_t Offset = LibAVUtil::av_rescale_q(S.FInputFilesTSOffset[FileIndex], Microseconds, TimeBase);
  const double Scale =
      FView.StreamIndex < MaxStreams ? S.FInputFilesTSScale[FileIndex][FView.StreamIndex] : 0;
  for (int64_t *Time : {&Packet.dts, &Packet.pts}) {
    if (*Time == AV_NOPTS_VALUE) continue;
    *Time += Offset;
    if (Scale != 0) *Time = std::llround(static_cast<double>(*Time) * Scale);
  }
  if (Packet.dts == AV_NOPTS_VALUE || FView.NextPts == AV_NOPTS_VALUE || S.FCopyTS) return;
  const int64_t Dts = LibAVUtil::av_rescale_q(Packet.dts, TimeBase, Microseconds);
  const int64_t Delta = Dts - FView.NextPts;
  const bool Leap = std::llabs(Delta) > SecondsToMicroseconds<int64_t>(S.FDTSDeltaThreshold);
  if (Leap && FCounts.PacketsRead == 1) {
    // A leap right after a stream's first packet: that packet's time was
    // damaged, not the file's clock. Shifting the file would move every
    // later packet of every stream by the leap, and the outputs would fill
    // it with copies of the first picture.
    if (S.FVerbose >= 0)
      FTask.Log(
          0, Format("Time of the first packet of stream #%d.%d lies %.0f s from the next; ignored",
                    FView.FileIndex, FView.StreamIndex, static_cast<double>(std::llabs(Delta)) / 1000000.0));
    return;
  }
  if (Leap || Dts + 1 < FView.Pts) {
    S.FInputFilesTSOffset[FileIndex] -= Delta;
    const int64_t Shift = LibAVUtil::av_rescale_q(Delta, Microseconds, TimeBase);
    Packet.dts -= Shift;
    if (Packet.pts != AV_NOPTS_VALUE) Packet.pts -= Shift;
    if (S.FVerbose >= 3)
      FTask.Log(1, Format("timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(Delta),
                          static_cast<long long>(S.FInputFilesTSOffset[FileIndex])));
  }
}

void TDecoder::StartClock(const AVPacket *Packet) {
  // A stream's clock starts at its first packet: by its decode time, else
  // (Matroska gives none to the first pictures) by its presentation time.
  // Starting it at zero instead would make a start past the file's first
  // pictures look like time running backwards and shift the whole file.
  const AVRational TimeBase = FView.Stream->time_base;
  if (FView.NextPts == AV_NOPTS_VALUE && Packet && Packet->dts == AV_NOPTS_VALUE &&
      Packet->pts != AV_NOPTS_VALUE)
    FView.Pts = LibAVUtil::av_rescale_q(Packet->pts, TimeBase, Microseconds);
  if (FView.NextPts == AV_NOPTS_VALUE) FView.NextPts = FView.Pts;
  if (Packet && Packet->dts != AV_NOPTS_VALUE)
    FView.Pts = FView.NextPts = LibAVUtil::av_rescale_q(Packet->dts, TimeBase, Microseconds);
}

int TDecoder::Process(AVPacket *Packet) {
  if (Packet) ++FCounts.PacketsRead;
  StartClock(Packet);
  if (FDecodes) {
    int Result;
    switch (FContext->codec_type) {
      case AVMEDIA_TYPE_AUDIO: Result = DecodeAudio(Packet); break;
      case AVMEDIA_TYPE_VIDEO: Result = DecodeVideo(Packet); break;
      case AVMEDIA_TYPE_SUBTITLE: Result = DecodeSubtitle(Packet); break;
      default: return -1;
    }
    // The end of the stream reaches its encoders even when the decoder's
    // last frames failed: an encoder never told of the end may never let go.
    if (!Packet) Drain();
    return Result;
  }
  if (Packet) CopyOn(*Packet);
  return 0;
}

void TDecoder::CopyOn(const AVPacket &Packet) {
  FView.Pts = FView.NextPts;
  const AVCodecParameters *Parameters = FView.Stream->codecpar;
  const AVRational Rate = FView.Stream->r_frame_rate;
  if (Packet.duration > 0) {
    FView.NextPts += LibAVUtil::av_rescale_q(Packet.duration, FView.Stream->time_base, Microseconds);
  } else if (Parameters->codec_type == AVMEDIA_TYPE_AUDIO && Parameters->sample_rate > 0) {
    FView.NextPts += int64_t{1000000} * Parameters->frame_size / Parameters->sample_rate;
  } else if (Parameters->codec_type == AVMEDIA_TYPE_VIDEO && Rate.num > 0) {
    FView.NextPts += LibAVUtil::av_rescale_q(1, {Rate.den, Rate.num}, Microseconds);
  }
  EmulateRate();
  if (!StartReached()) return;
  for (const TFeed &Feed : FFeeds)
    if (Feed.Muxer->Copies()) Feed.Muxer->CopyPacket(Packet);
}

void TDecoder::EmulateRate() {
  if (!FRateEmu) return;
  // Data is passed on no faster than it plays: the time it belongs to,
  // counted from the stream's first, against the wall clock since set-up.
  if (FFirstPts == AV_NOPTS_VALUE) FFirstPts = FView.Pts;
  const int64_t Target = FView.Pts - FFirstPts;
  const int64_t Elapsed = LibAVUtil::av_gettime() - FStart;
  if (Target - Elapsed > 50000) std::this_thread::sleep_for(std::chrono::microseconds(Target - Elapsed));
}

bool TDecoder::StartReached() const { return FState.FStartTime == 0 || FView.Pts >= FState.FStartTime; }

bool TDecoder::Send(const AVPacket *Packet) {
  const int Result = LibAVCodec::avcodec_send_packet(FContext.get(), Packet);
  if (Result >= 0 || Result == AVERROR_EOF) return true;
  FCounts.LastError = Result;
  return false;
}

bool TDecoder::Receive(AVFrame *Frame, bool &Failed) {
  // The frames behind a failed one (a threaded decoder holds several) still
  // come out, and the other streams of the file are read on.
  for (int Failures = 0; Failures < MostFailuresInARow; ++Failures) {
    const int Result = LibAVCodec::avcodec_receive_frame(FContext.get(), Frame);
    if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF) return false;
    if (Result >= 0) {
      ++FCounts.FramesDecoded;
      return true;
    }
    FCounts.LastError = Result;
    Failed = true;
  }
  return false;
}

void TDecoder::TakeFrameTime(const AVFrame &Frame) {
  // The frame's own time where the decoder knows it, else the running
  // clock. A time that leaps away from the clock by more than the
  // discontinuity threshold, while the decode times of the packets did
  // not, is damage: taken as it is, the outputs would fill the leap (with
  // copies of a picture, hours of them from a damaged header).
  const TOptionState &S = FState;
  FView.Pts = FView.NextPts;
  if (Frame.best_effort_timestamp == AV_NOPTS_VALUE) return;
  const int64_t Own =
      LibAVUtil::av_rescale_q(Frame.best_effort_timestamp, FView.Stream->time_base, Microseconds);
  const double Leap = std::fabs(static_cast<double>(Own) - static_cast<double>(FView.NextPts));
  if (S.FCopyTS || FView.NextPts == AV_NOPTS_VALUE || Leap <= S.FDTSDeltaThreshold * 1000000.0)
    FView.Pts = Own;
  else if (S.FVerbose >= 0)
    FTask.Log(0, Format("Frame time of stream #%d.%d leaps %.0f s from its decode time; ignored",
                        FView.FileIndex, FView.StreamIndex, Leap / 1000000.0));
}

int TDecoder::ToWorkSamples(AVFrame *Frame) {
  const int Samples = Frame->nb_samples, Rate = Frame->sample_rate, Channels = Frame->ch_layout.nb_channels;
  if (!FToWork || FView.SampleRate != Rate || FView.Channels != Channels ||
      LibAVUtil::av_channel_layout_compare(&Frame->ch_layout, &*FView.Layout) != 0) {
    SwrContext *Converter = nullptr;
    if (LibSwResample::swr_alloc_set_opts2(&Converter, &Frame->ch_layout, WorkFormat, Rate, &Frame->ch_layout,
                                           static_cast<AVSampleFormat>(Frame->format), Rate, 0,
                                           nullptr) < 0 ||
        LibSwResample::swr_init(Converter) < 0 || !FView.Layout.Assign(Frame->ch_layout)) {
      LibSwResample::swr_free(&Converter);
      return -1;
    }
    FToWork.reset(Converter);
    FView.SampleRate = Rate;
    FView.Channels = Channels;
  }
  FSamples.resize(static_cast<size_t>(Samples) * Channels * WorkBytes);
  uint8_t *Target = FSamples.data();
  const int Converted = LibSwResample::swr_convert(
      FToWork.get(), &Target, Samples, const_cast<const uint8_t **>(Frame->extended_data), Samples);
  if (Converted < 0) return -1;
  const int Size = Converted * Channels * WorkBytes;
  // The volume scales the samples (256 keeps them) and clips at full scale.
  if (FState.FAudioVolume != 256) {
    float *Sample = reinterpret_cast<float *>(Target);
    const float Gain = static_cast<float>(FState.FAudioVolume) / 256.0f;
    for (int I = 0; I < Size / WorkBytes; ++I) Sample[I] = std::clamp(Sample[I] * Gain, -1.0f, 1.0f);
  }
  return Size;
}

int TDecoder::DecodeAudio(AVPacket *Packet) {
  AVFrame *Frame = FFrame.get();
  bool Failed = !Send(Packet);
  while (Receive(Frame, Failed)) {
    const int Samples = Frame->nb_samples, Rate = Frame->sample_rate;
    if (Samples <= 0 || Rate <= 0 || Frame->ch_layout.nb_channels <= 0) {
      LibAVUtil::av_frame_unref(Frame);
      continue;
    }
    // The sound's own time: a threaded decoder gives a frame out packets
    // after the one that carried it, and the packet's time would start the
    // sound that much late.
    TakeFrameTime(*Frame);
    FView.NextPts = FView.Pts + int64_t{1000000} * Samples / Rate;
    // The audio outputs work on float interleaved samples (WorkFormat).
    const int Size = ToWorkSamples(Frame);
    LibAVUtil::av_frame_unref(Frame);
    if (Size < 0) {
      Failed = true;
      continue;
    }
    EmulateRate();
    if (!StartReached()) continue;
    for (const TFeed &Feed : FFeeds)
      if (Feed.Audio) Feed.Audio->Out(FView, Feed.Clock->Pts, FSamples.data(), Size);
  }
  return Failed ? -1 : 0;
}

AVFrame *TDecoder::Preprocess(AVFrame *Picture) {
  if (FState.FDeinterlace) {
    if (!ReusePicture(FWorkPicture, static_cast<AVPixelFormat>(Picture->format), Picture->width,
                      Picture->height))
      FTask.Log(0, "hook buf malloc error.");
    else if (!DeinterlacePicture(Picture, FWorkPicture.get()) ||
             !CopyPictureProps(FWorkPicture.get(), Picture))
      FTask.Log(0, "deinterlace error.");
    else
      Picture = FWorkPicture.get();
  }
  // Turned after deinterlacing, whose fields are rows of the stored
  // picture. Outputs sized for the turned picture must not get the stored
  // one: a picture that cannot be turned ends the run.
  if (FView.Rotation == 0) return Picture;
  if (!RotatePicture(Picture, FTurnedPicture, FView.Rotation, FTurnScratch))
    throw FFMpegException(Format(
        "Cannot turn the pictures of input stream #%d.%d upright (%s)", FView.FileIndex, FView.StreamIndex,
        LibAVUtil::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Picture->format))));
  return FTurnedPicture.get();
}

int TDecoder::DecodeVideo(AVPacket *Packet) {
  AVFrame *Frame = FFrame.get();
  bool Failed = !Send(Packet);
  while (Receive(Frame, Failed)) {
    TakeFrameTime(*Frame);
    FView.Quality = Frame->quality;
    AVRational Rate = FContext->framerate;
    if (Rate.num <= 0 || Rate.den <= 0) Rate = FView.Stream->r_frame_rate;
    if (Rate.num > 0 && Rate.den > 0)
      FView.NextPts =
          FView.Pts + LibAVUtil::av_rescale_q(2 + Frame->repeat_pict, {Rate.den, 2 * Rate.num}, Microseconds);
    else
      FView.NextPts = FView.Pts;

    AVFrame *Picture = FHooks.Process(Preprocess(Frame), FView.Pts);
    EmulateRate();
    if (StartReached()) {
      for (const TFeed &Feed : FFeeds)
        if (Feed.Video) Feed.Muxer->WriteVideoStats(Feed.Video->Out(FView, Feed.Clock->Pts, Picture));
    }
    LibAVUtil::av_frame_unref(Frame);
  }
  return Failed ? -1 : 0;
}

int TDecoder::DecodeSubtitle(AVPacket *Packet) {
  if (!Packet) return 0;  // subtitle decoders hold nothing back
  FView.Pts = FView.NextPts;
  TSubtitleHolder Subtitle;
  int Got = 0;
  if (LibAVCodec::avcodec_decode_subtitle2(FContext.get(), Subtitle.get(), &Got, Packet) < 0) return -1;
  if (!Got) return 0;
  if (StartReached())
    for (const TFeed &Feed : FFeeds)
      if (!Feed.Muxer->Copies()) Feed.Muxer->SubtitleOut(*Subtitle.get(), Packet->pts);
  return 0;
}

void TDecoder::Drain() {
  for (const TFeed &Feed : FFeeds) {
    if (Feed.Muxer->Copies() || !Feed.Muxer->Encoder()) continue;
    if (Feed.Audio)
      Feed.Audio->Finish();
    else if (Feed.Video)
      Feed.Muxer->WriteVideoStats(Feed.Video->Finish());
    else
      continue;  // subtitle encoders hold nothing back
    // Then what the encoder still holds back.
    Feed.Muxer->Encode(nullptr);
  }
}

}  // namespace korvane
