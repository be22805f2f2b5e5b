// SPDX-License-Identifier: GPL-3.0-or-later
// How a run behaves around its edges: stopping, bad sources, failing
// writes, progress reports and statistics files.
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <fstream>
#include <vector>

#include "ConversionFixture.h"
#include "MediaMutations.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

using RunBehaviour = TranscodeTest;

void MpegFourAvi(TInputOptions &, TOutputOptions &O) {
  O.VideoCodec = "mpeg4";
  O.AudioCodec = "libmp3lame";
}

TEST_F(RunBehaviour, StoppedRunStillLeavesAPlayableFile) {
  const TConversion C =
      Convert(Clips.TenSeconds, Out("stopped.avi"), MpegFourAvi, [](TFFmpeg &Task, TConversion &) {
        Task.FProgressIntervalUS = 0;
        Task.FOnProgress = [](TCustomFFmpeg &T, const TProgressInfo &Info) {
          if (Info.FrameNumber >= 40) T.FStopRequested = true;
        };
      });
  ASSERT_TRUE(C.Ran) << C.Error;
  EXPECT_FALSE(C.Finished);
  const TProbedFile P = ProbeFile(Out("stopped.avi"), true);
  EXPECT_EQ(P.Errors, "");
  EXPECT_EQ(DecodeErrors(Out("stopped.avi")), "");
  const double Frames = Number(P.Stream("video"), "nb_read_frames");
  EXPECT_GE(Frames, 40);
  EXPECT_LT(Frames, 100);
}

TEST_F(RunBehaviour, ProgressReportsCarryTheRunsFigures) {
  const TConversion C =
      Convert(Clips.TenSeconds, Out("progress.avi"), MpegFourAvi, [](TFFmpeg &Task, TConversion &R) {
        Task.FProgressIntervalUS = 0;
        Task.FOnProgress = [&R](TCustomFFmpeg &, const TProgressInfo &Info) { R.Progress.push_back(Info); };
      });
  ASSERT_TRUE(C.Ran) << C.Error;
  ASSERT_GT(C.Progress.size(), 10u);
  // The source leaves out its second picture: the first fills two slots.
  EXPECT_EQ(C.Progress.front().FrameNumber, 2) << "no report before the first coded frame";
  for (size_t I = 1; I < C.Progress.size(); ++I) {
    EXPECT_GE(C.Progress[I].FrameNumber, C.Progress[I - 1].FrameNumber);
    EXPECT_GE(C.Progress[I].CurrentSize, C.Progress[I - 1].CurrentSize);
  }
  const TProgressInfo &Last = C.Progress.back();
  EXPECT_EQ(Last.FrameNumber, 251) << "250 pictures over 251 frame slots";
  EXPECT_NEAR(Last.CurrentDuration, 10000, 100);
  EXPECT_NEAR(Last.TotalOutputDuration, 10000, 100) << "the source's duration";
  EXPECT_GT(Last.Quality, 0);
  EXPECT_GT(Last.BitRate, 0);
  EXPECT_EQ(Last.CurrentSize, static_cast<int64_t>(std::filesystem::file_size(Out("progress.avi"))));
  // With the progress callback connected no status line is logged, but the summary is.
  for (const std::string &Line : C.Log) EXPECT_EQ(Line.find("frame="), std::string::npos) << Line;
  ASSERT_FALSE(C.Log.empty());
  EXPECT_EQ(C.Log.back().rfind("video:", 0), 0u) << C.Log.back();
  EXPECT_NE(C.Log.back().find("kB audio:"), std::string::npos);
  EXPECT_NE(C.Log.back().find("% \r\n") == std::string::npos ? C.Log.back().find("%\r\n") : 0,
            std::string::npos);

  // H.264 holds pictures back in its look-ahead: the time reported still
  // follows the pictures given to it, so a row's percentage agrees with its
  // frame count rather than lag it by the look-ahead.
  const TConversion Held = Convert(
      Clips.TenSeconds, Out("progress.mp4"),
      [](TInputOptions &, TOutputOptions &O) {
        O.VideoCodec = "libx264";
        O.AudioDisable = true;
      },
      [](TFFmpeg &Task, TConversion &R) {
        Task.FProgressIntervalUS = 0;
        Task.FOnProgress = [&R](TCustomFFmpeg &, const TProgressInfo &Info) { R.Progress.push_back(Info); };
      });
  ASSERT_TRUE(Held.Ran) << Held.Error;
  for (const TProgressInfo &Info : Held.Progress)
    EXPECT_NEAR(Info.CurrentDuration, Info.FrameNumber * 40, 80) << "frame " << Info.FrameNumber;

  const TConversion Audio =
      Convert(Clips.AudioOnly, Out("progress.mp2"), {}, [](TFFmpeg &Task, TConversion &R) {
        Task.FProgressIntervalUS = 0;
        Task.FOnProgress = [&R](TCustomFFmpeg &, const TProgressInfo &Info) { R.Progress.push_back(Info); };
      });
  ASSERT_TRUE(Audio.Ran) << Audio.Error;
  ASSERT_FALSE(Audio.Progress.empty());
  EXPECT_EQ(Audio.Progress.back().FrameNumber, -1);
  EXPECT_EQ(Audio.Progress.back().FPS, -1);
  EXPECT_EQ(Audio.Progress.back().Quality, -1.0f);
  EXPECT_NEAR(Audio.Progress.back().CurrentDuration, 1000, 60) << "from the audio stream's time";

  // A subtitle track that ends after half a second does not hold the
  // progress of a 4 s film there.
  const std::string Subtitles = Out("early.srt"), Film = Out("early-subtitles.mkv");
  WriteFile(Subtitles, "1\n00:00:00,000 --> 00:00:00,500\nHello\n");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -f lavfi -i sine=duration=4 -i '" +
                Subtitles + "' -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt '" + Film + "'"));
  const TConversion Tracks = Convert(
      Film, Out("early-subtitles-out.mkv"), Lines("", "every_track"), [](TFFmpeg &Task, TConversion &R) {
        Task.FProgressIntervalUS = 0;
        Task.FOnProgress = [&R](TCustomFFmpeg &, const TProgressInfo &Info) { R.Progress.push_back(Info); };
      });
  ASSERT_TRUE(Tracks.Ran) << Tracks.Error;
  ASSERT_FALSE(Tracks.Progress.empty());
  EXPECT_NEAR(Tracks.Progress.back().CurrentDuration, 4000, 100);
}

TEST_F(RunBehaviour, StatusLinesWithoutAProgressCallback) {
  const TConversion C = Convert(Clips.VideoAudio, Out("status.avi"), MpegFourAvi,
                                [](TFFmpeg &Task, TConversion &) { Task.FProgressIntervalUS = 0; });
  ASSERT_TRUE(C.Ran) << C.Error;
  std::vector<std::string> Status;
  for (const std::string &Line : C.Log)
    if (Line.rfind("frame=", 0) == 0) Status.push_back(Line);
  ASSERT_FALSE(Status.empty());
  EXPECT_NE(Status.back().find("frame=   50 "), std::string::npos) << Status.back();
  EXPECT_NE(Status.back().find(" L"), std::string::npos) << "the last report is marked";
  EXPECT_NE(Status.back().find("size="), std::string::npos);
  EXPECT_NE(Status.back().find("bitrate="), std::string::npos);
}

TEST_F(RunBehaviour, VideoStatisticsFileHasALinePerFrame) {
  const std::string Stats = Out("vstats.log");
  const TConversion C =
      Convert(Clips.VideoAudio, Out("vstats.avi"), [&](TInputOptions &I, TOutputOptions &O) {
        MpegFourAvi(I, O);
        O.ExtOptions = "vstats_file=" + Stats;
      });
  ASSERT_TRUE(C.Ran) << C.Error;
  std::ifstream File(Stats);
  int Lines = 0;
  for (std::string Line; std::getline(File, Line); ++Lines) {
    EXPECT_EQ(Line.rfind("frame= ", 0), 0u) << Line;
    EXPECT_NE(Line.find(" type= "), std::string::npos) << Line;
  }
  EXPECT_EQ(Lines, 50);
}

// A finished run whose picture or sound falls short of the length its
// source declares is told apart from a whole one: the file keeps what could
// be read, and the run says how much that was. Streams that differ in
// length by their nature, and the limits the options set, are no shortfall.
TEST_F(RunBehaviour, ASourceCutShortConvertsWhatItHasAndSaysSo) {
  const std::string Avi = Out("truncated.avi"), Mkv = Out("thirty.mkv"), Mp4 = Out("six.mp4");
  const std::string Whole = ReadFile(Clips.TenSeconds);
  WriteFile(Avi, Whole.substr(0, Whole.size() * 4 / 10));
  ASSERT_TRUE(RunFFmpeg("-i '" + Clips.LongHD + "' -c copy '" + Mkv + "'"));
  TruncatedCopy(Mkv, 300000, Out("thirty-cut.mkv"));
  // Six seconds with the index in front (as phones write it), cut after 40%.
  ASSERT_TRUE(RunFFmpeg(
      "-f lavfi -i testsrc2=size=320x240:rate=25:duration=6 -f lavfi -i sine=duration=6 -c:v libx264 "
      "-preset ultrafast -c:a aac -movflags +faststart '" +
      Mp4 + "'"));
  TruncatedCopy(Mp4, fs::file_size(Mp4) * 4 / 10, Out("six-cut.mp4"));
  // The picture's chunk offsets after the third point into the header: the
  // sound is whole, the picture is not.
  ASSERT_TRUE(RunFFmpeg(
      "-f lavfi -i testsrc2=size=320x240:rate=25:duration=3 -f lavfi -i sine=duration=3 -c:v libx264 "
      "-preset ultrafast -c:a aac -movflags +faststart '" +
      Out("three.mp4") + "'"));
  const std::string Three = ReadFile(Out("three.mp4"));
  const size_t Table = Three.find("stco");  // the picture's table comes first
  ASSERT_NE(Table, std::string::npos);
  const auto Byte = [&](size_t I) { return static_cast<size_t>(static_cast<unsigned char>(Three[I])); };
  const size_t Count = Byte(Table + 10) << 8 | Byte(Table + 11);
  ASSERT_GT(Count, 10u);
  std::string Bad;
  for (size_t I = 3; I < Count; ++I) Bad += std::string("\0\0\x03", 3) + static_cast<char>(I);
  PatchedCopy(Out("three.mp4"), Table + 12 + 3 * 4, Bad, Out("bad-offsets.mp4"));
  // An MPEG-TS whose programme declares a sound track that never comes,
  // before the one that does; an MKV whose first subtitle is shown 2 s
  // before its film starts.
  ASSERT_TRUE(RunFFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i sine=duration=3 -f lavfi -i "
      "sine=duration=3:frequency=300 -map 0 -map 2 -map 1 -c:v mpeg2video -c:a mp2 -frames:a:0 0 '" +
      Out("empty-track.ts") + "'"));
  WriteFile(Out("early.srt"),
            "1\n00:00:00,000 --> 00:00:00,500\nEarly\n\n2\n00:00:03,000 --> 00:00:03,500\nLate\n");
  ASSERT_TRUE(RunFFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i sine=duration=3 -itsoffset -2 -i '" +
      Out("early.srt") + "' -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt '" + Out("early-subtitle.mkv") +
      "'"));
  // And one whose last subtitle is shown 2 s after its film has ended: the
  // file lasts 5.5 s, its film 3 s.
  WriteFile(Out("late.srt"),
            "1\n00:00:00,500 --> 00:00:01,000\nOn\n\n2\n00:00:05,000 --> 00:00:05,500\nAfter\n");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i sine=duration=3 -i '" +
                Out("late.srt") + "' -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt '" +
                Out("late-subtitle.mkv") + "'"));

  const TConfigure Mpeg4 = [](TInputOptions &, TOutputOptions &O) {
    O.VideoCodec = "mpeg4";
    O.AudioCodec = "mp2";
  };
  struct Row {
    std::string What, Source, Target;
    TConfigure Configure;
    std::string Shortfall;  // how it begins and ends, or empty for a whole output
    std::string Ending;
  } Rows[] = {
      // The AVI reader measures a file without its index by what it holds.
      {"an AVI cut after 40%", Avi, Out("from-truncated.mkv"), Mpeg4, "", ""},
      {"the first 300 KB of a 30 s MKV", Out("thirty-cut.mkv"), Out("thirty-cut.avi"), Mpeg4, "only ",
       "of 30.0 s could be read; the source is cut short"},
      {"an MP4 cut after its index", Out("six-cut.mp4"), Out("six-cut.mkv"), Mpeg4, "only ",
       "of 6.0 s could be read; the source is cut short"},
      {"an MP4 with its picture's offsets damaged", Out("bad-offsets.mp4"), Out("bad-offsets.mkv"), Mpeg4,
       "only 0.", "of 3.0 s of the picture could be read; the rest of it is damaged"},
      {"a whole file", Clips.TenSeconds, Out("whole.mkv"), Mpeg4, "", ""},
      {"a time limit", Clips.TenSeconds, Out("limited.mkv"), Lines("", "t=3"), "", ""},
      {"a start", Clips.TenSeconds, Out("started.mkv"), Lines("ss=8", ""), "", ""},
      {"subtitles that end early", Clips.Subtitled, Out("subtitled.mkv"), Lines("", "every_track"), "", ""},
      {"a shot upright on a phone", Clips.Portrait, Out("portrait.mp4"), {}, "", ""},
      // A track that never came is empty, not short; a subtitle before the
      // film does not make the film longer.
      {"a track that never comes, every track", Out("empty-track.ts"), Out("empty-track.mkv"),
       Lines("", "every_track"), "", ""},
      {"a track that never comes, one per type", Out("empty-track.ts"), Out("empty-track.avi"), Mpeg4, "",
       ""},
      {"a subtitle shown before the film", Out("early-subtitle.mkv"), Out("early-subtitle.avi"), Mpeg4, "",
       ""},
      {"a subtitle shown after the film", Out("late-subtitle.mkv"), Out("late-subtitle-kept.mkv"),
       Lines("", "every_track"), "", ""},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.What);
    const TConversion C = Convert(R.Source, R.Target, R.Configure);
    ASSERT_TRUE(C.Ran) << C.Error;
    EXPECT_TRUE(C.Finished);
    EXPECT_EQ(C.Shortfall.substr(0, R.Shortfall.size()), R.Shortfall) << C.Shortfall;
    EXPECT_TRUE(C.Shortfall.ends_with(R.Ending)) << C.Shortfall;
    EXPECT_EQ(C.Shortfall.empty(), R.Shortfall.empty()) << C.Shortfall;
    EXPECT_EQ(ProbeFile(R.Target, true).Errors, "");
  }
  // The sound behind the damaged picture is read to its end.
  const TStreamSpan Sound = StreamSpan(Out("bad-offsets.mkv"), "audio");
  EXPECT_NEAR(Sound.End - Sound.Start, 3.0, 0.1);
  // The track that never came is not written; the sound there is is.
  for (const char *Made : {"empty-track.mkv", "empty-track.avi"}) {
    EXPECT_EQ(ProbeFile(Out(Made)).Count("audio"), 1) << Made;
    const TStreamSpan Heard = StreamSpan(Out(Made), "audio");
    EXPECT_NEAR(Heard.End - Heard.Start, 3.0, 0.1) << Made;
  }
}

TEST_F(RunBehaviour, UndecodablePacketIsLoggedAndTheRunGoesOn) {
  // Raw pictures of 32x32 whose last piece is too short for a picture.
  const std::string Source = Out("frames.yuv");
  WriteFile(Source, std::string(1536 * 5, '\x80') + std::string(100, '\x10'));
  const TConversion C = Convert(Source, Out("from-raw.avi"), [](TInputOptions &I, TOutputOptions &O) {
    I.FileFormat = "rawvideo";
    I.ExtOptions = "s=32x32\npix_fmt=yuv420p\nr=25";
    O.VideoCodec = "mpeg4";
  });
  ASSERT_TRUE(C.Ran) << C.Error;
  EXPECT_TRUE(C.Logged("Error while decoding stream #0.0"));
  EXPECT_EQ(Number(ProbeFile(Out("from-raw.avi"), true).Stream("video"), "nb_read_frames"), 5);
}

// The byte offsets of the times (four bytes each) of the video tags of an
// FLV file.
std::vector<size_t> VideoTagTimes(const std::string &Data) {
  std::vector<size_t> Times;
  size_t At = 13;  // the header and the size of the tag before the first
  while (At + 11 <= Data.size()) {
    const auto Byte = [&](size_t I) { return static_cast<size_t>(static_cast<unsigned char>(Data[At + I])); };
    if (Byte(0) == 9) Times.push_back(At + 4);
    At += 11 + (Byte(1) << 16 | Byte(2) << 8 | Byte(3)) + 4;
  }
  if (Times.empty()) throw std::runtime_error("no video tag");
  return Times;
}

TEST_F(RunBehaviour, TimestampsThatJumpOrRepeatNeitherHangNorFail) {
  // One second of FLV whose first picture claims to come 49 days late
  // (timestamp 0xFEFFFFFF ms); the other packets are as they were.
  const std::string Flv = Out("late-first.flv");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 -c:v flv1 "
                "-c:a libmp3lame '" +
                Flv + "'"));
  PatchedCopy(Flv, VideoTagTimes(ReadFile(Flv))[0], "\xFF\xFF\xFF\xFE", Flv);
  // A phone's variable rate: a second at 30 pictures a second, then one at
  // 15 (as in low light); the eleventh picture at the time of the tenth,
  // and the twenty-first a moment before the twentieth.
  const std::string Phone = Out("phone.flv");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=30 -f lavfi -i sine=duration=2 -frames:v 45 -vf "
                "\"settb=1/1000,setpts='if(lt(N\\,30)\\,N/30\\,1+(N-30)/15)/TB'\" -fps_mode passthrough "
                "-enc_time_base:v 1/1000 -c:v flv1 -c:a pcm_s16le -ar 44100 '" +
                Phone + "'"));
  {
    std::string Data = ReadFile(Phone);
    const std::vector<size_t> Times = VideoTagTimes(Data);
    ASSERT_GT(Times.size(), 20u);
    // A tag's time: 24 bits of milliseconds, then 8 more above them.
    const auto TimeAt = [&](size_t At) {
      const auto Byte = [&](size_t I) {
        return static_cast<uint32_t>(static_cast<unsigned char>(Data[At + I]));
      };
      return Byte(3) << 24 | Byte(0) << 16 | Byte(1) << 8 | Byte(2);
    };
    const auto SetTime = [&](size_t At, uint32_t Time) {
      Data.replace(At, 4,
                   {static_cast<char>(Time >> 16), static_cast<char>(Time >> 8), static_cast<char>(Time),
                    static_cast<char>(Time >> 24)});
    };
    SetTime(Times[10], TimeAt(Times[9]));
    SetTime(Times[20], TimeAt(Times[19]) - 1);
    WriteFile(Phone, Data);
  }
  struct Row {
    std::string Source, Target;
    double LongestDuration;  // a forward jump is closed, not filled
    int FewestFrames;
    int SyncMethod;  // 2: each picture at its own time, as the modern profiles keep a variable rate
    const char *Codec = "mpeg4";
  } Rows[] = {
      {Clips.TimestampJumps, "jumps.avi", 10, 70, -1},
      {Clips.TimestampJumps, "jumps.mkv", 10, 70, -1},
      {Flv, "late-first.mp4", 1.2, 25, -1},
      {Phone, "phone.avi", 2.2, 40, -1},
      {Phone, "phone.mp4", 2.2, 40, 2},
      {Phone, "phone.mkv", 2.2, 40, 2},
      {Phone, "phone-copy.mkv", 2.2, 40, -1, "copy"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(R.Source, Out(R.Target), [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = R.Codec;
      O.AudioCodec = "mp2";
      O.VideoSyncMethod = R.SyncMethod;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Out(R.Target), true);
    EXPECT_EQ(P.Errors, "");
    EXPECT_LT(Number(&P.Format, "duration"), R.LongestDuration);
    EXPECT_GE(Number(P.Stream("video"), "nb_read_frames"), R.FewestFrames);
    // The pictures' times rise strictly, however the source's went; made
    // anew, they decode as they are timed (a copy keeps the source's times,
    // only moved on where they would repeat or go back).
    EXPECT_EQ(PictureTimeFaults(Out(R.Target)), "");
    EXPECT_EQ(R.Codec == std::string("copy") ? "" : DecodeErrors(Out(R.Target)), "");
  }
}

TEST_F(RunBehaviour, FailedWriteRaisesAndLeavesNoOutput) {
  // The file may grow to 64 kB only; beyond that every write fails.
  signal(SIGXFSZ, SIG_IGN);
  rlimit Limit{};
  getrlimit(RLIMIT_FSIZE, &Limit);
  const rlimit Saved = Limit;
  Limit.rlim_cur = 64 * 1024;
  setrlimit(RLIMIT_FSIZE, &Limit);
  const TConversion C = Convert(Clips.TenSeconds, Out("too-big.avi"), MpegFourAvi);
  setrlimit(RLIMIT_FSIZE, &Saved);
  EXPECT_FALSE(C.Ran);
  EXPECT_EQ(C.Error, "av_interleaved_write_frame(): Error while opening file (File too large)");
  EXPECT_FALSE(std::filesystem::exists(Out("too-big.avi")));
}

TEST_F(RunBehaviour, OutputsThatStayEmptyAreDeletedAndSourcesAreNeverOverwritten) {
  // A run that fails before writing anything leaves no file.
  const TConversion Failed =
      Convert(Clips.VideoAudio, Out("empty.avi"), [](TInputOptions &, TOutputOptions &O) {
        O.VideoCodec = "mpeg4";
        O.ExtOptions = "map=0.9\nmap=0.1";
      });
  EXPECT_FALSE(Failed.Ran);
  EXPECT_FALSE(std::filesystem::exists(Out("empty.avi")));

  // An output that is the source itself is refused before anything is written.
  const std::string Source = Out("source.avi");
  std::filesystem::copy_file(Clips.VideoOnly, Source);
  const auto Size = std::filesystem::file_size(Source);
  const TConversion Same = Convert(Source, Source, MpegFourAvi);
  EXPECT_FALSE(Same.OutputOpened);
  EXPECT_EQ(Same.Error, "'" + Source + "' is one of the source files; choose another output name");
  EXPECT_EQ(std::filesystem::file_size(Source), Size);
}

TEST_F(RunBehaviour, OpeningFailuresGiveTheirText) {
  struct Row {
    std::string Source, Target;
    TConfigure Configure;
    std::string Error;
  } Rows[] = {
      {Out("missing.avi"), Out("x.avi"), {}, Out("missing.avi") + ": no such file or directory"},
      {Clips.NotMedia, Out("x.avi"), {}, Clips.NotMedia + ": Unknown format"},
      {Clips.VideoAudio,
       Out("x.unknown-extension"),
       {},
       "Unable to find a suitable output format for '" + Out("x.unknown-extension") + "'"},
      {Clips.VideoAudio,
       Out("no-folder/x.avi"),
       {},
       "Could not open '" + Out("no-folder/x.avi") + "': No such file or directory"},
      {Clips.VideoAudio, Out("x.avi"),
       [](TInputOptions &, TOutputOptions &O) { O.VideoCodec = "no-such-codec"; },
       "new_video_stream fail: Unknown encoder 'no-such-codec': the installed media libraries do not have "
       "it"},
      {Clips.VideoAudio, Out("x.avi"), [](TInputOptions &, TOutputOptions &O) { O.AudioCodec = "mpeg4"; },
       "new_audio_stream fail: Invalid encoder type 'mpeg4'"},
      // A container that refuses a stream is said to refuse that stream.
      {Clips.VideoAudio, Out("tagged.mp4"), Lines("", "vcodec=mpeg4\nvtag=hvc1"),
       "Could not write header for output file #0: the mp4 format cannot take output stream #0.0 (mpeg4) "
       "under "
       "the tag hvc1 (Invalid data found when processing input)"},
      {Clips.SweepAudio, Out("pcm.mp4"), Lines("", "acodec=copy"),
       "Could not write header for output file #0: the mp4 format cannot hold the copy of output stream #0.0 "
       "(pcm_s16le) (Invalid argument)"},
      {Clips.VideoAudio, Out("x.avi"),
       [](TInputOptions &, TOutputOptions &O) {
         O.VideoCodec = "copy";
         O.ExtOptions = "vol=512\nacodec=copy";
       },
       "-acodec copy and -vol are incompatible (frames are not decoded)"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Error);
    const TConversion C = Convert(R.Source, R.Target, R.Configure);
    EXPECT_FALSE(C.Ran);
    EXPECT_EQ(C.Error, R.Error);
  }
}

}  // namespace
}  // namespace korvane::test
