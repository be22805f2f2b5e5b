// SPDX-License-Identifier: GPL-3.0-or-later
// Library options set by name reach the right holder, under the names the
// present library uses.
#include "TaskFixture.h"

namespace korvane::test {
namespace {

using GenericOptions = TaskTest;

TEST_F(GenericOptions, BitRatesAndVideoSettingsReachTheirOwnHolders) {
  const int64_t AudioDefault = CodecInt(AVMEDIA_TYPE_AUDIO, "b");
  const int64_t VideoDefault = CodecInt(AVMEDIA_TYPE_VIDEO, "b");
  struct Row {
    const char *Name, *Value;
    AVMediaType Type;
    const char *PresentName;
    int64_t Expected;
  } Rows[] = {
      {"b", "1150000", AVMEDIA_TYPE_VIDEO, "b", 1150000},
      {"vb", "800000", AVMEDIA_TYPE_VIDEO, "b", 800000},
      {"gop", "18", AVMEDIA_TYPE_VIDEO, "g", 18},
      {"g", "12", AVMEDIA_TYPE_VIDEO, "g", 12},
      {"maxrate", "9000000", AVMEDIA_TYPE_VIDEO, "maxrate", 9000000},
      {"minrate", "1150000", AVMEDIA_TYPE_VIDEO, "minrate", 1150000},
      {"bufsize", "1835008", AVMEDIA_TYPE_VIDEO, "bufsize", 1835008},
      {"bt", "4000", AVMEDIA_TYPE_VIDEO, "bt", 4000},
      {"ab", "96000", AVMEDIA_TYPE_AUDIO, "ab", 96000},  // the library still knows "ab" as audio only
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    Task.PrepareOptions();
    EXPECT_TRUE(Task.SetGenericOption(R.Name, R.Value));
    EXPECT_EQ(CodecInt(R.Type, R.PresentName), R.Expected);
    EXPECT_EQ(S().FOptNames, std::vector<std::string>{R.PresentName});
    // A video setting leaves the audio encoder's bit rate, and the other way round.
    if (R.Type == AVMEDIA_TYPE_VIDEO) {
      EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), AudioDefault);
    } else {
      EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), VideoDefault);
    }
  }
  EXPECT_TRUE(Task.SetGenericOption("ab", int64_t{64000}));
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 64000);
}

TEST_F(GenericOptions, FlagsKeepTheirOldSpellingAndScanOffsetGoesToTheEncoder) {
  EXPECT_TRUE(Task.SetGenericOption("flags", "+SCAN_OFFSET"));
  EXPECT_EQ(S().FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO].at("scan_offset"), "1");

  Task.PrepareOptions();
  EXPECT_TRUE(Task.SetGenericOption("flags", "+ILDCT+scan_offset+ilme"));
  EXPECT_EQ(
      CodecInt(AVMEDIA_TYPE_VIDEO, "flags") & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME),
      AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME);
  EXPECT_EQ(S().FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO].at("scan_offset"), "1");
  EXPECT_EQ(S().FOptNames, std::vector<std::string>{"flags"});

  EXPECT_TRUE(Task.SetGenericOption("flags", "-scan_offset"));
  EXPECT_EQ(S().FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO].at("scan_offset"), "0");
  EXPECT_FALSE(Task.SetGenericOption("flags", "+no_such_flag"));
}

TEST_F(GenericOptions, ContainerAndScalerOptions) {
  EXPECT_TRUE(Task.SetGenericOption("packetsize", "2324"));
  EXPECT_EQ(S().FFormatOptions->packet_size, 2324u);
  EXPECT_TRUE(Task.SetGenericOption("muxrate", "10080000"));
  EXPECT_EQ(S().FFormatPrivateOptions.at("muxrate"), "10080000");
  EXPECT_TRUE(Task.SetGenericOption("sws_flags", "bilinear"));
  int64_t Flags = 0;
  LibAVUtil::av_opt_get_int(S().FScaleOptions.get(), "sws_flags", 0, &Flags);
  EXPECT_EQ(Flags, SWS_BILINEAR);
  EXPECT_EQ(S().FOptNames, (std::vector<std::string>{"packetsize", "sws_flags"}));
}

TEST_F(GenericOptions, UnknownEmptyOrBadValuesReturnFalseSilently) {
  TLogCapture LibraryLog;
  struct Row {
    const char *Name, *Value;
  } Rows[] = {{"no_such_option", "1"}, {"", "1"},  {"b", ""}, {"b", "   "}, {"  ", "1"},
              {"b", "fast"},           {"a", "1"}, {"v", "1"}};
  for (const Row &R : Rows) EXPECT_FALSE(Task.SetGenericOption(R.Name, R.Value)) << R.Name << "=" << R.Value;
  EXPECT_TRUE(S().FOptNames.empty());
  EXPECT_TRUE(Logged.empty());
  for (const std::string &Line : LibraryLog.Texts())
    EXPECT_EQ(Line.find("no_such_option"), std::string::npos);
}

TEST_F(GenericOptions, DebugTurnsOnDebugLogging) {
  EXPECT_TRUE(Task.SetGenericOption("debug", "1"));
  EXPECT_EQ(S().FVerbose, 2);
  EXPECT_EQ(CachedLogLevel(), AV_LOG_DEBUG);
}

TEST_F(GenericOptions, UnpreparedTaskTakesNoLibraryOptions) {
  TFFmpeg Fresh;
  EXPECT_FALSE(Fresh.SetGenericOption("b", "1000"));
}

}  // namespace
}  // namespace korvane::test
