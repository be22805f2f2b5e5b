// SPDX-License-Identifier: GPL-3.0-or-later
// The audio path: channel and rate changes, encoder framing, PCM widths,
// synchronisation with the input clock, volume and unusual layouts.
#include <sys/resource.h>

#include <regex>

#include "AudioPath.h"
#include "ConversionFixture.h"
#include "Fidelity.h"
#include "MediaMutations.h"

namespace korvane::test {
namespace {

using AudioPath = TranscodeTest;

TConfigure Audio(const char *Codec, int Channels = -1, int Rate = -1, const char *Extra = "") {
  return [=](TInputOptions &, TOutputOptions &O) {
    O.AudioCodec = Codec;
    O.AudioChannels = Channels;
    O.AudioSampleRate = Rate;
    O.ExtOptions = Extra;
  };
}

// Mean and peak level of the whole file, dB.
std::pair<double, double> Levels(const std::string &File) {
  const std::string Text =
      RunCommand("ffmpeg -nostdin -i '" + File + "' -af volumedetect -f null - 2>&1", false).Output;
  std::smatch Mean, Max;
  std::regex_search(Text, Mean, std::regex("mean_volume: (-?[0-9.]+) dB"));
  std::regex_search(Text, Max, std::regex("max_volume: (-?[0-9.]+) dB"));
  return {Mean.empty() ? 1e9 : std::stod(Mean[1]), Max.empty() ? 1e9 : std::stod(Max[1])};
}

TEST_F(AudioPath, ChannelsAndRatesChange) {
  struct Row {
    std::string Source;
    const char *Target, *Codec;
    int Channels, Rate;
    double Seconds;
  } Rows[] = {
      {Clips.AudioOnly, "up.wav", "pcm_s16le", 2, 44100, 1.0},    // mono 22.05 kHz to stereo 44.1 kHz
      {Clips.Surround, "down.wav", "pcm_s16le", 2, 48000, 1.0},   // 5.1 to stereo
      {Clips.Surround, "down.mp3", "libmp3lame", 2, 44100, 1.0},  // and 48 to 44.1 kHz
      {Clips.NarrowBand, "wide.ac3", "ac3", 2, 48000, 1.0},
      {Clips.Surround, "phone.amr", "libamr_nb", 1, 8000, 1.0},
      {Clips.AudioOnly, "s24.wav", "pcm_s24le", 1, 22050, 1.0},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(R.Source, Out(R.Target), Audio(R.Codec, R.Channels, R.Rate));
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Out(R.Target));
    EXPECT_EQ(P.Errors, "");
    EXPECT_EQ(Number(P.Stream("audio"), "channels"), R.Channels);
    EXPECT_EQ(Number(P.Stream("audio"), "sample_rate"), R.Rate);
    EXPECT_NEAR(Number(&P.Format, "duration"), R.Seconds, 0.08);
  }
  // 24-bit PCM holds three bytes a sample: one second of 22.05 kHz mono,
  // with the header and the source's tags.
  EXPECT_NEAR(static_cast<double>(std::filesystem::file_size(Out("s24.wav"))), 22050 * 3 + 44, 256);
}

// An encoder link without an encoder: a context of the working sample
// format that is never opened, and a record of every frame the path hands
// it, so that the path can be driven alone, chunk by chunk.
class TFakeLink final : public TEncoderLink {
 public:
  TFakeLink(int FrameSize, bool SmallLastFrame) : FContext(LibAVCodec::avcodec_alloc_context3(nullptr)) {
    FContext->sample_fmt = WorkFormat;
    FContext->sample_rate = Rate;
    LibAVUtil::av_channel_layout_default(&FContext->ch_layout, Channels);
    FContext->frame_size = FrameSize;
    FCodec.capabilities = SmallLastFrame ? AV_CODEC_CAP_SMALL_LAST_FRAME : 0;
    FContext->codec = &FCodec;
  }
  ~TFakeLink() override { FContext->codec = nullptr; }
  AVCodecContext *Encoder() const override { return FContext.get(); }
  int64_t Position() const override { return FPosition; }
  void Advance(int64_t Count) override { FPosition += Count; }
  int FramesEncoded() const override { return 0; }
  int Encode(AVFrame *Frame) override {
    const float *Data = reinterpret_cast<const float *>(Frame->data[0]);
    Frames.push_back({Frame->pts, std::vector<float>(Data, Data + Frame->nb_samples * Channels)});
    return 0;
  }

  static constexpr int Rate = 48000, Channels = 2;
  struct TEncoded {
    int64_t Pts;
    std::vector<float> Samples;  // interleaved
  };
  std::vector<TEncoded> Frames;

 private:
  TCodecContextHolder FContext;
  AVCodec FCodec{};
  int64_t FPosition = 0;
};

// The sound a stream hands on: stereo working samples whose left channel
// counts them from 1 (0 is silence), so that each sample can be traced.
struct TSource {
  TSource() {
    View.SampleRate = TFakeLink::Rate;
    View.Channels = TFakeLink::Channels;
    AVChannelLayout Stereo{};
    LibAVUtil::av_channel_layout_default(&Stereo, TFakeLink::Channels);
    View.Layout.Assign(Stereo);
  }
  // The next Count samples, when the clock is at Clock samples.
  void Send(std::vector<TAudioPath *> Paths, int Clock, int Count) {
    std::vector<float> Data;
    for (int I = 0; I < Count; ++I) Data.insert(Data.end(), {static_cast<float>(++Sent), 0.0f});
    View.Pts = std::llround(Clock * 1000000.0 / TFakeLink::Rate);
    for (TAudioPath *Path : Paths)
      Path->Out(View, View.Pts, reinterpret_cast<const uint8_t *>(Data.data()),
                static_cast<int>(Data.size() * sizeof(float)));
  }
  TStreamView View;
  int Sent = 0;
};

// What a path encoded, by the left channel: the silence in front, the
// source's samples in order, and what was left out of them.
struct TLeft {
  int Silence = 0, Sound = 0, Skipped = 0, Padding = 0;
  explicit TLeft(const TFakeLink &Link) {
    int Last = 0;
    for (const auto &Frame : Link.Frames)
      for (size_t I = 0; I < Frame.Samples.size(); I += TFakeLink::Channels) {
        const int Value = static_cast<int>(Frame.Samples[I]);
        if (Value == 0) {
          ++(Last == 0 ? Silence : Padding);
          continue;
        }
        Skipped += Value - Last - 1;
        Last = Value;
        ++Sound;
      }
  }
};

TEST_F(AudioPath, DrivenAloneItFramesTheSoundAndKeepsItInStepWithTheClock) {
  struct TChunk {
    int Clock;  // when the chunk comes, in samples of the clock
    int Samples;
  };
  struct TRow {
    const char *Name;
    int SyncMethod, FrameSize;
    bool SmallLastFrame;
    std::vector<TChunk> Chunks;
    std::vector<int> FrameSizes;  // of the frames encoded, in order
    int64_t FirstPts;
    int Silence, Skipped;  // samples of silence in front, source samples left out
  };
  const TRow Rows[] = {
      // The last frame filled up with silence, or short where the encoder takes that.
      {"filled", 0, 1152, false, {{0, 1000}, {1000, 1000}, {2000, 500}}, {1152, 1152, 1152}, 0, 0, 0},
      {"short", 0, 1152, true, {{0, 1000}, {1000, 1000}, {2000, 500}}, {1152, 1152, 196}, 0, 0, 0},
      {"sample-based encoder", 0, 0, false, {{0, 1000}, {1000, 700}}, {1000, 700}, 0, 0, 0},
      // Without keeping in step, the position follows the clock.
      {"clock followed", 0, 1024, true, {{48000, 1024}}, {1024}, 48000, 0, 0},
      // A clock that falls back does not take the times back with it: the
      // sound for a time already written is left out.
      {"clock falling back", 0, 1024, true, {{0, 2048}, {1024, 2048}}, {1024, 1024, 1024}, 0, 0, 1024},
      {"late start filled with silence", 1, 0, false, {{12000, 2000}}, {14000}, 0, 12000, 0},
      {"sound far ahead dropped", 1, 0, false, {{0, 9600}, {2400, 9600}}, {9600, 2400}, 0, 0, 7200},
      // Once in step, a drift within the threshold is left alone.
      {"small drift kept", 1, 0, false, {{480, 4800}, {5760, 4800}}, {5280, 4800}, 0, 480, 0},
  };
  for (const TRow &R : Rows) {
    SCOPED_TRACE(R.Name);
    TFFmpeg Task;
    Task.State().FAudioSyncMethod = R.SyncMethod;
    TFakeLink Link(R.FrameSize, R.SmallLastFrame);
    TAudioPath Path(Task, Task.State(), Link, false);
    TSource Source;
    for (const TChunk &Chunk : R.Chunks) Source.Send({&Path}, Chunk.Clock, Chunk.Samples);
    Path.Finish();
    std::vector<int> Sizes;
    for (const auto &Frame : Link.Frames) Sizes.push_back(static_cast<int>(Frame.Samples.size()) / 2);
    EXPECT_EQ(Sizes, R.FrameSizes);
    ASSERT_FALSE(Link.Frames.empty());
    EXPECT_EQ(Link.Frames[0].Pts, R.FirstPts);
    for (size_t I = 1; I < Link.Frames.size(); ++I)
      EXPECT_EQ(Link.Frames[I].Pts, Link.Frames[I - 1].Pts + Sizes[I - 1]) << "frames follow each other";
    const TLeft Left(Link);
    EXPECT_EQ(Left.Silence, R.Silence);
    EXPECT_EQ(Left.Skipped, R.Skipped);
    EXPECT_EQ(Left.Sound + Left.Skipped, Source.Sent) << "the end of the sound is kept";
  }

  // Two outputs of one stream each put their own start in step: a gap too
  // small to be a drift is filled in both.
  TFFmpeg Task;
  Task.State().FAudioSyncMethod = 1;
  TFakeLink First(0, false), Second(0, false);
  TAudioPath One(Task, Task.State(), First, false), Two(Task, Task.State(), Second, false);
  TSource Source;
  Source.Send({&One, &Two}, 960, 500);
  EXPECT_EQ(TLeft(First).Silence, 960);
  EXPECT_EQ(TLeft(Second).Silence, 960);
}

TEST_F(AudioPath, SynchronisationFillsALateStartWithSilence) {
  struct Row {
    int SyncMethod;
    double AudioSeconds;  // of the output's audio stream
    bool Announced;
  } Rows[] = {{1, 2.5, true}, {0, 2.0, false}};
  int N = 0;
  for (const Row &R : Rows) {
    const std::string Target = Out("late-" + std::to_string(N++) + ".avi");
    SCOPED_TRACE(R.SyncMethod);
    const TConversion C = Convert(Clips.LateAudio, Target, [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = "mpeg4";
      O.AudioCodec = "pcm_s16le";
      O.AudioSyncMethod = R.SyncMethod;
      O.ExtOptions = "v=3";
    });
    SetLibraryLogLevel(0);
    ASSERT_TRUE(C.Ran) << C.Error;
    EXPECT_NEAR(static_cast<double>(C.AudioSize) / 4 / 44100, R.AudioSeconds, 0.03);
    EXPECT_EQ(C.Logged("adding 22050 audio samples of silence"), R.Announced);
    for (const std::string &Line : C.Log) EXPECT_EQ(Line.find("discarding"), std::string::npos) << Line;
  }
  // A steady source drifts by less than 50 samples: nothing is added or dropped.
  const TConversion Steady =
      Convert(Clips.NarrowBand, Out("steady.wav"), [](TInputOptions &, TOutputOptions &O) {
        O.AudioCodec = "pcm_s16le";
        O.AudioSyncMethod = 1;
        O.ExtOptions = "v=3";
      });
  SetLibraryLogLevel(0);
  ASSERT_TRUE(Steady.Ran) << Steady.Error;
  EXPECT_EQ(Steady.AudioSize, 8000 * 2);
  for (const std::string &Line : Steady.Log) {
    EXPECT_EQ(Line.find("adding"), std::string::npos) << Line;
    EXPECT_EQ(Line.find("discarding"), std::string::npos) << Line;
  }
}

TEST_F(AudioPath, StretchSynchronisationConverts) {
  const TConversion C = Convert(Clips.LateAudio, Out("stretch.mkv"), [](TInputOptions &, TOutputOptions &O) {
    O.VideoCodec = "mpeg4";
    O.AudioCodec = "libmp3lame";
    O.AudioSyncMethod = 100;
  });
  ASSERT_TRUE(C.Ran) << C.Error;
  EXPECT_EQ(ProbeFile(Out("stretch.mkv")).Errors, "");
}

TEST_F(AudioPath, VolumeScalesAndClips) {
  const TConversion Plain = Convert(Clips.AudioOnly, Out("plain.wav"), Audio("pcm_s16le"));
  ASSERT_TRUE(Plain.Ran) << Plain.Error;
  const auto [PlainMean, PlainMax] = Levels(Out("plain.wav"));
  struct Row {
    int Volume;
    double MeanChange;  // dB against the plain copy
    double Max;         // dB, or 1 when not checked
  } Rows[] = {{512, 6.0, 1}, {2560, 14.0, 0.0}, {1, -48.0, 1}};
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Volume);
    const std::string Target = Out("vol-" + std::to_string(R.Volume) + ".wav");
    const TConversion C = Convert(Clips.AudioOnly, Target, [&](TInputOptions &, TOutputOptions &O) {
      O.AudioCodec = "pcm_s16le";
      O.AudioVolume = R.Volume;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const auto [Mean, Max] = Levels(Target);
    if (R.Volume == 2560)
      EXPECT_GT(Mean - PlainMean, 10) << "clipped, so less than the full 20 dB";
    else
      EXPECT_NEAR(Mean - PlainMean, R.MeanChange, 1.0);
    if (R.Max <= 0) {
      EXPECT_NEAR(Max, R.Max, 0.1) << "clipped at full scale";
    }
  }
  (void)PlainMax;
}

TEST_F(AudioPath, UnusualLayoutsReachEveryEncoderOrFailClearly) {
  struct Encoder {
    const char *Codec, *Extension;
    int Channels, Rate;  // -1: the source's
  } Encoders[] = {
      {"pcm_s16le", "wav", -1, -1},  {"pcm_s16be", "aiff", -1, -1}, {"libmp3lame", "mp3", 2, 44100},
      {"mp2", "mp2", 2, 44100},      {"ac3", "ac3", 2, 48000},      {"libfaac", "m4a", 2, 44100},
      {"libamr_nb", "amr", 1, 8000}, {"vorbis", "ogg", 2, 44100},   {"wmav2", "wma", 2, 44100},
      {"libmp3lame", "mp3", -1, -1}, {"ac3", "ac3", -1, -1}};
  for (const std::string &Source : {Clips.Surround, Clips.NarrowBand}) {
    for (const Encoder &E : Encoders) {
      SCOPED_TRACE(Source + " to " + E.Codec + " " + std::to_string(E.Channels));
      const std::string Target = Out(std::string("layout.") + E.Extension);
      const TConversion C = Convert(Source, Target, Audio(E.Codec, E.Channels, E.Rate));
      if (std::string(E.Codec) == "libmp3lame") {
        EXPECT_TRUE(C.Ran) << C.Error;
      }
      if (!C.Ran) {
        // An encoder that cannot take the source's layout says so.
        EXPECT_EQ(C.Error.rfind("Error while opening codec for output stream #0.0", 0), 0u) << C.Error;
        continue;
      }
      const TProbedFile P = ProbeFile(Target);
      EXPECT_EQ(P.Errors, "");
      EXPECT_NEAR(Number(&P.Format, "duration"), 1.0, 0.2);  // encoders pad their last frame
      // Channels the encoder cannot take become the most it can.
      if (std::string(E.Codec) == "libmp3lame" && E.Channels == -1 && Source == Clips.Surround) {
        EXPECT_EQ(Number(P.Stream("audio"), "channels"), 2);
      }
      std::filesystem::remove(Target);
    }
  }
}

// A tone in one named channel lands where the standard downmix puts it.
TEST_F(AudioPath, DownmixFollowsTheDecodedChannelNames) {
  const std::string Tone = "0.5*sin(2*PI*1000*t)";
  struct Row {
    const char *Layout;
    int Channels, ToneIn;
    bool Left, Right;
  } Rows[] = {
      {"3.0", 3, 2, true, true},         // front centre: both sides
      {"quad", 4, 2, true, false},       // back left: the left side only
      {"quad", 4, 3, false, true},       // back right
      {"5.1", 6, 4, true, false},        // back left
      {"5.1(side)", 6, 4, true, false},  // side left
      {"5.1", 6, 2, true, true},         // front centre
  };
  int N = 0;
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Layout) + " channel " + std::to_string(R.ToneIn));
    std::string Expressions;
    for (int C = 0; C < R.Channels; ++C) Expressions += (C ? "|" : "") + (C == R.ToneIn ? Tone : "0");
    const std::string Source = Out("layout-" + std::to_string(N) + ".wav");
    const std::string Target = Out("stereo-" + std::to_string(N++) + ".wav");
    ASSERT_TRUE(RunFFmpeg("-f lavfi -i \"aevalsrc='" + Expressions + "':c=" + R.Layout +
                          ":s=48000:d=0.3\" -c:a pcm_s16le '" + Source + "'"));
    const TConversion C = Convert(Source, Target, Audio("pcm_s16le", 2));
    ASSERT_TRUE(C.Ran) << C.Error;
    const std::vector<double> Levels = ChannelLevels(Target);
    ASSERT_EQ(Levels.size(), 2u);
    EXPECT_EQ(Levels[0] > -40, R.Left) << Levels[0];
    EXPECT_EQ(Levels[1] > -40, R.Right) << Levels[1];
    EXPECT_TRUE(Levels[0] > -40 || Levels[0] < -80) << "silence stays silence";
  }
}

// The downmix is normalised: a loud surround source does not clip, and the
// lossless and the lossy outputs of one source are equally loud.
TEST_F(AudioPath, SurroundDownmixNeverClipsAndKeepsOneLoudness) {
  const std::string Source = Out("loud-surround.wav");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i \"aevalsrc='0.9*sin(2*PI*440*t)':c=5.1:s=48000:d=1\" -c:a pcm_s16le '" +
                        Source + "'"));
  struct Row {
    const char *Target, *Codec;
  } Rows[] = {
      {"loud.wav", "pcm_s16le"}, {"loud.mp3", "libmp3lame"}, {"loud.m4a", "libfaac"}, {"loud.ac3", "ac3"}};
  double Lossless = 0;
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(Source, Out(R.Target), Audio(R.Codec, 2, 48000, "ab=192000"));
    ASSERT_TRUE(C.Ran) << C.Error;
    const double Loudness = IntegratedLoudness(Out(R.Target));
    if (R.Target == std::string("loud.wav")) Lossless = Loudness;
    EXPECT_NEAR(Loudness, Lossless, 0.5);
    EXPECT_LT(PeakAtEnd(Out(R.Target), 10), 0.999) << "no sample at full scale";
  }
}

// Every encoder of the profiles gets the whole sound: the resampler's delay
// and the last short frame are written, and the sound ends without a click.
TEST_F(AudioPath, TheEndOfTheSoundIsKept) {
  // A steady tone of 24077 samples: no encoder's frames divide it.
  const std::string Source = Out("tone-end.wav");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i \"aevalsrc='0.25*sin(2*PI*440*t)':c=stereo:s=48000\" -af atrim=end_sample=24077 "
                "-c:a pcm_s16le '" +
                Source + "'"));
  const double Seconds = 24077.0 / 48000;
  struct Row {
    const char *Target, *Codec;
    int Channels, Rate, Frame;  // samples of one encoder frame
    int Skipped;                // samples the decoder leaves out at the start (WMA: its first frame)
  } Rows[] = {
      {"end.mp3", "libmp3lame", 2, 44100, 1152, 0}, {"end.m4a", "libfaac", 2, 44100, 1024, 0},
      {"end.ac3", "ac3", 2, 48000, 1536, 0},        {"end.mp2", "mp2", 2, 44100, 1152, 0},
      {"end.wma", "wmav2", 2, 44100, 2048, 2048},   {"end.wav", "pcm_s16le", 2, 44100, 1, 0},
      {"end.aiff", "pcm_s16be", 2, 48000, 1, 0},    {"end.amr", "libamr_nb", 1, 8000, 160, 0},
      {"end.ogg", "vorbis", 2, 44100, 1024, 0},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(Source, Out(R.Target), Audio(R.Codec, R.Channels, R.Rate));
    ASSERT_TRUE(C.Ran) << C.Error;
    const double Expected = Seconds * R.Rate;
    const int64_t Samples = DecodedSamples(Out(R.Target));
    EXPECT_GE(static_cast<double>(Samples), Expected - R.Skipped - 1) << "nothing lost";
    EXPECT_LE(static_cast<double>(Samples), Expected + R.Frame) << "at most one frame of silence added";
    EXPECT_LT(PeakAtEnd(Out(R.Target), 0.05), 0.25 * 1.25) << "no click in the last 50 ms";
  }
}

// Headers cannot make a job unbounded: a source claiming 1 Hz is resampled
// in slices, and 9 channels are mixed down to what the encoder takes.
TEST_F(AudioPath, ExtremeSourcesAreMixedAndResampledInBoundedSteps) {
  // A header that says one sample a second is damage, not sound: without a
  // refusal 1000 samples would become a 1000 s job.
  // A FLAC header's rate times every packet: at 1 Hz each frame would
  // last hours, whatever rate the frames themselves say.
  const std::string Damaged = Out("one-hertz.wav"), Flac = Out("one-hertz.flac");
  WriteClaimedRateWav(Damaged, 1, 1000);
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i sine=duration=1:sample_rate=48000 -c:a flac '" + Out("sine.flac") + "'"));
  // The rate is the first 20 bits of the stream information's 11th byte on.
  PatchedCopy(Out("sine.flac"), 18, std::string("\x00\x00\x10", 3), Flac);
  for (const auto &[Source, Target] :
       {std::pair{Damaged, Out("damaged.wav")}, std::pair{Flac, Out("damaged.mka")}}) {
    const TConversion Refused = Convert(Source, Target, Audio("pcm_s16le", 1, 8000));
    EXPECT_EQ(Refused.Error,
              Source +
                  ": the header gives sound stream 0 a rate of 1 samples a second, far below any "
                  "recording's (at least 1000): the header is damaged");
    EXPECT_FALSE(std::filesystem::exists(Target));
  }

  // The lowest rate taken, 1000 samples a second, to 48 kHz: 170 s of sound.
  const std::string Slow = Out("slow-rate.wav");
  WriteClaimedRateWav(Slow, 1000, 170000);
  // The same conversion of a plain source first, so the measure below sees
  // only what the sound itself takes.
  ASSERT_TRUE(Convert(Clips.NarrowBand, Out("warm.wav"), Audio("pcm_s16le", 1, 48000)).Ran);
  rusage Before{}, After{};
  getrusage(RUSAGE_SELF, &Before);
  const TConversion C = Convert(Slow, Out("slow.wav"), Audio("pcm_s16le", 1, 48000));
  getrusage(RUSAGE_SELF, &After);
  ASSERT_TRUE(C.Ran) << C.Error;
  EXPECT_NEAR(static_cast<double>(DecodedSamples(Out("slow.wav"))), 170.0 * 48000, 48000);
  // 16 MB of sound went through without being held at once (the resampler's
  // own filters take a few MB). The sanitizers keep
  // freed memory back, so their builds cannot tell.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LT(After.ru_maxrss - Before.ru_maxrss, 12 * 1024) << "kB more at the peak";
#endif
  std::filesystem::remove(Out("slow.wav"));

  const std::string Nine = Out("nine.wav");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i \"aevalsrc='0.5*sin(2*PI*1000*t)|0|0|0|0|0|0|0|0':s=48000:d=0.3\" "
                "-c:a pcm_s16le '" +
                Nine + "'"));
  struct Row {
    const char *Target, *Codec;
    int Channels, Expected;  // asked for (-1: the source's), written
  } Rows[] = {{"nine.mp3", "libmp3lame", 2, 2},
              {"nine.m4a", "libfaac", -1, 8},
              {"nine-out.wav", "pcm_s16le", -1, 9},
              {"nine-mono.wav", "pcm_s16le", 1, 1}};
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion Mixed = Convert(Nine, Out(R.Target), Audio(R.Codec, R.Channels));
    ASSERT_TRUE(Mixed.Ran) << Mixed.Error;
    EXPECT_EQ(Number(ProbeFile(Out(R.Target)).Stream("audio"), "channels"), R.Expected);
    const std::vector<double> Levels = ChannelLevels(Out(R.Target));
    ASSERT_EQ(static_cast<int>(Levels.size()), R.Expected);
    EXPECT_GT(*std::max_element(Levels.begin(), Levels.end()), -30) << "the tone is in the mix";
  }
}

}  // namespace
}  // namespace korvane::test
