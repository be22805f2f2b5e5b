// SPDX-License-Identifier: GPL-3.0-or-later
// The audio path of one encoded output stream: chunks of decoded float
// interleaved samples are kept in step with the input clock (samples
// dropped, silence inserted, or the rate stretched), converted to the
// encoder's rate and channels, cut into encoder frames through a fifo,
// converted to the encoder's sample format and encoded.
#pragma once

#include <cstdint>
#include <vector>

#include "AVHolders.h"
#include "EncoderLink.h"
#include "FFmpeg.h"
#include "StreamView.h"

namespace korvane {

// The form the audio path works on: interleaved 32-bit float samples. They
// hold a 24-bit source exactly (its lossless copy stays bit for bit), and a
// lossy encoder gets the source's precision, not a 16-bit step.
inline constexpr AVSampleFormat WorkFormat = AV_SAMPLE_FMT_FLT;
inline constexpr int WorkBytes = 4;

// A queue of bytes: decoded samples waiting for a whole encoder frame.
class TByteQueue {
 public:
  size_t Size() const { return FData.size() - FStart; }
  void Append(const uint8_t *Data, size_t Count);
  // Removes the first Count bytes (at most Size()) into Target.
  void Take(uint8_t *Target, size_t Count);

 private:
  std::vector<uint8_t> FData;
  size_t FStart = 0;
};

class TAudioPath {
 public:
  // Resample: the rate differs from the source's or the clock may stretch
  // it; a change of channels turns it on when the samples arrive.
  TAudioPath(TCustomFFmpeg &Task, const TOptionState &State, TEncoderLink &Link, bool Resample)
      : FTask(Task), FState(State), FLink(Link), FResample(Resample) {}
  TAudioPath(const TAudioPath &) = delete;
  TAudioPath &operator=(const TAudioPath &) = delete;

  // Takes Size bytes of Ist's decoded samples; ClockPts is the stream's
  // sync input's position (microseconds).
  void Out(const TStreamView &Ist, int64_t ClockPts, const uint8_t *Data, int Size);
  // The end of the stream: what the resampler holds back, then the last
  // short frame (padded with silence where the encoder takes whole frames
  // only). The encoder's own delay is flushed by the caller.
  void Finish();

 private:
  void MakeResampler(const TStreamView &Ist);
  // Resamples a chunk (none: what the resampler still holds) in slices of
  // bounded size and passes each on, so a source rate far below the
  // encoder's cannot make one chunk into an unbounded buffer.
  void ResampleAndQueue(const uint8_t *Data, int SampleCount);
  // Cuts samples into the encoder's frames through the fifo, or passes
  // them on whole to a sample-based encoder.
  void QueueSamples(const uint8_t *Data, int SampleCount);
  void EncodeSamples(const uint8_t *Data, int SampleCount);

  TCustomFFmpeg &FTask;
  const TOptionState &FState;
  TEncoderLink &FLink;
  bool FResample = false;
  // Until the sound is first put in step with the clock, any gap or excess
  // beyond a few samples is corrected, not only a drift past the threshold.
  bool FAtStart = true;
  TResamplerHolder FResampler;  // source rate and channels to the encoder's
  int FResamplerRate = 0;       // the source side it was made for
  TChannelLayout FResamplerLayout;
  TByteQueue FSampleFifo;
  std::vector<uint8_t> FAudioBuffer;  // resampler output
  std::vector<uint8_t> FFrameBuffer;  // one encoder frame read from the fifo
  std::vector<uint8_t> FSilence;      // a chunk with silence in front
  TResamplerHolder FToEncoder;        // the working form to the encoder's sample format
  TFrameHolder FEncoderFrame;
};

}  // namespace korvane
