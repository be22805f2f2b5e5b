// The audio path: channel and rate changes, encoder framing, PCM widths,
// synchronisation with the input clock, volume and unusual layouts.
#include <regex>

#include "ConversionFixture.h"

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
  // 24-bit PCM holds three bytes a sample: one second of 22.05 kHz mono.
  EXPECT_NEAR(static_cast<double>(std::filesystem::file_size(Out("s24.wav"))), 22050 * 3 + 44, 64);
}

TEST_F(AudioPath, FramedEncodersGetWholeFramesFromTheFifo) {
  // MP2 takes 1152 samples a frame: 44100 stereo samples make 38 frames of
  // 4608 bytes; the rest stays in the fifo (MP2 takes no short last frame).
  const TConversion C = Convert(Clips.TenSeconds, Out("framed.mp2"), Audio("mp2", 2, 44100, "t=1"));
  ASSERT_TRUE(C.Ran) << C.Error;
  const TCommandResult Packets = RunCommand(
      "ffprobe -v error -count_packets -show_entries stream=nb_read_packets "
      "-of default=nw=1:nk=1 '" +
      Out("framed.mp2") + "'");
  const int Count = std::atoi(Packets.Output.c_str());
  EXPECT_NEAR(Count, 38, 1);
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

}  // namespace
}  // namespace korvane::test
