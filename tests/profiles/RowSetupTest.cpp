// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of setting a row up that every front end shares: the volume
// bar's values, a row's output options, and the file list's texts.
#include <gtest/gtest.h>

#include "RowSetup.h"

namespace korvane::test {
namespace {

TEST(RowSetup, VolumeBarPositions) {
  const int Values[] = {1, 50, 100, 150, 200, 256, 300, 350, 400, 450, 600};
  for (int P = 0; P < VolumePositions; ++P) {
    EXPECT_EQ(VolumeValue(P), Values[P]) << P;
    EXPECT_EQ(VolumeLabel(P), std::to_string(P * 20) + "%") << P;
  }
  EXPECT_EQ(VolumeValue(-3), 1);
  EXPECT_EQ(VolumeValue(42), 600);
}

TEST(RowSetup, RowOptionsAddVolumeAndAspectToTheProfile) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.Select("AVI - Audio Video Interleave (*.avi)");
  ASSERT_TRUE(ChangeOutputFormat(Form));
  struct Row {
    int Aspect;
    const char *Size;
    double DisplayAspect;  // of non-square pixels, else 0
    const char *Expected;
  } Rows[] = {{0, "720x576", 0, "1.25"},          {0, " ", 0, "1.3333"},
              {1, "720x576", 0, "4:3"},           {2, "720x576", 0, "16:9"},
              {0, "720x576", 16.0 / 9, "1.7778"}, {1, "720x576", 16.0 / 9, "4:3"}};
  for (const Row &R : Rows) {
    Form.ComboAspectRatio.ItemIndex = R.Aspect;
    const TOutputOptions Options = RowOutputOptions(Form, DefaultVolumePosition, R.Size, R.DisplayAspect);
    EXPECT_EQ(Options.FrameAspectRatio, R.Expected);
    EXPECT_EQ(Options.AudioVolume, 256);
    EXPECT_FALSE(Options.CustomHook);
    EXPECT_FALSE(Options.BeforeHook);
  }
  EXPECT_EQ(RowOutputOptions(Form, 10, "").AudioVolume, 600);
}

// A picture shown a quarter turn keeps its shape inside a frame size the
// profile or the user set (bars at its sides), letterbox chosen or not;
// without a frame size the engine's turned source size is the frame. Other
// pictures get the letterbox only when it is chosen.
TEST(RowSetup, TurnedPicturesKeepTheirShapeInAFixedFrame) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.Select("AVI - Audio Video Interleave (*.avi)");
  ASSERT_TRUE(ChangeOutputFormat(Form));
  struct Row {
    const char *Choice, *Size;
    int Rotation;
    bool LetterBox;
    const char *FrameSize;
    int PadLeft, PadRight, PadTop;  // -1: none set
  } Rows[] = {
      {"640 x 480", "720x1280", 90, false, "270x480", 184, 186, 0},
      {"640 x 480", "720x1280", 270, true, "270x480", 184, 186, 0},
      {"Original Video Size", "720x1280", 90, false, "", -1, -1, -1},
      {"640 x 480", "1280x720", 180, false, "640x480", -1, -1, -1},
      {"640 x 480", "1280x720", 0, true, "640x360", 0, 0, 60},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Choice) + " " + R.Size + " " + std::to_string(R.Rotation));
    Form.ComboVideoSize.Select(R.Choice);
    const TOutputOptions Options =
        RowConversionOptions(Form, DefaultVolumePosition, R.Size, 0, R.Rotation, R.LetterBox);
    EXPECT_EQ(Options.FrameSize, R.FrameSize);
    EXPECT_EQ(Options.PadLeft, R.PadLeft);
    EXPECT_EQ(Options.PadRight, R.PadRight);
    EXPECT_EQ(Options.PadTop, R.PadTop);
  }
}

TEST(RowSetup, FileListTexts) {
  struct RateRow {
    int Num, Den;
    const char *Text;
  } Rates[] = {{30000, 1001, "29.97"}, {24000, 1001, "23.98"}, {25, 1, "25"}, {15, 2, "7.5"}, {0, 0, " "}};
  for (const RateRow &R : Rates) EXPECT_EQ(FrameRateText(R.Num, R.Den), R.Text) << R.Num << "/" << R.Den;
  struct DurationRow {
    int64_t Microseconds;
    const char *Text;
  } Durations[] = {{3725900000, "01:02:05"},
                   {360000000000, "100:00:00"},
                   {0, "00:00:00"},
                   {AV_NOPTS_VALUE, "Unknown"},
                   {-5000000, "Unknown"}};
  for (const DurationRow &R : Durations) EXPECT_EQ(DurationText(R.Microseconds), R.Text) << R.Microseconds;
}

}  // namespace
}  // namespace korvane::test
