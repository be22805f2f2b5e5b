// SPDX-License-Identifier: GPL-3.0-or-later
// The option dispatcher: every row of its table with accepted and refused
// values and the exact messages.
#include <regex>

#include "TaskFixture.h"
#include "TextConvert.h"

namespace korvane::test {
namespace {

using OptionDispatcher = TaskTest;

TEST_F(OptionDispatcher, IgnoredOptionsOnlyLogAndRefusedOnesRaise) {
  for (const char *Name : {"L", "h", "version", "formats", "i", "y", "benchmark", "loop_input", "loop_output",
                           "apre", "vpre", "spre"}) {
    Logged.clear();
    EXPECT_EQ(Error(Name, "x"), "");
    EXPECT_EQ(Logged, std::vector<std::string>{std::string("Do nothing: option - ") + Name});
    EXPECT_EQ(Levels.back(), 1);
  }
  for (const char *Name : {"absf", "vbsf", "sbsf"})
    EXPECT_EQ(Error(Name, "1"), std::string("TODO: option - ") + Name);
  // Without a log handler nothing is sent anywhere.
  Task.FOnLog = nullptr;
  EXPECT_EQ(Error("benchmark", ""), "");
}

TEST_F(OptionDispatcher, ThreadsTakeACountWithZeroForAutomatic) {
  EXPECT_EQ(S().FThreadCount, 0) << "automatic unless asked";
  for (const auto &[Text, Count] : {std::pair{"1", 1}, {" 4 ", 4}, {"+2", 2}, {"128", 128}, {"0", 0}}) {
    EXPECT_EQ(Error("threads", Text), "") << Text;
    EXPECT_EQ(S().FThreadCount, Count) << Text;
  }
  Task.SetOption("threads", "3");
  for (const char *Text : {"auto", "", "two", "1.5", "-1", "129", "99999999999", "3x"}) {
    EXPECT_EQ(Error("threads", Text),
              std::string("threads takes a number from 0 (automatic) to 128, not '") + Text + "'");
    EXPECT_EQ(S().FThreadCount, 3) << "a refused value changes nothing";
  }
}

TEST_F(OptionDispatcher, FlagOptionsSetTheirFieldWhateverTheValue) {
  struct Row {
    const char *Name;
    int TOptionState::*Field;
  } Rows[] = {{"dump", &TOptionState::FPktDump},
              {"hex", &TOptionState::FHexDump},
              {"re", &TOptionState::FRateEmu},
              {"copyts", &TOptionState::FCopyTS},
              {"shortest", &TOptionState::FShortest},
              {"intra", &TOptionState::FIntraOnly},
              {"vn", &TOptionState::FVideoDisable},
              {"sameq", &TOptionState::FSameQuality},
              {"deinterlace", &TOptionState::FDeinterlace},
              {"psnr", &TOptionState::FDoPSNR},
              {"qphist", &TOptionState::FQPHist},
              {"an", &TOptionState::FAudioDisable},
              {"sn", &TOptionState::FSubtitleDisable},
              {"isync", &TOptionState::FInputSync}};
  for (const Row &R : Rows) {
    EXPECT_EQ(S().*R.Field, 0) << R.Name;
    Task.SetOption(R.Name, "0");
    EXPECT_EQ(S().*R.Field, 1) << R.Name;
  }
}

TEST_F(OptionDispatcher, IntegerOptionsStoreTheNumberAndRefuseMalformedText) {
  struct Row {
    const char *Name;
    int TOptionState::*Field;
  } Rows[] = {{"vsync", &TOptionState::FVideoSyncMethod},     {"async", &TOptionState::FAudioSyncMethod},
              {"vglobal", &TOptionState::FVideoGlobalHeader}, {"programid", &TOptionState::FProgramID},
              {"vdt", &TOptionState::FVideoDiscard},          {"me_threshold", &TOptionState::FMEThreshold},
              {"top", &TOptionState::FTopFieldFirst},         {"dc", &TOptionState::FIntraDCPrecision},
              {"vol", &TOptionState::FAudioVolume},           {"vc", &TOptionState::FVideoChannel}};
  for (const Row &R : Rows) {
    Task.SetOption(R.Name, " -7 ");
    EXPECT_EQ(S().*R.Field, -7) << R.Name;
    EXPECT_EQ(Error(R.Name, "12abc"), "'12abc' is not a valid integer value") << R.Name;
    EXPECT_EQ(Error(R.Name, ""), "'' is not a valid integer value") << R.Name;
    EXPECT_EQ(Error(R.Name, "99999999999"), "'99999999999' is not a valid integer value") << R.Name;
  }
  Task.SetOption("vframes", "10");
  Task.SetOption("aframes", "11");
  Task.SetOption("dframes", "12");
  EXPECT_EQ(S().FMaxFrames, (std::array<int, 4>{10, 11, 12, INT_MAX}));
  // Channels and sampling rate take positive numbers, and 0 for the
  // source's own; negative numbers are ignored.
  Task.SetOption("ar", "-1");
  Task.SetOption("ac", "-1");
  EXPECT_EQ(S().FAudioSampleRate, 44100);
  EXPECT_EQ(S().FAudioChannels, 2);
  Task.SetOption("ar", "22050");
  Task.SetOption("ac", "1");
  EXPECT_EQ(S().FAudioSampleRate, 22050);
  EXPECT_EQ(S().FAudioChannels, 1);
  Task.SetOption("ar", "0");
  Task.SetOption("ac", "0");
  EXPECT_EQ(S().FAudioSampleRate, 0);
  EXPECT_EQ(S().FAudioChannels, 0);
  Task.SetOption("fs", "5000000000");
  EXPECT_EQ(S().FLimitFileSize, 5000000000);
  EXPECT_EQ(Error("fs", "1e6"), "'1e6' is not a valid integer value");
}

TEST_F(OptionDispatcher, DecimalAndTextOptionsStoreTheirValue) {
  struct Row {
    const char *Name;
    float TOptionState::*Field;
  } Rows[] = {{"adrift_threshold", &TOptionState::FAudioDriftThreshold},
              {"dts_delta_threshold", &TOptionState::FDTSDeltaThreshold},
              {"aq", &TOptionState::FAudioQScale},
              {"muxdelay", &TOptionState::FMuxMaxDelay},
              {"muxpreload", &TOptionState::FMuxPreload}};
  for (const Row &R : Rows) {
    Task.SetOption(R.Name, "1.25");
    EXPECT_FLOAT_EQ(S().*R.Field, 1.25f) << R.Name;
    EXPECT_EQ(Error(R.Name, "1,25"), "'1,25' is not a valid floating point value") << R.Name;
  }
  struct TextRow {
    const char *Name;
    std::string TOptionState::*Field;
  } Texts[] = {
      {"rc_override", &TOptionState::FVideoRCOverride}, {"passlogfile", &TOptionState::FPassLogFileName},
      {"vstats_file", &TOptionState::FVStatsFileName},  {"alang", &TOptionState::FAudioLanguage},
      {"slang", &TOptionState::FSubtitleLanguage},      {"tvstd", &TOptionState::FVideoStandard}};
  for (const TextRow &R : Texts) {
    Task.SetOption(R.Name, "some text");
    EXPECT_EQ(S().*R.Field, "some text") << R.Name;
  }
  struct TagRow {
    const char *Name;
    std::string TOptionState::*Field;
  } Tags[] = {{"title", &TOptionState::FTitle},         {"author", &TOptionState::FAuthor},
              {"copyright", &TOptionState::FCopyright}, {"comment", &TOptionState::FComment},
              {"genre", &TOptionState::FGenre},         {"album", &TOptionState::FAlbum}};
  for (const TagRow &R : Tags) {
    Task.SetOption(R.Name, "Tag");
    Task.SetOption(R.Name, "");  // an empty value leaves the tag
    EXPECT_EQ(S().*R.Field, "Tag") << R.Name;
  }
}

TEST_F(OptionDispatcher, CropsActOnTheCurrentFrameSize) {
  struct Row {
    const char *Name;
    std::string Value;
    std::string Error;
    int Width, Height;  // after the option, from 640x480
  } Rows[] = {
      {"croptop", "10", "", 640, 470},
      {"cropbottom", "478", "", 640, 2},
      {"croptop", "480",
       "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first and "
       "scale second.",
       640, 480},
      {"cropbottom", "500",
       "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first and "
       "scale second.",
       640, 480},
      {"cropleft", "640",
       "Horizontal crop dimensions are outside the range of the original image.\nRemember to crop first and "
       "scale second.",
       640, 480},
      {"cropright", "2", "", 638, 480},
      {"croptop", "5", "Top crop size must be a multiple of 2", 640, 480},
      {"cropbottom", "3", "Bottom crop size must be a multiple of 2", 640, 480},
      {"cropleft", "1", "Left crop size must be a multiple of 2", 640, 480},
      {"cropright", "7", "Right crop size must be a multiple of 2", 640, 480},
      {"croptop", "-1", "", 640, 480},
      {"cropleft", "x", "'x' is not a valid integer value", 640, 480},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Name) + " " + R.Value);
    S().FFrameWidth = 640;
    S().FFrameHeight = 480;
    S().FCropTop = S().FCropBottom = S().FCropLeft = S().FCropRight = 0;
    EXPECT_EQ(Error(R.Name, R.Value), R.Error);
    EXPECT_EQ(S().FFrameWidth, R.Width);
    EXPECT_EQ(S().FFrameHeight, R.Height);
  }
  S().FFrameWidth = 640;
  S().FFrameHeight = 480;
  Task.SetOption("croptop", "10");
  Task.SetOption("cropbottom", "20");
  Task.SetOption("cropleft", "30");
  Task.SetOption("cropright", "40");
  EXPECT_EQ(S().FCropTop, 10);
  EXPECT_EQ(S().FCropBottom, 20);
  EXPECT_EQ(S().FCropLeft, 30);
  EXPECT_EQ(S().FCropRight, 40);
  EXPECT_EQ(S().FFrameWidth, 570);
  EXPECT_EQ(S().FFrameHeight, 450);
}

TEST_F(OptionDispatcher, PadsMustBeEven) {
  struct Row {
    const char *Name;
    std::string Value, Error;
    int TOptionState::*Field;
    int Expected;
  } Rows[] = {{"padtop", "8", "", &TOptionState::FPadTop, 8},
              {"padbottom", "16", "", &TOptionState::FPadBottom, 16},
              {"padleft", "0", "", &TOptionState::FPadLeft, 0},
              {"padright", "-2", "", &TOptionState::FPadRight, 0},
              {"padtop", "9", "Top pad size must be a multiple of 2", &TOptionState::FPadTop, 8},
              {"padbottom", "1", "Bottom pad size must be a multiple of 2", &TOptionState::FPadBottom, 16},
              {"padleft", "3", "Left pad size must be a multiple of 2", &TOptionState::FPadLeft, 0},
              {"padright", "5", "Right pad size must be a multiple of 2", &TOptionState::FPadRight, 0}};
  for (const Row &R : Rows) {
    EXPECT_EQ(Error(R.Name, R.Value), R.Error) << R.Name << " " << R.Value;
    EXPECT_EQ(S().*R.Field, R.Expected) << R.Name << " " << R.Value;
  }
}

TEST_F(OptionDispatcher, PadColourBecomesYUV) {
  struct Row {
    std::string Value;  // 0x00BBGGRR as a decimal number
    std::array<int, 3> YUV;
  } Rows[] = {{"0", {0, 128, 128}},
              {std::to_string(0xFFFFFF), {255, 128, 128}},
              {std::to_string(0x0000FF), {76, 85, 255}},   // red
              {std::to_string(0x00FF00), {150, 43, 21}},   // green
              {std::to_string(0xFF0000), {29, 255, 107}},  // blue
              {std::to_string(0x808080), {128, 128, 128}}};
  for (const Row &R : Rows) {
    Task.SetOption("padcolor", R.Value);
    EXPECT_EQ(S().FPadColor, R.YUV) << R.Value;
  }
  EXPECT_EQ(TFFmpeg().State().FPadColor, (std::array<int, 3>{16, 128, 128})) << "the default";
}

TEST_F(OptionDispatcher, FrameSizeRateAndAspectRules) {
  struct Row {
    const char *Name, *Value, *Error;
  } Rows[] = {{"s", "641x480", "Frame size must be a multiple of 2"},
              {"s", "640x481", "Frame size must be a multiple of 2"},
              {"s", "abc", "Incorrect frame size"},
              {"s", "0x0", "Incorrect frame size"},
              {"r", "abc", "Incorrect frame rate"},
              {"r", "-5", "Incorrect frame rate"},
              {"aspect", "4:0", "Incorrect aspect ratio specification."},
              {"aspect", "4:-3", "Incorrect aspect ratio specification."},
              {"aspect", "x", "Incorrect aspect ratio specification."},
              {"aspect", "0", "Incorrect aspect ratio specification."},
              {"aspect", "", "Incorrect aspect ratio specification."},
              {"qscale", "0", "qscale must be > 0.0 and <= 255"},
              {"qscale", "256", "qscale must be > 0.0 and <= 255"},
              {"qscale", "-1", "qscale must be > 0.0 and <= 255"},
              {"qscale", "abc", "'abc' is not a valid floating point value"},
              {"pass", "3", "pass number can be only 1 or 2"},
              {"pass", "0", "pass number can be only 1 or 2"}};
  for (const Row &R : Rows) EXPECT_EQ(Error(R.Name, R.Value), R.Error) << R.Name << " " << R.Value;

  Error("s", "641x480");
  EXPECT_EQ(S().FFrameWidth, 641) << "an odd size stays stored";
  Task.SetOption("s", "vga");
  EXPECT_EQ(S().FFrameWidth, 640);
  EXPECT_EQ(S().FFrameHeight, 480);
  Task.SetOption("r", "ntsc");
  EXPECT_EQ(S().FFrameRate.num, 30000);
  EXPECT_EQ(S().FFrameRate.den, 1001);
  Task.SetOption("r", "15");
  EXPECT_EQ(S().FFrameRate.num, 15);
  EXPECT_EQ(S().FFrameRate.den, 1);
  Task.SetOption("aspect", "16:9");
  EXPECT_FLOAT_EQ(S().FFrameAspectRatio, 1.7777778f);
  Task.SetOption("aspect", "1.5");
  EXPECT_FLOAT_EQ(S().FFrameAspectRatio, 1.5f);
  // A malformed part counts as 0: "x:3" is 0:3, refused, and the ratio stays.
  EXPECT_EQ(Error("aspect", "x:3"), "Incorrect aspect ratio specification.");
  EXPECT_FLOAT_EQ(S().FFrameAspectRatio, 1.5f);
  Task.SetOption("qscale", "255");
  EXPECT_FLOAT_EQ(S().FVideoQScale, 255.0f);
  Task.SetOption("pass", "2");
  EXPECT_EQ(S().FDoPass, 2);
}

TEST_F(OptionDispatcher, CodecNamesAndTags) {
  Task.SetOption("vcodec", "mpeg4");
  Task.SetOption("vcodec", "copy");
  EXPECT_EQ(S().FVideoStreamCopy, 1);
  EXPECT_EQ(S().FVideoCodecName, "");
  Task.SetOption("acodec", "libmp3lame");
  EXPECT_EQ(S().FAudioCodecName, "libmp3lame");
  EXPECT_EQ(S().FAudioStreamCopy, 0);
  Task.SetOption("scodec", "copy");
  EXPECT_EQ(S().FSubtitleStreamCopy, 1);

  Task.SetOption("vtag", "DIVX");
  EXPECT_EQ(S().FVideoCodecTag, 0x58564944u);
  Task.SetOption("atag", "mp4a");
  EXPECT_EQ(S().FAudioCodecTag, 0x6134706Du);
  try {
    Task.SetOption("vtag", "DIVXX");
    FAIL();
  } catch (const EAssertionFailed &E) {
    EXPECT_STREQ(E.what(), "video tag parameter must be 4 chars (FFmpeg)");
  }
  EXPECT_EQ(Error("atag", "mp3"), "audio tag parameter must be 4 chars (FFmpeg)");
}

TEST_F(OptionDispatcher, TimeOptions) {
  Task.SetOption("t", "00:40:00");
  EXPECT_EQ(S().FRecordingTimeMs, 2400000);
  EXPECT_EQ(S().FRecordingTime, 2400000000LL);
  Task.SetOption("t", "0");  // zero leaves the limit
  EXPECT_EQ(S().FRecordingTimeMs, 2400000);
  Task.SetOption("t", "1.5");
  EXPECT_EQ(S().FRecordingTimeMs, 1500);
  Task.SetOption("ss", "2.5");
  EXPECT_EQ(S().FStartTime, 2500000);
  Task.SetOption("itsoffset", "-1");
  EXPECT_EQ(S().FInputTSOffset, -1000000);
  Task.SetOption("timestamp", "2008-05-01T12:00:00Z");
  EXPECT_EQ(S().FRecTimestamp, 1209643200);
  Task.SetOption("timestamp", "now");
  EXPECT_NEAR(static_cast<double>(S().FRecTimestamp), static_cast<double>(std::time(nullptr)), 5);

  struct Row {
    const char *Name, *Value, *Error;
  } Rows[] = {{"t", "abc", "Invalid duration specification for t: abc"},
              {"ss", "1:xx", "Invalid duration specification for ss: 1:xx"},
              {"itsoffset", "", "Invalid duration specification for itsoffset: "},
              {"timestamp", "yesterday", "Invalid date specification for timestamp: yesterday"}};
  for (const Row &R : Rows) EXPECT_EQ(Error(R.Name, R.Value), R.Error);
}

TEST_F(OptionDispatcher, StreamAndMetadataMapsFillTheirTablesAndStopAtTheLimit) {
  struct Row {
    const char *Value;
    TStreamMap Expected;
  } Rows[] = {
      {"0.1", {0, 1, 0, 1}}, {"1:0", {1, 0, 1, 0}}, {"0.1:1.0", {0, 1, 1, 0}}, {"0x1.010", {1, 8, 1, 8}}};
  for (const Row &R : Rows) {
    const int Before = S().FStreamMapCount;
    Task.SetOption("map", R.Value);
    const TStreamMap &M = S().FStreamMaps[Before];
    EXPECT_EQ(std::tie(M.FileIndex, M.StreamIndex, M.SyncFileIndex, M.SyncStreamIndex),
              std::tie(R.Expected.FileIndex, R.Expected.StreamIndex, R.Expected.SyncFileIndex,
                       R.Expected.SyncStreamIndex))
        << R.Value;
  }
  while (S().FStreamMapCount < MaxStreams) Task.SetOption("map", "0.0");
  EXPECT_EQ(Error("map", "0.0"), "Too many stream maps: at most 20 are allowed");
  EXPECT_EQ(S().FStreamMapCount, MaxStreams);

  Task.SetOption("map_meta_data", "1:0");
  EXPECT_EQ(S().FMetaDataMaps[0].OutFile, 1);
  EXPECT_EQ(S().FMetaDataMaps[0].InFile, 0);
  while (S().FMetaDataMapCount < MaxFiles) Task.SetOption("map_meta_data", "0:0");
  EXPECT_EQ(Error("map_meta_data", "0:0"), "Too many metadata maps: at most 20 are allowed");
  EXPECT_EQ(S().FMetaDataMapCount, MaxFiles);
}

TEST_F(OptionDispatcher, TimestampScaleTargetsTheNextInputWithinItsTable) {
  Task.SetOption("itsscale", "1:0.5");
  EXPECT_DOUBLE_EQ(S().FInputFilesTSScale[0][1], 0.5);
  S().FInputFileCount = 3;
  Task.SetOption("itsscale", "19:2");
  EXPECT_DOUBLE_EQ(S().FInputFilesTSScale[3][19], 2.0);
  EXPECT_EQ(Error("itsscale", "20:1"), "stream index over MAX_STREAMS(20)");
  EXPECT_EQ(Error("itsscale", "-1:1"), "stream index over MAX_STREAMS(20)");
  S().FInputFileCount = MaxFiles;
  EXPECT_EQ(Error("itsscale", "0:1"), "Too many input files: at most 20 are allowed");
}

TEST_F(OptionDispatcher, MatricesNeedAll64Coefficients) {
  std::string Items;
  for (int I = 0; I < 64; ++I) Items += (I ? "," : "") + std::to_string(I + 8);
  Task.SetOption("intra_matrix", Items);
  ASSERT_TRUE(S().FIntraMatrix.has_value());
  EXPECT_EQ((*S().FIntraMatrix)[0], 8);
  EXPECT_EQ((*S().FIntraMatrix)[63], 71);
  EXPECT_FALSE(S().FInterMatrix.has_value());

  const std::string Short = Items.substr(0, Items.rfind(','));  // 63 items
  EXPECT_EQ(Error("inter_matrix", Short), "Syntax error in matrix \"" + Short + "\" at coeff 62");
  EXPECT_EQ(Error("inter_matrix", "16"), "Syntax error in matrix \"16\" at coeff 0");
  EXPECT_EQ(Error("inter_matrix", ""), "Syntax error in matrix \"\" at coeff 0");

  // Coefficients the encoders cannot take (a 0 makes them divide by zero).
  const struct {
    int At;
    const char *Value;
  } Bad[] = {{0, "0"}, {17, "256"}, {63, "-3"}, {40, "abc"}};
  for (const auto &B : Bad) {
    std::string Text;
    for (int I = 0; I < 64; ++I) Text += std::string(I ? "," : "") + (I == B.At ? B.Value : "16");
    const long Read = std::strtol(B.Value, nullptr, 10);
    EXPECT_EQ(Error("inter_matrix", Text), "Invalid coefficient " + std::to_string(Read) + " in matrix \"" +
                                               Text + "\" at coeff " + std::to_string(B.At) +
                                               ": it must be from 1 to 255")
        << B.Value;
  }
  EXPECT_FALSE(S().FInterMatrix.has_value());
}

TEST_F(OptionDispatcher, FormatsPixelFormatsAndVerbosity) {
  Task.SetOption("f", "avi");
  ASSERT_NE(S().FInputFormat, nullptr);
  ASSERT_NE(S().FOutputFormat, nullptr);
  EXPECT_STREQ(S().FOutputFormat->name, "avi");
  EXPECT_EQ(Error("f", "no-such"), "Unknown input or output format: no-such");
  Task.SetOption("f", "pgmyuv");
  EXPECT_EQ(S().FPGMYUVHack, 1);
  EXPECT_STREQ(S().FOutputFormat->name, "image2");
  EXPECT_EQ(Logged.back(), "pgmyuv format is deprecated, use image2");

  Task.SetOption("pix_fmt", "yuv422p");
  EXPECT_EQ(S().FFramePixFmt, AV_PIX_FMT_YUV422P);
  Logged.clear();
  Task.SetOption("pix_fmt", "list");
  EXPECT_EQ(Logged.size(), 41u);
  EXPECT_EQ(S().FFramePixFmt, AV_PIX_FMT_YUV422P) << "listing changes nothing";
  for (const std::string &Line : Logged) EXPECT_EQ(Line, Trim(Line));

  Task.SetOption("v", "0");
  EXPECT_EQ(S().FVerbose, 0);
  EXPECT_EQ(CachedLogLevel(), AV_LOG_ERROR);
  Task.SetOption("v", "-1");
  EXPECT_EQ(CachedLogLevel(), AV_LOG_QUIET);
  Task.SetOption("v", "1");

  Task.SetOption("vstats", "");
  EXPECT_TRUE(
      std::regex_match(S().FVStatsFileName, std::regex(ExecutableDirectory() + "/vstats_[0-9]{6}\\.log")))
      << S().FVStatsFileName;
}

TEST_F(OptionDispatcher, NewStreamsNeedAnOutputAndUnknownNamesAreDroppedSilently) {
  for (const char *Name : {"newvideo", "newaudio", "newsubtitle"})
    EXPECT_EQ(Error(Name, ""), "At least one output file must be specified");
  Logged.clear();
  EXPECT_EQ(Error("no_such_option", "1"), "");
  EXPECT_TRUE(Logged.empty());
  EXPECT_TRUE(S().FOptNames.empty());
}

TEST_F(OptionDispatcher, BitrateBelow1000WarnsThatItTakesBitsPerSecond) {
  const std::string Warning =
      "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
  struct Row {
    const char *Name, *Value;
    bool Warns;
  } Rows[] = {{"b", "500", true},    {"b", "500000", false}, {"vb", "999", true},
              {"vb", "1000", false}, {"ab", "64", true},     {"ab", "64000", false}};
  for (const Row &R : Rows) {
    Logged.clear();
    Task.SetOption(R.Name, R.Value);
    EXPECT_EQ(!Logged.empty() && Logged.back() == Warning, R.Warns) << R.Name << " " << R.Value;
  }
  Task.FOnLog = nullptr;
  Task.SetOption("b", "5");  // no handler: no warning, no harm
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 5);
}

}  // namespace
}  // namespace korvane::test
