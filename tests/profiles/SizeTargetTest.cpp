// SPDX-License-Identifier: GPL-3.0-or-later
// A target size shared over a file's length: the sizes people type, the
// rates a target gives sound and pictures, and the targets refused.
#include <gtest/gtest.h>

#include <cmath>

#include "SizeTarget.h"

namespace korvane {
namespace {

constexpr double KB = 1024, MB = 1024 * KB, GB = 1024 * MB;

TEST(SizeTarget, SizesReadAsTypedInUnitsOf1024) {
  const struct {
    const char *Text;
    std::optional<double> Bytes;
  } Rows[] = {
      {"25M", 25 * MB},         {"600K", 600 * KB},    {"1.5G", 1.5 * GB}, {"10 MB", 10 * MB},
      {" 25MiB ", 25 * MB},     {"1048576", MB},       {"2m", 2 * MB},     {"0", 0.0},
      {"-5M", -5 * MB},         {"5X", std::nullopt},  {"", std::nullopt}, {"M", std::nullopt},
      {"10 M B", std::nullopt}, {"nan", std::nullopt},
  };
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Text);
    EXPECT_EQ(ReadByteSize(Row.Text), Row.Bytes);
  }
  EXPECT_EQ(ByteSizeText(830), "830 bytes");
  EXPECT_EQ(ByteSizeText(600 * KB), "600 KB");
  EXPECT_EQ(ByteSizeText(5.93 * MB), "5.9 MB");
  EXPECT_EQ(ByteSizeText(1.4 * GB), "1.4 GB");
  EXPECT_EQ(FileSizeItemBytes("File Size: 25 MB"), int64_t(25 * MB));
  EXPECT_EQ(FileSizeItemBytes("2000 Kbps"), std::nullopt);
}

// The sound gets its rate first (at most a quarter of the budget), the
// pictures the rest, less the container's share; the whole fits the target
// a few parts in a hundred under it.
TEST(SizeTarget, ATargetIsSharedOverTheLength) {
  const struct {
    double Target, Seconds;
    bool Video;
    int Tracks, AudioKbps, Least, Most;
    int WantVideo, WantAudio;  // kbit/s, within 1 %
  } Rows[] = {
      {25 * MB, 60, true, 1, 160, 32, 320, 3216, 160},  // a minute in a mail
      {10 * MB, 120, true, 1, 128, 32, 320, 545, 128},  // two minutes in a chat
      {5 * MB, 120, true, 2, 192, 32, 320, 253, 41},    // the sound cut to a quarter
      {100 * MB, 600, true, 1, 0, 32, 320, 1226, 128},  // the encoder's own sound rate: 128 kbit/s
      {500 * KB, 60, false, 1, 128, 24, 510, 0, 65},    // sound only: the whole budget
      {3.6 * MB, 60, false, 1, 128, 24, 510, 0, 482},   // near what the encoder reaches
  };
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Target / MB);
    SCOPED_TRACE(Row.Seconds);
    TSizeNeeds Needs;
    Needs.Seconds = Row.Seconds;
    Needs.Video = Row.Video;
    Needs.AudioTracks = Row.Tracks;
    Needs.AudioKbps = Row.AudioKbps;
    Needs.MinAudioKbps = Row.Least;
    Needs.MaxAudioKbps = Row.Most;
    const TSizeBudget Budget = PlanSize(Row.Target, Needs);
    ASSERT_EQ(Budget.Refusal, "");
    EXPECT_NEAR(Budget.VideoKbps, Row.WantVideo, Row.WantVideo / 100.0 + 1);
    EXPECT_EQ(Budget.AudioKbps, Row.WantAudio);
    EXPECT_FALSE(Budget.Roomy);
    const double Bytes = BytesAtRates(Row.Seconds, Budget.VideoKbps, Budget.AudioKbps, Row.Tracks);
    EXPECT_LE(Bytes, Row.Target);
    EXPECT_GT(Bytes, Row.Target * 0.95);
  }
}

// A target above what any picture needs (or, for sound alone, above what
// the encoder codes) plans no rates: the profile's own quality meets it.
// However large, no rate comes out negative or wraps around.
TEST(SizeTarget, ATargetAboveWhatTheStreamsUseKeepsTheProfilesQuality) {
  const struct {
    double Target, Seconds;
    bool Video;
    bool Roomy;
  } Rows[] = {
      {50 * MB, 60, false, true},      // 6.6 Mbit/s of sound
      {900 * GB, 2, true, true},       // 3.8 Tbit/s of pictures
      {900 * GB, 2, false, true},      //
      {MostFileBytes, 2, true, true},  //
      {2 * GB, 600, true, false},      // 28 Mbit/s: within the encoders' reach
  };
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Target / MB);
    TSizeNeeds Needs;
    Needs.Seconds = Row.Seconds;
    Needs.Video = Row.Video;
    Needs.AudioTracks = 1;
    Needs.AudioKbps = 128;
    Needs.MaxAudioKbps = 510;
    const TSizeBudget Budget = PlanSize(Row.Target, Needs);
    EXPECT_EQ(Budget.Refusal, "");
    EXPECT_EQ(Budget.Roomy, Row.Roomy);
    EXPECT_GE(Budget.VideoKbps, 0);
    EXPECT_GE(Budget.AudioKbps, 0);
    EXPECT_EQ(Budget.VideoKbps > 0, Row.Video && !Row.Roomy);
  }
  // A sound-only try far under its target aims at most three times higher.
  EXPECT_EQ(CorrectedAudioKbps(500, 900 * GB, 100 * KB), 1500);
  EXPECT_EQ(CorrectedAudioKbps(100, 10 * MB, 11 * MB), 88);
}

TEST(SizeTarget, TargetsThatCannotBeMetAreRefusedWithTheLeastSensibleSize) {
  const struct {
    double Target, Seconds;
    bool Video;
    const char *Refusal;
  } Rows[] = {
      {10 * KB, 30, true, "10 KB is too small for 30 s; at least 620 KB"},
      {10 * MB, 600, true, "10 MB is too small for 10 min; at least 12 MB"},
      {2 * MB, 7260, false, "2.0 MB is too small for 2 h 1 min; at least 29 MB"},
      {10 * KB, 1.5, true, "10 KB is too small for 1.5 s; at least 35 KB"},
      {1 * MB, -1, true, "its length is not known (a live stream dump?)"},
      {0, 30, true, "a target size must be more than 0"},
      {-5 * MB, 30, true, "a target size must be more than 0"},
  };
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Refusal);
    TSizeNeeds Needs;
    Needs.Seconds = Row.Seconds;
    Needs.Video = Row.Video;
    Needs.AudioTracks = 1;
    Needs.AudioKbps = 128;
    EXPECT_EQ(PlanSize(Row.Target, Needs).Refusal.substr(0, std::string(Row.Refusal).size()), Row.Refusal);
  }
}

// Few bits a pixel: a smaller picture of the same shape is suggested, the
// size stays the user's.
TEST(SizeTarget, AStarvedPictureGetsASmallerSizeSuggested) {
  TSizeNeeds Needs;
  Needs.Seconds = 600;
  Needs.Video = true;
  Needs.AudioTracks = 1;
  Needs.AudioKbps = 96;
  Needs.Width = 1920;
  Needs.Height = 1080;
  Needs.FrameRate = 25;
  const TSizeBudget Starved = PlanSize(50 * MB, Needs);
  EXPECT_EQ(Starved.Refusal, "");
  EXPECT_NE(Starved.Advice.find("at 1920x1080"), std::string::npos) << Starved.Advice;
  EXPECT_NE(Starved.Advice.find("640x360 would look better"), std::string::npos) << Starved.Advice;
  EXPECT_EQ(PlanSize(2 * GB, Needs).Advice, "");
  // A try that came out 10 % over aims lower, one 20 % under aims higher.
  const double Target = 10 * MB, Audio = MB;
  EXPECT_LT(CorrectedVideoKbps(1000, Target, Target * 1.1, Audio), 900);
  EXPECT_GT(CorrectedVideoKbps(1000, Target, Target * 0.8, Audio), 1150);
}

}  // namespace
}  // namespace korvane
