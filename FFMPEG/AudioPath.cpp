// The audio path of a run: a chunk of decoded 16-bit interleaved samples
// for one output stream is kept in step with the input clock (samples
// dropped, silence inserted, or the rate stretched), converted to the
// encoder's rate and channels, cut into encoder frames through the stream's
// fifo, converted to the encoder's sample format and encoded.
#include <cmath>
#include <cstring>

#include "AVLibraries.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

// The most bytes one insertion of silence makes, silence and chunk together.
constexpr int SilenceLimit = 131072;

}  // namespace

void TTranscoder::AudioOut(TOutputStream &Ost, TInputStream &Ist, const uint8_t *Data, int Size) {
  TOptionState &S = FState;
  AVCodecContext *Enc = Ost.Encoder;
  const int EncChannels = Enc->ch_layout.nb_channels, EncRate = Enc->sample_rate;
  const int DecChannels = Ist.Channels, DecRate = Ist.SampleRate;
  const int DecFrameBytes = 2 * DecChannels;
  if (EncChannels != DecChannels) Ost.AudioResample = true;

  if (Ost.AudioResample &&
      (!Ost.Resampler || Ost.ResamplerRate != DecRate || Ost.ResamplerChannels != DecChannels)) {
    AVChannelLayout In{};
    LibAVUtil::av_channel_layout_default(&In, DecChannels);
    SwrContext *Resampler = nullptr;
    const bool Made =
        LibSwResample::swr_alloc_set_opts2(&Resampler, &Enc->ch_layout, AV_SAMPLE_FMT_S16, EncRate, &In,
                                           AV_SAMPLE_FMT_S16, DecRate, 0, nullptr) >= 0 &&
        LibSwResample::swr_init(Resampler) >= 0;
    LibAVUtil::av_channel_layout_uninit(&In);
    if (!Made) {
      LibSwResample::swr_free(&Resampler);
      throw FFMpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", DecChannels,
                                   DecRate, EncChannels, EncRate));
    }
    Ost.Resampler.reset(Resampler);
    Ost.ResamplerRate = DecRate;
    Ost.ResamplerChannels = DecChannels;
  }

  const double InputTime = static_cast<double>(Ost.SyncInput->Pts - S.FStartTime) / 1000000.0;
  const double Waiting = static_cast<double>(Ost.SampleFifo.Size()) / (2 * EncChannels);
  if (S.FAudioSyncMethod != 0) {
    // Output samples missing (positive) or in excess (negative) against the input clock.
    const double Delta = EncRate * InputTime - static_cast<double>(Ost.SyncOpts) - Waiting;
    const double InputDelta = Delta * DecRate / EncRate;
    int ByteDelta = static_cast<int>(InputDelta) * DecFrameBytes;
    if (std::fabs(Delta) > 50) {
      if (Ist.IsStart || std::fabs(Delta) > S.FAudioDriftThreshold * EncRate) {
        if (ByteDelta < 0) {
          ByteDelta = std::max(ByteDelta, -Size);
          Data -= ByteDelta;
          Size += ByteDelta;
          if (S.FVerbose > 2) FTask.Log(1, Format("discarding %d audio samples", static_cast<int>(-Delta)));
          if (Size <= 0) return;
          Ist.IsStart = false;
        } else {
          // At most the limit in one go; the rest follows with later chunks.
          if (ByteDelta + Size <= SilenceLimit)
            Ist.IsStart = false;
          else
            ByteDelta = std::max(0, (SilenceLimit - Size) / DecFrameBytes * DecFrameBytes);
          Ost.Silence.assign(static_cast<size_t>(ByteDelta), 0);
          Ost.Silence.insert(Ost.Silence.end(), Data, Data + Size);
          Data = Ost.Silence.data();
          Size += ByteDelta;
          if (S.FVerbose > 2)
            FTask.Log(1, Format("adding %d audio samples of silence", static_cast<int>(Delta)));
        }
      } else if (S.FAudioSyncMethod > 1 && Ost.Resampler) {
        const int Compensation = std::clamp(static_cast<int>(Delta), -S.FAudioSyncMethod, S.FAudioSyncMethod);
        if (S.FVerbose > 2)
          FTask.Log(1, Format("compensating audio timestamp drift:%f compensation:%d in:%d", Delta,
                              Compensation, EncRate));
        LibSwResample::swr_set_compensation(Ost.Resampler.get(), Compensation, EncRate);
      }
    }
  } else {
    // Without synchronisation the output position follows the input clock.
    Ost.SyncOpts =
        std::llround(InputTime * EncRate) - static_cast<int64_t>(Ost.SampleFifo.Size()) / (2 * EncChannels);
  }

  const uint8_t *Output = Data;
  int OutputBytes = Size;
  if (Ost.AudioResample) {
    const int InSamples = Size / DecFrameBytes;
    const int Room = LibSwResample::swr_get_out_samples(Ost.Resampler.get(), InSamples) + 16;
    Ost.AudioBuffer.resize(static_cast<size_t>(Room) * EncChannels * 2);
    uint8_t *Target = Ost.AudioBuffer.data();
    const int Count = LibSwResample::swr_convert(Ost.Resampler.get(), &Target, Room, &Data, InSamples);
    if (Count < 0) return;
    Output = Target;
    OutputBytes = Count * EncChannels * 2;
  }

  if (Enc->frame_size > 1) {
    Ost.SampleFifo.Append(Output, static_cast<size_t>(OutputBytes));
    const size_t FrameBytes = static_cast<size_t>(EncChannels) * Enc->frame_size * 2;
    Ost.FrameBuffer.resize(FrameBytes);
    while (Ost.SampleFifo.Size() >= FrameBytes) {
      Ost.SampleFifo.Take(Ost.FrameBuffer.data(), FrameBytes);
      EncodeAudioSamples(Ost, Ost.FrameBuffer.data(), Enc->frame_size);
    }
  } else if (OutputBytes > 0) {
    // Sample-based encoders (PCM) take any number of samples at once.
    EncodeAudioSamples(Ost, Output, OutputBytes / (2 * EncChannels));
  }
}

void TTranscoder::EncodeAudioSamples(TOutputStream &Ost, const uint8_t *Data, int SampleCount) {
  AVCodecContext *Enc = Ost.Encoder;
  if (!Ost.EncoderFrame) Ost.EncoderFrame.reset(LibAVUtil::av_frame_alloc());
  AVFrame *Frame = Ost.EncoderFrame.get();
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

  if (Enc->sample_fmt == AV_SAMPLE_FMT_S16) {
    std::memcpy(Frame->data[0], Data, static_cast<size_t>(SampleCount) * Enc->ch_layout.nb_channels * 2);
  } else {
    if (!Ost.ToEncoder) {
      SwrContext *Converter = nullptr;
      if (LibSwResample::swr_alloc_set_opts2(&Converter, &Enc->ch_layout, Enc->sample_fmt, Enc->sample_rate,
                                             &Enc->ch_layout, AV_SAMPLE_FMT_S16, Enc->sample_rate, 0,
                                             nullptr) < 0 ||
          LibSwResample::swr_init(Converter) < 0) {
        LibSwResample::swr_free(&Converter);
        throw FFMpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                     Enc->ch_layout.nb_channels, Enc->sample_rate, Enc->ch_layout.nb_channels,
                                     Enc->sample_rate));
      }
      Ost.ToEncoder.reset(Converter);
    }
    LibSwResample::swr_convert(Ost.ToEncoder.get(), Frame->extended_data, SampleCount, &Data, SampleCount);
  }
  Frame->pts = Ost.SyncOpts;
  EncodeAndWrite(Ost, Frame);
  Ost.SyncOpts += SampleCount;
}

}  // namespace korvane
