// The audio output of a run: decoded 16-bit samples of one input stream are
// converted to the encoder's rate and channels, cut into encoder frames
// through the stream's fifo, converted to the encoder's sample format and
// encoded.
#include <cmath>
#include <cstring>

#include "AVLibraries.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

void TTranscoder::AudioOut(TOutputStream &Ost, TInputStream &Ist, const uint8_t *Data, int Size) {
  TOptionState &S = FState;
  AVCodecContext *Enc = Ost.Encoder;
  const int EncChannels = Enc->ch_layout.nb_channels;
  const int DecChannels = Ist.Channels, DecRate = Ist.SampleRate;
  if (EncChannels != DecChannels) Ost.AudioResample = true;

  if (Ost.AudioResample &&
      (!Ost.Resampler || Ost.ResamplerRate != DecRate || Ost.ResamplerChannels != DecChannels)) {
    AVChannelLayout In{};
    LibAVUtil::av_channel_layout_default(&In, DecChannels);
    SwrContext *Resampler = nullptr;
    const bool Made =
        LibSwResample::swr_alloc_set_opts2(&Resampler, &Enc->ch_layout, AV_SAMPLE_FMT_S16, Enc->sample_rate,
                                           &In, AV_SAMPLE_FMT_S16, DecRate, 0, nullptr) >= 0 &&
        LibSwResample::swr_init(Resampler) >= 0;
    LibAVUtil::av_channel_layout_uninit(&In);
    if (!Made) {
      LibSwResample::swr_free(&Resampler);
      throw FFMpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", DecChannels,
                                   DecRate, EncChannels, Enc->sample_rate));
    }
    Ost.Resampler.reset(Resampler);
    Ost.ResamplerRate = DecRate;
    Ost.ResamplerChannels = DecChannels;
  }

  // The output position follows the input clock.
  const double InputTime = static_cast<double>(Ost.SyncInput->Pts - S.FStartTime) / 1000000.0;
  Ost.SyncOpts = std::llround(InputTime * Enc->sample_rate) -
                 static_cast<int64_t>(Ost.SampleFifo.Size()) / (2 * EncChannels);

  const uint8_t *Output = Data;
  int OutputBytes = Size;
  if (Ost.AudioResample) {
    const int InSamples = Size / (2 * DecChannels);
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
    std::vector<uint8_t> Frame(FrameBytes);
    while (Ost.SampleFifo.Size() >= FrameBytes) {
      Ost.SampleFifo.Take(Frame.data(), FrameBytes);
      EncodeAudioSamples(Ost, Frame.data(), Enc->frame_size);
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
