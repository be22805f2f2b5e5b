// SPDX-License-Identifier: GPL-3.0-or-later
// Disc target presets: the resulting state for each norm, the "auto" norm
// decision and its message, and the failures.
#include "TaskFixture.h"

namespace korvane::test {
namespace {

using TargetPresets = TaskTest;

TEST_F(TargetPresets, EachPresetAndNormSetsItsState) {
  const int64_t Unchanged = CodecInt(AVMEDIA_TYPE_VIDEO, "b");  // the holders' default
  struct Row {
    const char *Target;
    const char *Format, *Video, *Audio;
    int Width, Height, RateNum, RateDen;
    int64_t Gop, BitRate, AudioBitRate;
    int SampleRate;
    float Aspect, Preload;
    int PixFmt;
    const char *MuxRate;  // "" when the preset sets none
  } Rows[] = {
      {"pal-vcd", "vcd", "mpeg1video", "mp2", 352, 288, 25, 1, 15, 1150000, 224000, 44100, 4.0f / 3, 0.44f,
       -1, "1411200"},
      {"ntsc-vcd", "vcd", "mpeg1video", "mp2", 352, 240, 30000, 1001, 18, 1150000, 224000, 44100, 4.0f / 3,
       0.44f, -1, "1411200"},
      {"pal-svcd", "svcd", "mpeg2video", "mp2", 480, 576, 25, 1, 15, 2040000, 224000, 44100, 4.0f / 3, 0.5f,
       -1, ""},
      {"ntsc-svcd", "svcd", "mpeg2video", "mp2", 480, 480, 30000, 1001, 18, 2040000, 224000, 44100, 4.0f / 3,
       0.5f, -1, ""},
      {"pal-dvd", "dvd", "mpeg2video", "ac3", 720, 576, 25, 1, 15, 6000000, 448000, 48000, 16.0f / 9, 0.5f,
       -1, "10080000"},
      {"film-dvd", "dvd", "mpeg2video", "ac3", 720, 480, 24000, 1001, 18, 6000000, 448000, 48000, 16.0f / 9,
       0.5f, -1, "10080000"},
      {"pal-dv", "dv", "", "", 720, 576, 25, 1, 12, Unchanged, Unchanged, 48000, 0, 0.5f, AV_PIX_FMT_YUV420P,
       ""},
      {"ntsc-dv", "dv", "", "", 720, 480, 30000, 1001, 12, Unchanged, Unchanged, 48000, 0, 0.5f,
       AV_PIX_FMT_YUV411P, ""},
      {"ntsc-dv50", "dv", "", "", 720, 480, 30000, 1001, 12, Unchanged, Unchanged, 48000, 0, 0.5f,
       AV_PIX_FMT_YUV422P, ""},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    Task.PrepareOptions();
    Logged.clear();
    Task.SetOption("target", R.Target);
    EXPECT_STREQ(S().FOutputFormat->name, R.Format);
    EXPECT_EQ(S().FVideoCodecName, R.Video);
    EXPECT_EQ(S().FAudioCodecName, R.Audio);
    EXPECT_EQ(S().FFrameWidth, R.Width);
    EXPECT_EQ(S().FFrameHeight, R.Height);
    EXPECT_EQ(S().FFrameRate.num, R.RateNum);
    EXPECT_EQ(S().FFrameRate.den, R.RateDen);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), R.Gop);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), R.BitRate);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), R.AudioBitRate);
    EXPECT_EQ(S().FAudioSampleRate, R.SampleRate);
    EXPECT_EQ(S().FAudioChannels, 2);
    EXPECT_FLOAT_EQ(S().FFrameAspectRatio, R.Aspect);
    EXPECT_FLOAT_EQ(S().FMuxPreload, R.Preload);
    EXPECT_EQ(S().FFramePixFmt, R.PixFmt);
    const auto MuxRate = S().FFormatPrivateOptions.find("muxrate");
    EXPECT_EQ(MuxRate == S().FFormatPrivateOptions.end() ? "" : MuxRate->second, R.MuxRate);
    EXPECT_TRUE(Logged.empty()) << "a named norm is not announced";
  }
  Task.PrepareOptions();
  Task.SetOption("target", "ntsc-svcd");
  EXPECT_EQ(S().FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO].at("scan_offset"), "1");
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "minrate"), 0);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "maxrate"), 2516000);
  EXPECT_EQ(S().FFormatOptions->packet_size, 2324u);
}

TEST_F(TargetPresets, AutoNormFollowsTheFrameRateThenTheFallback) {
  struct Row {
    const char *Rate;
    int FallbackNorm;  // of the output record
    int Height;
    const char *Announced;
  } Rows[] = {{"25", tnPAL, 576, "Assuming PAL for target."},
              {"30000/1001", tnPAL, 480, "Assuming NTSC for target."},
              {"24000/1001", tnPAL, 480, "Assuming NTSC for target."},
              {"50", tnPAL, 576, "Assuming PAL for target."},
              {"50", tnNTSC, 480, "Assuming NTSC for target."},
              {"15", 7, 480, "Assuming NTSC for target."}};
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Rate) + " fallback " + std::to_string(R.FallbackNorm));
    Task.PrepareOptions();
    Logged.clear();
    TOutputOptions Output;
    Output.FrameRate = R.Rate;
    Output.Target = ttDVD;
    Output.TargetNorm = tnAuto;
    Output.TargetFallbackNorm = R.FallbackNorm;
    Task.ApplyOutputOptions(Output);
    EXPECT_EQ(S().FFrameHeight, R.Height);
    EXPECT_EQ(Logged, std::vector<std::string>{R.Announced});
  }
  // The option's fallback is NTSC; with verbosity 0 nothing is announced.
  Task.PrepareOptions();
  S().FVerbose = 0;
  Logged.clear();
  Task.SetOption("r", "50");
  Task.SetOption("target", "vcd");
  EXPECT_EQ(S().FFrameHeight, 240);
  EXPECT_TRUE(Logged.empty());
}

TEST_F(TargetPresets, ChannelsBecomeStereoWhereTheFormatNeedsIt) {
  struct Row {
    const char *Target;
    int Before, After;
  } Rows[] = {{"pal-vcd", 6, 2}, {"pal-vcd", 1, 2}, {"pal-svcd", 1, 2}, {"pal-svcd", 6, 6},
              {"pal-dvd", 1, 2}, {"pal-dvd", 6, 6}, {"pal-dv", 6, 2}};
  for (const Row &R : Rows) {
    Task.PrepareOptions();
    S().FAudioChannels = R.Before;
    Task.SetOption("target", R.Target);
    EXPECT_EQ(S().FAudioChannels, R.After) << R.Target << " from " << R.Before;
  }
}

TEST_F(TargetPresets, AspectAlreadyChosenIsKept) {
  Task.SetOption("aspect", "2.35");
  Task.SetOption("target", "pal-dvd");
  EXPECT_FLOAT_EQ(S().FFrameAspectRatio, 2.35f);
}

TEST_F(TargetPresets, Failures) {
  EXPECT_EQ(Error("target", "vcd"), "frame_rate is invalid.");
  EXPECT_EQ(Error("target", "pal-foo"), "Unknown target type");
  EXPECT_EQ(Error("target", "foo"), "frame_rate is invalid.") << "the norm is decided first";
  Task.SetOption("r", "25");
  EXPECT_EQ(Error("target", "foo"), "Unknown target type");
  EXPECT_EQ(Error("target", "PAL-dvd"), "Unknown target type") << "prefixes are lower case";
}

TEST_F(TargetPresets, PresetOverridesTheRecordsOwnFields) {
  TOutputOptions Output;
  Output.VideoCodec = "mpeg4";
  Output.FrameSize = "640x480";
  Output.FrameRate = "15";
  Output.VideoBitrate = 500000;
  Output.Target = ttVCD;
  Output.TargetNorm = tnPAL;
  Task.ApplyOutputOptions(Output);
  EXPECT_EQ(S().FVideoCodecName, "mpeg1video");
  EXPECT_EQ(S().FFrameWidth, 352);
  EXPECT_EQ(S().FFrameRate.num, 25);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 1150000);
}

}  // namespace
}  // namespace korvane::test
