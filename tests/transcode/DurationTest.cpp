// SPDX-License-Identifier: GPL-3.0-or-later
// A 10 s clip through the common profiles' codecs keeps its length: audio and
// video end within one frame of the source and of each other.
#include "ConversionFixture.h"

namespace korvane::test {
namespace {

using Durations = TranscodeTest;

TEST_F(Durations, AudioAndVideoKeepTheSourceLength) {
  const TStreamSpan SourceVideo = StreamSpan(Clips.TenSeconds, "video");
  const TStreamSpan SourceAudio = StreamSpan(Clips.TenSeconds, "audio");
  const double SourceVideoLength = SourceVideo.End - SourceVideo.Start;
  const double SourceAudioLength = SourceAudio.End - SourceAudio.Start;
  struct Row {
    const char *Target, *Video, *Audio;
    double AudioFrame;  // seconds of one audio frame of the encoder
  } Rows[] = {
      {"long.avi", "mpeg4", "libmp3lame", 1152.0 / 44100}, {"long.mp4", "libx264", "libfaac", 1024.0 / 44100},
      {"long.vob", "mpeg2video", "ac3", 1536.0 / 48000},   {"long.wmv", "wmv2", "wmav2", 2048.0 / 44100},
      {"long.flv", "flv", "libmp3lame", 1152.0 / 44100},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(Clips.TenSeconds, Out(R.Target), [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = R.Video;
      O.AudioCodec = R.Audio;
      O.VideoBitrate = 800000;
      O.AudioBitrate = 128000;
      if (std::string(R.Audio) == "ac3") O.AudioSampleRate = 48000;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    ASSERT_EQ(ProbeFile(Out(R.Target)).Errors, "");
    const TStreamSpan Video = StreamSpan(Out(R.Target), "video");
    const TStreamSpan Audio = StreamSpan(Out(R.Target), "audio");
    const double VideoLength = Video.End - Video.Start, AudioLength = Audio.End - Audio.Start;
    EXPECT_NEAR(VideoLength, SourceVideoLength, 0.04 + 1e-6);
    EXPECT_NEAR(AudioLength, SourceAudioLength, R.AudioFrame + 1e-6);
    // The last audio frame is filled up with silence: it may reach past the pictures.
    EXPECT_LT(std::abs(Audio.End - Video.End), 0.04 + R.AudioFrame)
        << "audio ends " << Audio.End << ", video " << Video.End;
  }
}

// A decoder that holds frames back (FLAC decodes on several threads) gives
// each out packets after the one that carried it: the sound still starts
// when the source's does, with the encoder's priming left to the container
// (an MP4 edit list, Opus's pre-skip), so a click at 1 s plays at 1 s.
TEST_F(Durations, SoundStartsWhenTheSourcesDoes) {
  const std::string Flac = Out("click.flac");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i \"aevalsrc='if(between(t,1,1.001),0.9,0)':s=44100:d=3\" -c:a flac '" +
                        Flac + "'"));
  struct Row {
    const char *Target, *Codec;
  } Rows[] = {{"click.m4a", "libfaac"}, {"click.opus", "libopus"}, {"click.mka", "libvorbis"}};
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(Flac, Out(R.Target), [&](TInputOptions &, TOutputOptions &O) {
      O.AudioCodec = R.Codec;
      O.AudioSampleRate = 48000;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Out(R.Target));
    ASSERT_NE(P.Stream("audio"), nullptr);
    EXPECT_NEAR(std::stod(P.Stream("audio")->at("start_time")), 0.0, 0.002);
  }
}

}  // namespace
}  // namespace korvane::test
