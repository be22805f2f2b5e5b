// SPDX-License-Identifier: GPL-3.0-or-later
// The media probe on clips made at test time: counters, file and video
// records, failure texts, and that a failed or repeated open leaves nothing open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "MediaFixtures.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

std::string Text(const char *Field) { return Field; }

class Probe : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadLibraries();
    SetLibraryLogLevel(1);
  }
  const TMediaClips &Clips = MediaClips();
  TAVProbe FProbe;
};

void ExpectClosed(const TAVProbe &P) {
  EXPECT_EQ(P.FormatContext(), nullptr);
  EXPECT_EQ(P.FormatName(), "");
  for (int Counter :
       {P.StreamCount(), P.ProgramCount(), P.AudioStreamCount(), P.VideoStreamCount(),
        P.SubtitleStreamCount(), P.FirstAudioStream(), P.FirstVideoStream(), P.FirstSubtitleStream()})
    EXPECT_EQ(Counter, -1);
}

TEST_F(Probe, StartsClosed) { ExpectClosed(FProbe); }

TEST_F(Probe, CountsStreamsByType) {
  struct Row {
    std::string File;
    int Streams, Audio, Video, Subtitle, FirstAudio, FirstVideo, FirstSubtitle;
  } Rows[] = {
      {Clips.VideoAudio, 2, 1, 1, 0, 1, 0, -1},       {Clips.AudioOnly, 1, 1, 0, 0, 0, -1, -1},
      {Clips.VideoOnly, 1, 0, 1, 0, -1, 0, -1},       {Clips.Subtitled, 3, 1, 1, 1, 1, 0, 2},
      {Clips.UnknownDuration, 1, 0, 1, 0, -1, 0, -1},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.File);
    ASSERT_TRUE(FProbe.LoadFile(R.File, "")) << FProbe.LastError();
    EXPECT_EQ(FProbe.StreamCount(), R.Streams);
    EXPECT_EQ(FProbe.ProgramCount(), 0);
    EXPECT_EQ(FProbe.AudioStreamCount(), R.Audio);
    EXPECT_EQ(FProbe.VideoStreamCount(), R.Video);
    EXPECT_EQ(FProbe.SubtitleStreamCount(), R.Subtitle);
    EXPECT_EQ(FProbe.FirstAudioStream(), R.FirstAudio);
    EXPECT_EQ(FProbe.FirstVideoStream(), R.FirstVideo);
    EXPECT_EQ(FProbe.FirstSubtitleStream(), R.FirstSubtitle);
    EXPECT_EQ(FProbe.FormatName(), "");
  }
}

TEST_F(Probe, FailedOpensGiveTheirTextAndLeaveNothingOpen) {
  TTempDir Temp;
  const std::string Missing = Temp.File("missing.avi");
  const std::string Pipe = Temp.File("pipe.mp4");
  ASSERT_EQ(mkfifo(Pipe.c_str(), 0600), 0);
  struct Row {
    std::string File, Format, Expected;
  } Rows[] = {
      {Missing, "", Missing + ": no such file or directory"},
      {Clips.NotMedia, "", Clips.NotMedia + ": Unknown format"},
      {Clips.Empty, "", Clips.Empty + ": Unknown format"},
      {Clips.Truncated, "", Clips.Truncated + ": Error while parsing header"},
      {Clips.TruncatedHeader, "",
       Clips.TruncatedHeader +
           ": I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted."},
      {Clips.VideoAudio, "no-such-format", "Unknown input format: no-such-format"},
      {Clips.NotMedia, "matroska", Clips.NotMedia + ": Error while parsing header"},
      {Temp.Path(), "", Temp.Path() + ": Error while opening file (Is a directory)"},
      {Pipe, "", Pipe + ": Error while opening file (Illegal seek)"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.File + " / " + R.Format);
    // Each failure also closes the file opened before it.
    ASSERT_TRUE(FProbe.LoadFile(Clips.VideoAudio, ""));
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(FProbe.LoadFile(R.File, R.Format));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, TAVProbe::ReadTimeLimit) << "the probe does not hang";
    EXPECT_EQ(FProbe.LastError(), R.Expected);
    ExpectClosed(FProbe);
  }
}

TEST_F(Probe, SuccessKeepsTheLastErrorAndTheForcedFormat) {
  EXPECT_FALSE(FProbe.LoadFile(Clips.Empty, ""));
  ASSERT_TRUE(FProbe.LoadFile(Clips.Subtitled, "matroska"));
  EXPECT_EQ(FProbe.FormatName(), "matroska");
  EXPECT_EQ(FProbe.LastError(), Clips.Empty + ": Unknown format");
  FProbe.CloseFile();
  ExpectClosed(FProbe);
  FProbe.CloseFile();  // closing twice is harmless
  ExpectClosed(FProbe);
}

TEST_F(Probe, FileInfoReadsTimesBitRateAndTags) {
  ASSERT_TRUE(FProbe.LoadFile(Clips.VideoAudio, ""));
  TAVFileInfo Info;
  FProbe.GetFileInfo(Info);
  EXPECT_EQ(Info.StartTime, 0);
  EXPECT_NEAR(static_cast<double>(Info.Duration), 2e6, 1e5);
  EXPECT_GT(Info.BitRate, 0);
  EXPECT_EQ(Info.Timestamp, 0);
  EXPECT_EQ(Text(Info.Title.data()), "Korvane Test");
  EXPECT_EQ(Text(Info.Author.data()), "Test Artist");
  EXPECT_EQ(Text(Info.Album.data()), "Test Album");
  EXPECT_EQ(Text(Info.Comment.data()), "A comment");
  EXPECT_EQ(Text(Info.Copyright.data()), "(c) Korvane");
  EXPECT_EQ(Text(Info.Genre.data()), "Rock");
  EXPECT_EQ(Info.Year, 2008);
  EXPECT_EQ(Info.Track, 3);

  ASSERT_TRUE(FProbe.LoadFile(Clips.AudioOnly, ""));
  FProbe.GetFileInfo(Info);
  EXPECT_EQ(Text(Info.Title.data()), "Audio Title");
  EXPECT_EQ(Text(Info.Author.data()), "Audio Artist");
  EXPECT_EQ(Text(Info.Album.data()), "");
  EXPECT_EQ(Info.Year, 1999);
  EXPECT_EQ(Info.Track, 7);
  EXPECT_NEAR(static_cast<double>(Info.Duration), 1e6, 1e5);

  ASSERT_TRUE(FProbe.LoadFile(Clips.UnknownDuration, ""));
  FProbe.GetFileInfo(Info);
  EXPECT_EQ(Info.Duration, AV_NOPTS_VALUE);
  EXPECT_EQ(Info.Year, 0);
  EXPECT_EQ(Info.Track, 0);
}

TEST_F(Probe, LongTagsAreCutToTheirField) {
  TTempDir Temp;
  const std::string File = Temp.File("long-tags.mp3");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i sine=duration=0.2 -c:a libmp3lame -metadata title=" + std::string(600, 't') +
                " -metadata genre=" + std::string(40, 'g') + " '" + File + "'"));
  ASSERT_TRUE(FProbe.LoadFile(File, ""));
  TAVFileInfo Info;
  FProbe.GetFileInfo(Info);
  EXPECT_EQ(Text(Info.Title.data()), std::string(511, 't'));
  EXPECT_EQ(Text(Info.Genre.data()), std::string(31, 'g'));
}

TEST_F(Probe, NoFileGivesMinusOneAndSaysSo) {
  TLogCapture Log;
  TAVFileInfo Info;
  Info.Title[0] = 'x';
  FProbe.GetFileInfo(Info);
  EXPECT_EQ(Info.StartTime, -1);
  EXPECT_EQ(Info.Duration, -1);
  EXPECT_EQ(Info.BitRate, -1);
  EXPECT_EQ(Info.Timestamp, -1);
  EXPECT_EQ(Info.Year, -1);
  EXPECT_EQ(Info.Track, -1);
  EXPECT_EQ(Info.Title[0], '\0');
  TAVVideoStreamInfo Video;
  FProbe.GetVideoStreamInfo(Video);
  EXPECT_EQ(Video.Width, -1);
  ASSERT_EQ(Log.Lines().size(), 2u);
  for (const TLoggedLine &Line : Log.Lines()) {
    EXPECT_EQ(Line.Text, "file not loaded.");
    EXPECT_EQ(Line.Level, 1);
  }
}

TEST_F(Probe, VideoStreamInfoOfEachClip) {
  struct Row {
    std::string File;
    int Width, Height, RateNum, RateDen;
    float Aspect;
    const char *Codec, *Language;
    double DurationSeconds;  // < 0: unknown
    int Rotation = 0;
  } Rows[] = {
      {Clips.VideoAudio, 320, 240, 25, 1, 4.0f / 3, "mpeg4", "und", 2.0},
      {Clips.VideoOnly, 160, 120, 30000, 1001, 4.0f / 3, "mpeg4", "", 1.0},
      {Clips.Widescreen, 320, 240, 25, 1, 16.0f / 9, "mpeg4", "", 1.0},
      {Clips.Subtitled, 160, 120, 25, 1, 4.0f / 3, "mpeg4", "fre", -1},
      {Clips.UnknownDuration, 160, 120, 25, 1, 4.0f / 3, "mpeg4", "", -1},
      {Clips.RawH264, 160, 120, 25, 1, 4.0f / 3, "h264", "", -1},
      // Stored size and shape; the rotation says how it is shown.
      {Clips.Portrait, 320, 180, 25, 1, 16.0f / 9, "h264", "und", 1.0, 90},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.File);
    ASSERT_TRUE(FProbe.LoadFile(R.File, "")) << FProbe.LastError();
    TAVVideoStreamInfo Info;
    FProbe.GetVideoStreamInfo(Info);
    EXPECT_EQ(Info.Width, R.Width);
    EXPECT_EQ(Info.Height, R.Height);
    EXPECT_EQ(Info.FrameRateNum, R.RateNum);
    EXPECT_EQ(Info.FrameRateDen, R.RateDen);
    EXPECT_NEAR(Info.AspectRatio, R.Aspect, 1e-4);
    EXPECT_EQ(Text(Info.CodecName.data()), R.Codec);
    EXPECT_EQ(Text(Info.Language.data()), R.Language);
    EXPECT_EQ(Info.PixelFormat, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(Info.Rotation, R.Rotation);
    if (R.DurationSeconds < 0) {
      EXPECT_EQ(Info.DurationUS, -1);
    } else {
      EXPECT_NE(Info.Duration, AV_NOPTS_VALUE);
      EXPECT_NEAR(static_cast<double>(Info.DurationUS), R.DurationSeconds * 1e6, 1e5);
    }
  }
}

TEST_F(Probe, UnknownStartTimeKeepsTheMarker) {
  ASSERT_TRUE(FProbe.LoadFile(Clips.RawH264, ""));
  TAVVideoStreamInfo Info;
  FProbe.GetVideoStreamInfo(Info);
  EXPECT_EQ(Info.StartTime, AV_NOPTS_VALUE);
  EXPECT_EQ(Info.StartTimeUS, -1);

  ASSERT_TRUE(FProbe.LoadFile(Clips.VideoAudio, ""));
  FProbe.GetVideoStreamInfo(Info);
  EXPECT_EQ(Info.StartTime, 0);
  EXPECT_EQ(Info.StartTimeUS, 0);
}

TEST_F(Probe, StreamChoiceMistakesAreLoggedAndLeaveTheRecordInitial) {
  struct Row {
    std::string File;
    int Index;
    std::string Message;
    int Level;
  } Rows[] = {
      {Clips.AudioOnly, -1, "no video stream.", 0},
      {Clips.VideoAudio, 2, "stream index #2 is invalid.", 0},
      {Clips.VideoAudio, 1, "stream #1 is not video stream.", 0},
      {Clips.Subtitled, 2, "stream #2 is not video stream.", 0},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Message);
    ASSERT_TRUE(FProbe.LoadFile(R.File, ""));
    TLogCapture Log;
    TAVVideoStreamInfo Info;
    Info.Width = 123;
    FProbe.GetVideoStreamInfo(R.Index, Info);
    EXPECT_EQ(Info.Width, -1);
    EXPECT_EQ(Info.Height, -1);
    EXPECT_EQ(Info.FrameRateNum, -1);
    EXPECT_EQ(Info.FrameRateDen, -1);
    EXPECT_EQ(Info.AspectRatio, -1.0f);
    EXPECT_EQ(Info.CodecName[0], '\0');
    ASSERT_EQ(Log.Lines().size(), 1u);
    EXPECT_EQ(Log.Lines()[0].Text, R.Message);
    EXPECT_EQ(Log.Lines()[0].Level, R.Level);
  }
}

TEST_F(Probe, OpenErrorTextsForEveryCode) {
  struct Row {
    int Code;
    std::string Expected;
  } Rows[] = {
      {-2, "f.avi: no such file or directory"},
      {AVERROR(ENOENT), "f.avi: no such file or directory"},
      {-5, "f.avi: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted."},
      {AVERROR_EOF,
       "f.avi: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted."},
      {-12, "f.avi: memory allocation error occurred"},
      {-22, "f.avi: Error while parsing header"},
      {AVERROR_INVALIDDATA, "f.avi: Error while parsing header"},
      {-33,
       "f.avi: Incorrect image filename syntax.\r\nUse '%d' to specify the image number:\r\n"
       "  for img1.jpg, img2.jpg, ..., use 'img%d.jpg';\r\n  for img001.jpg, img002.jpg, ..., use "
       "'img%03d.jpg'."},
      {-42, "f.avi: Unknown format"},
      {AVERROR_DEMUXER_NOT_FOUND, "f.avi: Unknown format"},
      // Codes without a text of their own keep the library's description.
      {-1, "f.avi: Error while opening file (Operation not permitted)"},
      {AVERROR(EACCES), "f.avi: Error while opening file (Permission denied)"},
      {AVERROR(ENOSPC), "f.avi: Error while opening file (No space left on device)"},
  };
  for (const Row &R : Rows) EXPECT_EQ(TAVProbe::OpenErrorText("f.avi", R.Code), R.Expected) << R.Code;
  // A name with a percent sign is shown as it is.
  EXPECT_EQ(TAVProbe::OpenErrorText("100%.avi", -2), "100%.avi: no such file or directory");
}

TEST(ProbeWithoutLibraries, NamesTheFirstMissingLibrary) {
  UnloadAVLibraries();
  TAVProbe P;
  try {
    P.LoadFile("anything.avi", "");
    FAIL() << "no exception";
  } catch (const std::runtime_error &E) {
    EXPECT_STREQ(E.what(), "LibAVCodec not loaded.");
  }
  ExpectClosed(P);
  EXPECT_EQ(P.LastError(), "");
}

}  // namespace
}  // namespace korvane::test
