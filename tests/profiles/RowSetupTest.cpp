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
    TSourcePicture Picture;  // the display aspect set for non-square pixels
    const char *Expected;
  } Rows[] = {{0, {720, 576}, "1.25"},
              {0, {}, "1.3333"},  // sound alone: the shape of 640x480
              {0, {1920, 0}, "1.3333"},
              {0, {1080, 1920, 0, 90}, "0.5625"},
              {1, {720, 576}, "4:3"},
              {2, {720, 576}, "16:9"},
              {0, {720, 576, 16.0 / 9}, "1.7778"},
              {1, {720, 576, 16.0 / 9}, "4:3"}};
  for (const Row &R : Rows) {
    Form.ComboAspectRatio.ItemIndex = R.Aspect;
    const TOutputOptions Options = RowOutputOptions(Form, DefaultVolumePosition, R.Picture);
    EXPECT_EQ(Options.FrameAspectRatio, R.Expected);
    EXPECT_EQ(Options.AudioVolume, 256);
    EXPECT_FALSE(Options.CustomHook);
    EXPECT_FALSE(Options.BeforeHook);
  }
  EXPECT_EQ(RowOutputOptions(Form, 10, {}).AudioVolume, 600);
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
    const char *Choice;
    TSourcePicture Picture;
    bool LetterBox;
    const char *FrameSize;
    int PadLeft, PadRight, PadTop;  // -1: none set
  } Rows[] = {
      {"640 x 480", {720, 1280, 0, 90}, false, "270x480", 184, 186, 0},
      {"640 x 480", {720, 1280, 0, 270}, true, "270x480", 184, 186, 0},
      {"Original Video Size", {720, 1280, 0, 90}, false, "", -1, -1, -1},
      {"640 x 480", {1280, 720, 0, 180}, false, "640x480", -1, -1, -1},
      {"640 x 480", {1280, 720}, true, "640x360", 0, 0, 60},
      {"640 x 480", {}, true, "640x480", -1, -1, -1},  // sound alone: no bars
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Choice) + " " + std::to_string(R.Picture.Width) + "x" +
                 std::to_string(R.Picture.Height) + " " + std::to_string(R.Picture.Rotation));
    Form.ComboVideoSize.Select(R.Choice);
    const TOutputOptions Options = RowConversionOptions(Form, DefaultVolumePosition, R.Picture, R.LetterBox);
    EXPECT_EQ(Options.FrameSize, R.FrameSize);
    EXPECT_EQ(Options.PadLeft, R.PadLeft);
    EXPECT_EQ(Options.PadRight, R.PadRight);
    EXPECT_EQ(Options.PadTop, R.PadTop);
  }
}

// The probe's facts of a video stream become the picture as it is shown:
// turned sizes and shapes, a display aspect only for pixels that are not
// square, the HDR kind from the transfer, the frame rate.
TEST(RowSetup, ProbedPictures) {
  struct Row {
    const char *Name;
    int Width, Height;
    float Aspect;  // the probe's display aspect; 0: pixel shape unknown
    int Rotation, Transfer, RateNum, RateDen;
    bool Turned;  // as shown (the engine's default) or as stored
    TSourcePicture Picture;
  } Rows[] = {
      {"square", 640, 480, 4.0f / 3, 0, AVCOL_TRC_BT709, 25, 1, true, {640, 480, 0, 0, THdrKind::None, 25}},
      {"PAL 16:9", 720, 576, 16.0f / 9, 0, -1, 25, 1, true, {720, 576, 16.0 / 9, 0, THdrKind::None, 25}},
      {"phone upright",
       1920,
       1080,
       16.0f / 9,
       90,
       AVCOL_TRC_ARIB_STD_B67,
       30000,
       1001,
       true,
       {1080, 1920, 0, 90, THdrKind::HLG, 30000.0 / 1001}},
      {"phone as stored",
       1920,
       1080,
       16.0f / 9,
       90,
       AVCOL_TRC_SMPTE2084,
       0,
       0,
       false,
       {1920, 1080, 0, 0, THdrKind::PQ, 0}},
      {"turned 16:9 PAL",
       720,
       576,
       16.0f / 9,
       270,
       -1,
       25,
       1,
       true,
       {576, 720, 9.0 / 16, 270, THdrKind::None, 25}},
      {"no size", 0, 0, 0, -1, -1, 25, 0, true, {0, 0, 0, 0, THdrKind::None, 0}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    TAVVideoStreamInfo Video;
    Video.Width = R.Width;
    Video.Height = R.Height;
    Video.AspectRatio = R.Aspect;
    Video.Rotation = R.Rotation;
    Video.ColorTransfer = R.Transfer;
    Video.FrameRateNum = R.RateNum;
    Video.FrameRateDen = R.RateDen;
    const TSourcePicture P = ProbedPicture(Video, R.Turned);
    EXPECT_EQ(P.Width, R.Picture.Width);
    EXPECT_EQ(P.Height, R.Picture.Height);
    EXPECT_NEAR(P.DisplayAspect, R.Picture.DisplayAspect, 1e-4);
    EXPECT_EQ(P.Rotation, R.Picture.Rotation);
    EXPECT_EQ(P.Hdr, R.Picture.Hdr);
    EXPECT_NEAR(P.FrameRate, R.Picture.FrameRate, 1e-6);
    EXPECT_EQ(P.Present(), R.Width > 0);
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
