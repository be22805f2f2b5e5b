// SPDX-License-Identifier: GPL-3.0-or-later
// Applying the input and output records: their order (later steps override
// earlier ones), which values count as set, the timestamp and time ranges.
#include <cstdlib>
#include <ctime>

#include "TaskFixture.h"
#include "TextConvert.h"

namespace korvane::test {
namespace {

using OptionRecords = TaskTest;

TEST_F(OptionRecords, OptionLinesSplitAtLineBreaksAndTheFirstEqualSign) {
  struct Row {
    const char *Text;
    int VideoSync, AudioSync;
    const char *Title;
  } Rows[] = {{"vsync=1\r\nasync=2", 1, 2, ""},
              {"vsync=1\nasync=2\n", 1, 2, ""},
              {"vsync=1\rasync=2", 1, 2, ""},
              {"  title=a=b  \r\n\r\nvsync=0", 0, 0, "a=b  "},  // only the whole text is trimmed
              {"", -1, 0, ""}};
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Text);
    Task.PrepareOptions();
    Task.ApplyOptionLines(R.Text);
    EXPECT_EQ(S().FVideoSyncMethod, R.VideoSync);
    EXPECT_EQ(S().FAudioSyncMethod, R.AudioSync);
    EXPECT_EQ(S().FTitle, R.Title);
  }
  // A line without "=" is all name: flags work, numbers are malformed.
  Task.ApplyOptionLines("copyts\nshortest");
  EXPECT_EQ(S().FCopyTS, 1);
  EXPECT_EQ(S().FShortest, 1);
  EXPECT_EQ(Error("vsync", ""), "'' is not a valid integer value");
  EXPECT_THROW(Task.ApplyOptionLines("title=ok\nvsync\ncopyts"), EConvertError);
  EXPECT_EQ(S().FTitle, "ok") << "lines before the failing one are applied";
}

TEST_F(OptionRecords, InputRecordAppliesLinesThenFormatStartAndProgram) {
  TInputOptions Input;
  Input.ExtOptions = "ss=5\nprogramid=3";
  Input.FileFormat = "avi";
  Input.StartTime = 1500;
  Input.ProgramID = 0;
  Task.ApplyInputOptions(Input);
  EXPECT_EQ(S().FStartTime, 1500000) << "the field overrides the line";
  EXPECT_EQ(S().FProgramID, 0);
  ASSERT_NE(S().FInputFormat, nullptr);
  EXPECT_EQ(S().FOutputFormat, nullptr) << "the input record sets the input side only";
  EXPECT_EQ(Task.FInputOptions.FileFormat, "avi");

  Task.PrepareOptions();
  TInputOptions Unset;
  Unset.ExtOptions = "ss=5\nprogramid=3";
  Unset.StartTime = 0;
  Task.ApplyInputOptions(Unset);
  EXPECT_EQ(S().FStartTime, 5000000);
  EXPECT_EQ(S().FProgramID, 3);

  TInputOptions Bad;
  Bad.FileFormat = "no-such";
  EXPECT_THROW(Task.ApplyInputOptions(Bad), FFMpegException);
  try {
    Task.ApplyInputOptions(Bad);
  } catch (const FFMpegException &E) {
    EXPECT_STREQ(E.what(), "Unknown input format: no-such");
  }
}

TEST_F(OptionRecords, OutputFieldsAtTheirInitialValuesChangeNothing) {
  TFFmpeg Reference;
  Reference.PrepareOptions();
  Task.ApplyOutputOptions(TOutputOptions{});
  const TOptionState &A = S(), &B = Reference.State();
  EXPECT_EQ(A.FAudioChannels, B.FAudioChannels);
  EXPECT_EQ(A.FAudioSampleRate, B.FAudioSampleRate);
  EXPECT_EQ(A.FAudioVolume, B.FAudioVolume);
  EXPECT_EQ(A.FFrameWidth, B.FFrameWidth);
  EXPECT_EQ(A.FFrameRate.den, B.FFrameRate.den);
  EXPECT_EQ(A.FRecordingTime, B.FRecordingTime);
  EXPECT_EQ(A.FRecordingTimeMs, -1);
  EXPECT_EQ(A.FRecTimestamp, 0);
  EXPECT_EQ(A.FPadColor, (std::array<int, 3>{0, 128, 128})) << "the pad colour is always applied";
  EXPECT_EQ(A.FVideoSyncMethod, -1);
  EXPECT_TRUE(A.FOptNames.empty());
  EXPECT_EQ(A.FOutputFormat, nullptr);
  EXPECT_EQ(A.FHookChoice, THookChoice::TimeRanges);
  EXPECT_TRUE(A.FTimeRanges.empty());
}

TEST_F(OptionRecords, OutputFieldsOverrideLinesAndApplyInTableOrder) {
  TOutputOptions O;
  O.ExtOptions = "s=320x240\nvsync=1\nalang=fre\nab=64000\ncopyts";
  O.FileFormat = "mp4";
  O.AudioCodec = "aac";
  O.AudioVolume = 0;
  O.AudioChannels = 1;
  O.AudioSampleRate = 22050;
  O.AudioBitrate = 96000;
  O.VideoCodec = "mpeg4";
  O.FrameSize = "640x480";
  O.FrameRate = "30000/1001";
  O.FrameAspectRatio = "16:9";
  O.CropTop = 10;  // on the 640x480 just set
  O.PadBottom = 4;
  O.PadColor = 0xFFFFFF;
  O.GOPSize = 250;
  O.VideoBitrate = 1000000;
  O.RecordingTime = 5000;
  O.Year = 2008;
  O.Track = 3;
  O.Title = "Title";
  O.Genre = "Rock";
  Task.ApplyOutputOptions(O);

  EXPECT_STREQ(S().FOutputFormat->name, "mp4");
  EXPECT_EQ(S().FAudioCodecName, "aac");
  EXPECT_EQ(S().FAudioVolume, 0);
  EXPECT_EQ(S().FAudioChannels, 1);
  EXPECT_EQ(S().FAudioSampleRate, 22050);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 96000);
  EXPECT_EQ(S().FAudioLanguage, "") << "always copied: the empty field overrides the line";
  EXPECT_EQ(S().FVideoSyncMethod, -1) << "always copied";
  EXPECT_EQ(S().FCopyTS, 0) << "always copied";
  EXPECT_EQ(S().FVideoCodecName, "mpeg4");
  EXPECT_EQ(S().FFrameWidth, 640);
  EXPECT_EQ(S().FFrameHeight, 470);
  EXPECT_EQ(S().FCropTop, 10);
  EXPECT_EQ(S().FPadBottom, 4);
  EXPECT_EQ(S().FPadColor, (std::array<int, 3>{255, 128, 128}));
  EXPECT_FLOAT_EQ(S().FFrameAspectRatio, 16.0f / 9);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 250);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 1000000);
  EXPECT_EQ(S().FRecordingTimeMs, 5000);
  EXPECT_EQ(S().FRecordingTime, 5000000);
  EXPECT_EQ(S().FYear, 2008);
  EXPECT_EQ(S().FTrack, 3);
  EXPECT_EQ(S().FTitle, "Title");
  EXPECT_EQ(S().FGenre, "Rock");
  EXPECT_EQ(S().FFrameRate.num, 30000);
  EXPECT_EQ(Task.FOutputOptions.Title, "Title") << "the task keeps its copy of the record";
}

TEST_F(OptionRecords, OutputRecordStopsAtTheFirstFailingField) {
  struct Row {
    const char *Case;
    void (*Set)(TOutputOptions &);
    std::string Error;
  } Rows[] = {
      {"format", [](TOutputOptions &O) { O.FileFormat = "no-such"; }, "Unknown output format: no-such"},
      {"audio tag", [](TOutputOptions &O) { O.AudioTag = "abc"; },
       "audio tag parameter must be 4 chars (FFmpeg)"},
      {"rate", [](TOutputOptions &O) { O.FrameRate = "fast"; }, "Incorrect frame rate"},
      {"size", [](TOutputOptions &O) { O.FrameSize = "641x480"; }, "Frame size must be a multiple of 2"},
      {"aspect", [](TOutputOptions &O) { O.FrameAspectRatio = "wide"; },
       "Incorrect aspect ratio specification."},
      {"crop without a size", [](TOutputOptions &O) { O.CropLeft = 2; },
       "Horizontal crop dimensions are outside the range of the original image.\nRemember to crop first and "
       "scale second."},
      {"pad", [](TOutputOptions &O) { O.PadRight = 3; }, "Right pad size must be a multiple of 2"},
      {"line", [](TOutputOptions &O) { O.ExtOptions = "qscale=0"; }, "qscale must be > 0.0 and <= 255"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    Task.PrepareOptions();
    TOutputOptions Options;
    R.Set(Options);
    Options.Title = "not reached";
    try {
      Task.ApplyOutputOptions(Options);
      ADD_FAILURE() << "accepted";
    } catch (const std::exception &E) {
      EXPECT_EQ(E.what(), R.Error);
    }
    EXPECT_EQ(S().FTitle, "");
  }
}

class LocalTime : public OptionRecords {
 protected:
  void SetTimeZone(const char *Zone) {
    setenv("TZ", Zone, 1);
    tzset();
  }
  void TearDown() override {
    if (FSaved)
      setenv("TZ", FSaved->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  std::optional<std::string> FSaved =
      std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST_F(LocalTime, TimestampIsALocalDateTimeOrNow) {
  struct Row {
    const char *Zone;
    double DateTime;
    int64_t Unix;
  } Rows[] = {
      {"UTC", 39448.5, 1199188800},            // 2008-01-01 12:00
      {"Europe/Berlin", 39448.5, 1199185200},  // winter: UTC+1
      {"Europe/Berlin", 39630.5, 1214906400},  // 2008-07-01 12:00, summer: UTC+2
      {"America/New_York", 25569.0, 18000},    // 1970-01-01 00:00 at UTC-5
  };
  for (const Row &R : Rows) {
    SetTimeZone(R.Zone);
    EXPECT_EQ(DateTimeToUnixSeconds(R.DateTime), R.Unix) << R.Zone << " " << R.DateTime;
  }
  TOutputOptions O;
  Task.ApplyOutputOptions(O);
  EXPECT_EQ(S().FRecTimestamp, 0) << "-1 leaves it";
  O.Timestamp = 0;
  Task.ApplyOutputOptions(O);
  EXPECT_NEAR(static_cast<double>(S().FRecTimestamp), static_cast<double>(std::time(nullptr)), 5);
}

TEST_F(OptionRecords, HookChoiceAndTimeRanges) {
  TOutputOptions O;
  O.TimeRanges = " 5000-1000, 3000 - 4000,0-2000 ,x-5, 7000-, 9000, 100-100 ";
  Task.ApplyOutputOptions(O);
  EXPECT_EQ(S().FHookChoice, THookChoice::TimeRanges);
  std::vector<std::pair<int64_t, int64_t>> Ranges;
  for (const TTimeRange &R : S().FTimeRanges) Ranges.emplace_back(R.Start, R.End);
  EXPECT_EQ(Ranges, (std::vector<std::pair<int64_t, int64_t>>{
                        {-1000, 5000}, {100000, 100000}, {0, 2000000}, {3000000, 4000000}}));

  O.BeforeHook = true;
  Task.PrepareOptions();
  Task.ApplyOutputOptions(O);
  EXPECT_EQ(S().FHookChoice, THookChoice::BeforeHook);
  EXPECT_TRUE(S().FTimeRanges.empty()) << "ranges are used only without hook events";
  O.CustomHook = true;
  Task.ApplyOutputOptions(O);
  EXPECT_EQ(S().FHookChoice, THookChoice::CustomHook);

  EXPECT_TRUE(ParseTimeRanges("").empty());
  EXPECT_TRUE(ParseTimeRanges("99999999999999999-99999999999999999").empty())
      << "too large to be microseconds";
}

TEST_F(OptionRecords, PrepareStartsAFreshTaskAndClearReleasesTheHolders) {
  Task.SetOption("title", "x");
  Task.SetOption("vcodec", "mpeg4");
  Task.SetOption("b", "1000");
  S().FFrameWidth = 640;
  Task.PrepareOptions();
  EXPECT_EQ(S().FTitle, "");
  EXPECT_EQ(S().FVideoCodecName, "");
  EXPECT_EQ(S().FFrameWidth, 0);
  EXPECT_TRUE(S().FOptNames.empty());
  for (const auto &Holder : S().FCodecOptions) EXPECT_NE(Holder, nullptr);
  EXPECT_EQ(S().FCodecOptions[AVMEDIA_TYPE_AUDIO]->codec_type, AVMEDIA_TYPE_AUDIO);
  Task.ClearOptions();
  for (const auto &Holder : S().FCodecOptions) EXPECT_EQ(Holder, nullptr);
  EXPECT_EQ(S().FFormatOptions, nullptr);
  EXPECT_EQ(S().FScaleOptions, nullptr);
}

}  // namespace
}  // namespace korvane::test
