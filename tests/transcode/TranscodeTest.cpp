// SPDX-License-Identifier: GPL-3.0-or-later
// Whole conversions of clips made at test time, checked with ffprobe:
// stream copy, transcoding into common containers, missing stream types,
// disabled types, time limits and stream maps.
#include "ConversionFixture.h"

namespace korvane::test {
namespace {

using Conversions = TranscodeTest;

TEST_F(Conversions, StreamCopyRemuxesWithoutTouchingTheStreams) {
  struct Row {
    std::string Source, Target, Extra;
    std::vector<std::string> Codecs;  // by stream, as ffprobe names them
  } Rows[] = {
      {Clips.VideoAudio, "copy.mov", "", {"mpeg4", "aac"}},
      // MP4 takes subtitles only when asked for; Matroska by default.
      {Clips.Subtitled, "remux.mp4", "", {"mpeg4", "mp2"}},
      {Clips.Subtitled, "remux-text.mp4", "scodec=mov_text", {"mpeg4", "mp2", "mov_text"}},
      {Clips.Subtitled, "remux.mkv", "", {"mpeg4", "mp2", "ass"}},
      {Clips.VideoAudio, "copy.mkv", "", {"mpeg4", "aac"}},
      // Copied pictures of a clip shot upright keep the matrix that turns them.
      {Clips.Portrait, "copy-portrait.mp4", "", {"h264", "aac"}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(R.Source, Out(R.Target), [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = "copy";
      O.AudioCodec = "copy";
      O.ExtOptions = R.Extra;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    EXPECT_TRUE(C.Finished);
    const TProbedFile P = ProbeFile(Out(R.Target), true);
    EXPECT_EQ(P.Errors, "");
    ASSERT_EQ(P.Streams.size(), R.Codecs.size());
    for (size_t I = 0; I < R.Codecs.size(); ++I) EXPECT_EQ(P.Streams[I].at("codec_name"), R.Codecs[I]);
    const auto *Video = P.Stream("video");
    EXPECT_EQ(Number(Video, "nb_read_frames"), R.Source == Clips.VideoAudio ? 50 : 25);
    EXPECT_EQ(Number(Video, "side_data_list.side_data.0.rotation"), R.Source == Clips.Portrait ? -90 : -1);
    EXPECT_EQ(DecodeErrors(Out(R.Target)), "");
  }
}

TEST_F(Conversions, TranscodesIntoCommonContainers) {
  struct Row {
    const char *Target, *Video, *Audio;
    const char *VideoName, *AudioName;
    int Width;
  } Rows[] = {
      {"mpeg4-mp3.avi", "mpeg4", "libmp3lame", "mpeg4", "mp3", 320},
      {"h264-aac.mp4", "libx264", "libfaac", "h264", "aac", 320},
      {"mpeg2-ac3.vob", "mpeg2video", "ac3", "mpeg2video", "ac3", 320},
      {"wmv2-wma2.wmv", "wmv2", "wmav2", "wmv2", "wmav2", 320},
      {"flv-mp3.flv", "flv", "libmp3lame", "flv1", "mp3", 320},
      {"small.avi", "mpeg4", "mp2", "mpeg4", "mp2", 176},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const bool Small = std::string(R.Target) == "small.avi";
    const TConversion C = Convert(Clips.VideoAudio, Out(R.Target), [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = R.Video;
      O.AudioCodec = R.Audio;
      O.VideoBitrate = 800000;
      O.AudioBitrate = 128000;
      if (Small) O.FrameSize = "176x144";
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    EXPECT_TRUE(C.Finished);
    const TProbedFile P = ProbeFile(Out(R.Target), true);
    EXPECT_EQ(P.Errors, "");
    ASSERT_EQ(P.Count("video"), 1);
    ASSERT_EQ(P.Count("audio"), 1);
    EXPECT_EQ(P.Stream("video")->at("codec_name"), R.VideoName);
    EXPECT_EQ(P.Stream("audio")->at("codec_name"), R.AudioName);
    EXPECT_EQ(Number(P.Stream("video"), "width"), R.Width);
    EXPECT_NEAR(Number(P.Stream("video"), "nb_read_frames"), 50, 1);
    EXPECT_NEAR(Number(&P.Format, "duration"), 2.0, 0.15);
    EXPECT_GT(C.VideoSize, 0);
    EXPECT_GT(C.AudioSize, 0);
    EXPECT_EQ(DecodeErrors(Out(R.Target)), "");
  }
}

TEST_F(Conversions, AudioOnlyOutputs) {
  struct Row {
    const char *Target, *Codec, *Name;
    int SampleRate;  // 0: the source's
  } Rows[] = {{"audio.mp2", "mp2", "mp2", 0},
              {"audio.wav", "pcm_s16le", "pcm_s16le", 0},
              {"audio.mp3", "libmp3lame", "mp3", 44100},
              {"audio.ogg", "vorbis", "vorbis", 44100},
              {"audio.amr", "libamr_nb", "amr_nb", 8000}};
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(Clips.AudioOnly, Out(R.Target), [&](TInputOptions &, TOutputOptions &O) {
      O.AudioCodec = R.Codec;
      if (R.SampleRate) O.AudioSampleRate = R.SampleRate;
      O.AudioBitrate = 64000;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Out(R.Target));
    EXPECT_EQ(P.Errors, "");
    ASSERT_EQ(P.Streams.size(), 1u);
    EXPECT_EQ(P.Streams[0].at("codec_name"), R.Name);
    EXPECT_EQ(Number(P.Stream("audio"), "sample_rate"), R.SampleRate ? R.SampleRate : 22050);
    EXPECT_EQ(Number(P.Stream("audio"), "channels"), 1);
    EXPECT_NEAR(Number(&P.Format, "duration"), 1.0, 0.1);
  }
}

TEST_F(Conversions, OnlyTheStreamTypesThatExistOrAreWantedAreCreated) {
  struct Row {
    std::string Source;
    const char *Extra;
    int Video, Audio;
  } Rows[] = {{Clips.VideoOnly, "", 1, 0},
              {Clips.AudioOnly, "", 0, 1},
              {Clips.VideoAudio, "an", 1, 0},
              {Clips.VideoAudio, "vn", 0, 1},
              {Clips.VideoAudio, "", 1, 1}};
  int N = 0;
  for (const Row &R : Rows) {
    const std::string Target = Out("types-" + std::to_string(N++) + ".avi");
    SCOPED_TRACE(Target + " " + R.Extra);
    const TConversion C = Convert(R.Source, Target, [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = "mpeg4";
      O.AudioCodec = "mp2";
      O.ExtOptions = R.Extra;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    EXPECT_EQ(P.Count("video"), R.Video);
    EXPECT_EQ(P.Count("audio"), R.Audio);
    EXPECT_EQ(P.Errors, "");
  }
  // A disabled type through the record too.
  const TConversion C = Convert(Clips.VideoAudio, Out("no-audio.avi"),
                                [](TInputOptions &, TOutputOptions &O) { O.AudioDisable = true; });
  ASSERT_TRUE(C.Ran) << C.Error;
  EXPECT_EQ(ProbeFile(Out("no-audio.avi")).Count("audio"), 0);
}

TEST_F(Conversions, TimeLimitAndStartPosition) {
  const TConversion Limited = Convert(Clips.TenSeconds, Out("three.avi"),
                                      [](TInputOptions &, TOutputOptions &O) { O.ExtOptions = "t=3"; });
  ASSERT_TRUE(Limited.Ran) << Limited.Error;
  const TProbedFile P = ProbeFile(Out("three.avi"), true);
  EXPECT_NEAR(Number(&P.Format, "duration"), 3.0, 0.15);
  EXPECT_NEAR(Number(P.Stream("video"), "nb_read_frames"), 75, 2);

  const TConversion Started = Convert(Clips.TenSeconds, Out("late.avi"),
                                      [](TInputOptions &I, TOutputOptions &) { I.StartTime = 8000; });
  ASSERT_TRUE(Started.Ran) << Started.Error;
  EXPECT_NEAR(Number(ProbeFile(Out("late.avi"), true).Stream("video"), "nb_read_frames"), 50, 3);
}

TEST_F(Conversions, StreamMapsChooseTheSourcesOrFailWithTheirMessage) {
  struct Row {
    const char *Maps;
    std::string Error;
  } Rows[] = {
      {"map=0.0\nmap=0.1", ""},
      {"map=0.0:0.1\nmap=0.1", ""},
      {"map=0.1\nmap=0.0", "Codec type mismatch for mapping #0.1 -> #0.0"},
      {"map=0.0", "Number of stream maps must match number of output streams"},
      {"map=0.5\nmap=0.1", "Could not find input stream #0.5"},
      {"map=1.0\nmap=0.1", "Could not find input stream #1.0"},
      {"map=0.0:0.7\nmap=0.1", "Could not find sync stream #0.7"},
  };
  int N = 0;
  for (const Row &R : Rows) {
    const std::string Target = Out("mapped-" + std::to_string(N++) + ".avi");
    SCOPED_TRACE(R.Maps);
    const TConversion C = Convert(Clips.VideoAudio, Target, [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = "mpeg4";
      O.AudioCodec = "mp2";
      O.ExtOptions = R.Maps;
    });
    EXPECT_EQ(C.Error, R.Error);
    EXPECT_EQ(C.Ran, R.Error.empty());
    if (R.Error.empty()) {
      EXPECT_TRUE(C.Logged("Stream mapping:"));
      EXPECT_TRUE(C.Logged("  Stream #0.0 -> #0.0"));
      EXPECT_TRUE(C.Logged("  Stream #0.1 -> #0.1"));
    } else {
      EXPECT_FALSE(std::filesystem::exists(Target)) << "a failed run leaves no output";
    }
  }
}

TEST_F(Conversions, TwoPassStatisticsFiles) {
  const std::string Stats = Out("stats");
  const TConversion First =
      Convert(Clips.VideoAudio, Out("pass1.avi"), [&](TInputOptions &, TOutputOptions &O) {
        O.VideoCodec = "mpeg4";
        O.ExtOptions = "pass=1\npasslogfile=" + Stats;
      });
  ASSERT_TRUE(First.Ran) << First.Error;
  EXPECT_GT(ReadFile(Stats + "-0.log").size(), 100u);
  const TConversion Second =
      Convert(Clips.VideoAudio, Out("pass2.avi"), [&](TInputOptions &, TOutputOptions &O) {
        O.VideoCodec = "mpeg4";
        O.VideoBitrate = 300000;
        O.ExtOptions = "pass=2\npasslogfile=" + Stats;
      });
  ASSERT_TRUE(Second.Ran) << Second.Error;
  EXPECT_EQ(ProbeFile(Out("pass2.avi")).Errors, "");

  const TConversion Missing =
      Convert(Clips.VideoAudio, Out("pass2b.avi"), [&](TInputOptions &, TOutputOptions &O) {
        O.VideoCodec = "mpeg4";
        O.ExtOptions = "pass=2\npasslogfile=" + Out("none");
      });
  EXPECT_EQ(Missing.Error, "creat open fail: " + Out("none") + "-0.log");
}

}  // namespace
}  // namespace korvane::test
