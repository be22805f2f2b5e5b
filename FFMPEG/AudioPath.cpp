// SPDX-License-Identifier: GPL-3.0-or-later
// The audio path of a run: a chunk of decoded float interleaved samples
// for one output stream is kept in step with the input clock (samples
// dropped, silence inserted, or the rate stretched), converted to the
// encoder's rate and channels, cut into encoder frames through the stream's
// fifo, converted to the encoder's sample format and encoded.
#include "AudioPath.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "AVLibraries.h"
#include "TextFormat.h"

namespace korvane {

namespace {

// The most bytes one insertion of silence makes, silence and chunk together.
constexpr int SilenceLimit = 131072;

// The most samples one resampler call is asked to make. A source whose rate
// is far below the encoder's (a header may claim 1 Hz) multiplies every
// sample; the buffers follow this bound, not the source.
constexpr int ResampleSlice = 16384;

// The layout the resampler reads: the decoded one where it names its
// channels, else the usual layout for that many channels (still unnamed
// where there is none, as for 9 channels and more without a channel mask).
// Borrows from Decoded: no copy to release.
AVChannelLayout NamedLayout(const AVChannelLayout &Decoded) {
  if (Decoded.order != AV_CHANNEL_ORDER_UNSPEC) return Decoded;
  AVChannelLayout Usual{};
  LibAVUtil::av_channel_layout_default(&Usual, Decoded.nb_channels);
  return Usual;
}

// A mix for channels the mixer cannot place: input I goes to output I mod
// Out and every output is the mean of its inputs, so nothing clips; with
// more outputs than inputs, output O repeats input O mod In. Row-major, one
// row of In weights per output.
std::vector<double> PlainMix(int In, int Out) {
  std::vector<double> Matrix(static_cast<size_t>(In) * Out, 0.0);
  for (int O = 0; O < Out; ++O) {
    if (In < Out) {
      Matrix[static_cast<size_t>(O) * In + O % In] = 1.0;
      continue;
    }
    const int Inputs = (In - O + Out - 1) / Out;
    for (int I = O; I < In; I += Out) Matrix[static_cast<size_t>(O) * In + I] = 1.0 / Inputs;
  }
  return Matrix;
}

// A resampler of working samples from In at InRate to Out at OutRate; with
// Plain, mixed by PlainMix instead of by the channels' names. A mix is
// normalised so that its loudest output stays within full scale: a loud
// surround source does not clip when it becomes stereo.
TResamplerHolder NewResampler(const AVChannelLayout &In, int InRate, const AVChannelLayout &Out, int OutRate,
                              bool Plain) {
  SwrContext *Made = nullptr;
  // The library copies both layouts; older headers declare them writable.
  if (LibSwResample::swr_alloc_set_opts2(&Made, const_cast<AVChannelLayout *>(&Out), WorkFormat, OutRate,
                                         const_cast<AVChannelLayout *>(&In), WorkFormat, InRate, 0,
                                         nullptr) < 0)
    return nullptr;
  TResamplerHolder Resampler(Made);
  LibAVUtil::av_opt_set_int(Made, "rematrix_maxval", 1, 0);
  if (Plain) {
    const std::vector<double> Matrix = PlainMix(In.nb_channels, Out.nb_channels);
    if (LibSwResample::swr_set_matrix(Made, Matrix.data(), In.nb_channels) < 0) return nullptr;
  }
  if (LibSwResample::swr_init(Made) < 0) return nullptr;
  return Resampler;
}

}  // namespace

void TByteQueue::Append(const uint8_t *Data, size_t Count) {
  if (FStart > 0 && FStart >= FData.size() / 2) {
    FData.erase(FData.begin(), FData.begin() + static_cast<ptrdiff_t>(FStart));
    FStart = 0;
  }
  FData.insert(FData.end(), Data, Data + Count);
}

void TByteQueue::Take(uint8_t *Target, size_t Count) {
  Count = std::min(Count, Size());
  std::memcpy(Target, FData.data() + FStart, Count);
  FStart += Count;
  if (FStart == FData.size()) {
    FData.clear();
    FStart = 0;
  }
}

void TAudioPath::MakeResampler(const TStreamView &Ist) {
  const AVCodecContext *Enc = FLink.Encoder();
  const AVChannelLayout In = NamedLayout(*Ist.Layout);
  const AVChannelLayout &Out = Enc->ch_layout;
  // The standard downmix where the channels have names the mixer knows.
  const bool Named = In.order != AV_CHANNEL_ORDER_UNSPEC && Out.order != AV_CHANNEL_ORDER_UNSPEC;
  const bool SameChannels = LibAVUtil::av_channel_layout_compare(&In, &Out) == 0;
  TResamplerHolder Resampler;
  if (Named || SameChannels) Resampler = NewResampler(In, Ist.SampleRate, Out, Enc->sample_rate, false);
  if (!Resampler) {
    const AVChannelLayout Unnamed{AV_CHANNEL_ORDER_UNSPEC, In.nb_channels, {}, nullptr};
    Resampler = NewResampler(Unnamed, Ist.SampleRate, Out, Enc->sample_rate, true);
  }
  if (!Resampler || !FResamplerLayout.Assign(In))
    throw FFMpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                 In.nb_channels, Ist.SampleRate, Out.nb_channels, Enc->sample_rate));
  FResampler = std::move(Resampler);
  FResamplerRate = Ist.SampleRate;
}

void TAudioPath::Out(const TStreamView &Ist, int64_t ClockPts, const uint8_t *Data, int Size) {
  const TOptionState &S = FState;
  const AVCodecContext *Enc = FLink.Encoder();
  const int64_t Position = FLink.Position();
  const int EncChannels = Enc->ch_layout.nb_channels, EncRate = Enc->sample_rate;
  const int DecChannels = Ist.Channels, DecRate = Ist.SampleRate;
  const int DecFrameBytes = WorkBytes * DecChannels;
  const AVChannelLayout Source = NamedLayout(*Ist.Layout);
  if (EncChannels != DecChannels || LibAVUtil::av_channel_layout_compare(&Source, &Enc->ch_layout) != 0)
    FResample = true;
  if (FResample && (!FResampler || FResamplerRate != DecRate ||
                    LibAVUtil::av_channel_layout_compare(&Source, &*FResamplerLayout) != 0))
    MakeResampler(Ist);

  double InputTime = static_cast<double>(ClockPts - S.FStartTime) / 1000000.0;
  if (InputTime < 0 && S.FInputFilesStart[Ist.FileIndex] != 0) {
    // Sound from before the start asked for is not the output's: what of
    // this chunk lies before it is left out.
    const int64_t Early = std::min<int64_t>(std::llround(-InputTime * DecRate), Size / DecFrameBytes);
    Data += Early * DecFrameBytes;
    Size -= static_cast<int>(Early * DecFrameBytes);
    if (Size <= 0) return;
    InputTime = 0;
  }
  const double Waiting = static_cast<double>(FSampleFifo.Size()) / (WorkBytes * EncChannels);
  if (S.FAudioSyncMethod != 0) {
    // Output samples missing (positive) or in excess (negative) against the input clock.
    const double Delta = EncRate * InputTime - static_cast<double>(Position) - Waiting;
    const double InputDelta = Delta * DecRate / EncRate;
    int ByteDelta = static_cast<int>(InputDelta) * DecFrameBytes;
    if (std::fabs(Delta) > 50) {
      if (FAtStart || std::fabs(Delta) > S.FAudioDriftThreshold * EncRate) {
        if (ByteDelta < 0) {
          ByteDelta = std::max(ByteDelta, -Size);
          Data -= ByteDelta;
          Size += ByteDelta;
          if (S.FVerbose > 2) FTask.Log(1, Format("discarding %d audio samples", static_cast<int>(-Delta)));
          if (Size <= 0) return;
          FAtStart = false;
        } else {
          // At most the limit in one go; the rest follows with later chunks.
          if (ByteDelta + Size <= SilenceLimit)
            FAtStart = false;
          else
            ByteDelta = std::max(0, (SilenceLimit - Size) / DecFrameBytes * DecFrameBytes);
          FSilence.assign(static_cast<size_t>(ByteDelta), 0);
          FSilence.insert(FSilence.end(), Data, Data + Size);
          Data = FSilence.data();
          Size += ByteDelta;
          if (S.FVerbose > 2)
            FTask.Log(1, Format("adding %d audio samples of silence", static_cast<int>(Delta)));
        }
      } else if (S.FAudioSyncMethod > 1 && FResampler) {
        const int Compensation = std::clamp(static_cast<int>(Delta), -S.FAudioSyncMethod, S.FAudioSyncMethod);
        if (S.FVerbose > 2)
          FTask.Log(1, Format("compensating audio timestamp drift:%f compensation:%d in:%d", Delta,
                              Compensation, EncRate));
        LibSwResample::swr_set_compensation(FResampler.get(), Compensation, EncRate);
      }
    }
  } else {
    // Without synchronisation the output position follows the input clock.
    // A clock that falls back further than rounding explains (a damaged
    // source's repeated or mistaken times) would take the output's times
    // back over sound already written: the part of this chunk for a time
    // already written is left out instead, so the times keep rising.
    const int64_t Target = std::llround(InputTime * EncRate) -
                           static_cast<int64_t>(FSampleFifo.Size()) / (WorkBytes * EncChannels);
    if (Target >= Position - EncRate / 1000) {
      FLink.Advance(Target - Position);
    } else {
      const int64_t Written =
          std::min<int64_t>((Position - Target) * DecRate / EncRate, Size / DecFrameBytes);
      Data += Written * DecFrameBytes;
      Size -= static_cast<int>(Written * DecFrameBytes);
      if (Size <= 0) return;
    }
  }

  if (FResample)
    ResampleAndQueue(Data, Size / DecFrameBytes);
  else
    QueueSamples(Data, Size / (WorkBytes * EncChannels));
}

void TAudioPath::ResampleAndQueue(const uint8_t *Data, int SampleCount) {
  const AVCodecContext *Enc = FLink.Encoder();
  SwrContext *Resampler = FResampler.get();
  const int InFrameBytes = WorkBytes * FResamplerLayout->nb_channels;
  const int OutFrameBytes = WorkBytes * Enc->ch_layout.nb_channels;
  const int Slice =
      static_cast<int>(std::max<int64_t>(1, int64_t{ResampleSlice} * FResamplerRate / Enc->sample_rate));
  for (int Done = 0;;) {
    const int In = Data ? std::min(Slice, SampleCount - Done) : 0;
    const uint8_t *From = Data ? Data + static_cast<ptrdiff_t>(Done) * InFrameBytes : nullptr;
    const int Room = LibSwResample::swr_get_out_samples(Resampler, In) + 256;
    FAudioBuffer.resize(static_cast<size_t>(Room) * OutFrameBytes);
    uint8_t *Target = FAudioBuffer.data();
    const int Count = LibSwResample::swr_convert(Resampler, &Target, Room, From ? &From : nullptr, In);
    if (Count < 0) return;
    QueueSamples(Target, Count);
    Done += In;
    if (Data ? Done >= SampleCount : Count == 0) return;
  }
}

void TAudioPath::QueueSamples(const uint8_t *Data, int SampleCount) {
  const AVCodecContext *Enc = FLink.Encoder();
  const size_t SampleBytes = static_cast<size_t>(Enc->ch_layout.nb_channels) * WorkBytes;
  if (Enc->frame_size <= 1) {
    // Sample-based encoders (PCM) take any number of samples at once.
    if (SampleCount > 0) EncodeSamples(Data, SampleCount);
    return;
  }
  FSampleFifo.Append(Data, SampleBytes * static_cast<size_t>(SampleCount));
  const size_t FrameBytes = SampleBytes * static_cast<size_t>(Enc->frame_size);
  FFrameBuffer.resize(FrameBytes);
  while (FSampleFifo.Size() >= FrameBytes) {
    FSampleFifo.Take(FFrameBuffer.data(), FrameBytes);
    EncodeSamples(FFrameBuffer.data(), Enc->frame_size);
  }
}

void TAudioPath::Finish() {
  const AVCodecContext *Enc = FLink.Encoder();
  if (FResampler) ResampleAndQueue(nullptr, 0);
  const size_t SampleBytes = static_cast<size_t>(Enc->ch_layout.nb_channels) * WorkBytes;
  const int Rest = static_cast<int>(FSampleFifo.Size() / SampleBytes);
  if (Enc->frame_size > 1 && Rest > 0) {
    // The rest as a last frame: short where the encoder takes one, else
    // filled up with silence, so the end of the sound is not lost.
    const bool Short =
        Enc->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const int Samples = Short ? Rest : Enc->frame_size;
    FFrameBuffer.assign(SampleBytes * static_cast<size_t>(Samples), 0);
    FSampleFifo.Take(FFrameBuffer.data(), SampleBytes * static_cast<size_t>(Rest));
    EncodeSamples(FFrameBuffer.data(), Samples);
  }
}

void TAudioPath::EncodeSamples(const uint8_t *Data, int SampleCount) {
  AVCodecContext *Enc = FLink.Encoder();
  if (!FEncoderFrame) FEncoderFrame.reset(LibAVUtil::av_frame_alloc());
  AVFrame *Frame = FEncoderFrame.get();
  if (!Frame) throw FFMpegException("av_mallocz fail");
  // A frame the encoder still holds is not written over.
  if (Frame->nb_samples != SampleCount || !Frame->buf[0]) {
    LibAVUtil::av_frame_unref(Frame);
    Frame->nb_samples = SampleCount;
    Frame->format = Enc->sample_fmt;
    Frame->sample_rate = Enc->sample_rate;
    if (LibAVUtil::av_channel_layout_copy(&Frame->ch_layout, &Enc->ch_layout) < 0 ||
        LibAVUtil::av_frame_get_buffer(Frame, 0) < 0)
      throw FFMpegException("av_mallocz fail");
  } else if (LibAVUtil::av_frame_make_writable(Frame) < 0) {
    throw FFMpegException("av_mallocz fail");
  }

  if (Enc->sample_fmt == WorkFormat) {
    std::memcpy(Frame->data[0], Data,
                static_cast<size_t>(SampleCount) * Enc->ch_layout.nb_channels * WorkBytes);
  } else {
    if (!FToEncoder) {
      SwrContext *Converter = nullptr;
      if (LibSwResample::swr_alloc_set_opts2(&Converter, &Enc->ch_layout, Enc->sample_fmt, Enc->sample_rate,
                                             &Enc->ch_layout, WorkFormat, Enc->sample_rate, 0, nullptr) < 0 ||
          LibSwResample::swr_init(Converter) < 0) {
        LibSwResample::swr_free(&Converter);
        throw FFMpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                     Enc->ch_layout.nb_channels, Enc->sample_rate, Enc->ch_layout.nb_channels,
                                     Enc->sample_rate));
      }
      FToEncoder.reset(Converter);
    }
    LibSwResample::swr_convert(FToEncoder.get(), Frame->extended_data, SampleCount, &Data, SampleCount);
  }
  Frame->pts = FLink.Position();
  FLink.Encode(Frame);
  FLink.Advance(SampleCount);
}

}  // namespace korvane
