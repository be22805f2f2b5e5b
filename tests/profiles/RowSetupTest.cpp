// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of setting a row up that every front end shares: the volume
// bar's values, a row's output options, and the file list's texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

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

// No zoom, aspect or size choice of any profile asks the engine for an odd
// size or bar, whatever the source's size, turn or pixel shape: the
// encoders of 4:2:0 pictures refuse them. With the letterbox the frame
// keeps the size chosen (the source's, brought to even numbers, without one).
TEST(RowSetup, NoChoiceAsksForAnOddSize) {
  const TSourcePicture Sources[] = {
      {720, 405},           {721, 405},           {405, 720, 0, 90},   {1280, 720},
      {720, 576, 16.0 / 9}, {703, 405, 16.0 / 9}, {641, 481, 4.0 / 3}, {1920, 1080, 0, 270},
  };
  const auto Even = [](int Value) { return Value == -1 || Value % 2 == 0; };  // a bar of -1 is none
  std::vector<std::string> Odd;
  int Tried = 0;
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  const std::vector<std::string> Profiles = Form.ComboOutputFormat.Items;
  for (const std::string &Profile : Profiles) {
    Form.ComboOutputFormat.Select(Profile);
    if (!ChangeOutputFormat(Form)) continue;  // a separator row
    const std::vector<std::string> SizeItems = Form.ComboVideoSize.Items;
    for (const std::string &SizeItem : SizeItems)
      for (int Aspect = 0; Aspect < 3; ++Aspect)
        for (const TSourcePicture &Source : Sources)
          for (const bool LetterBox : {false, true}) {
            Form.ComboVideoSize.Select(SizeItem);
            Form.ComboAspectRatio.ItemIndex = Aspect;
            const TOutputOptions O = RowConversionOptions(Form, DefaultVolumePosition, Source, LetterBox);
            if (O.VideoDisable || O.VideoCodec == "copy") continue;
            ++Tried;
            int Width = Source.Width / 2 * 2, Height = Source.Height / 2 * 2;
            if (!O.FrameSize.empty() && std::sscanf(O.FrameSize.c_str(), "%dx%d", &Width, &Height) != 2)
              Width = Height = -1;
            const auto Pad = [](int Value) { return std::max(Value, 0); };
            const int FrameWidth = Width + Pad(O.PadLeft) + Pad(O.PadRight);
            const int FrameHeight = Height + Pad(O.PadTop) + Pad(O.PadBottom);
            const bool Fine = Width > 0 && Height > 0 && Even(Width) && Even(Height) && Even(O.PadLeft) &&
                              Even(O.PadRight) && Even(O.PadTop) && Even(O.PadBottom);
            // The letterbox's frame: the size chosen, else the source's made even.
            const TOutputOptions Chosen = RowOutputOptions(Form, DefaultVolumePosition, Source);
            int ChosenWidth = Source.Width / 2 * 2, ChosenHeight = Source.Height / 2 * 2;
            std::sscanf(Chosen.FrameSize.c_str(), "%dx%d", &ChosenWidth, &ChosenHeight);
            const bool Framed = !LetterBox || (FrameWidth == ChosenWidth && FrameHeight == ChosenHeight);
            if ((!Fine || !Framed) && Odd.size() < 10)
              Odd.push_back(Profile + ", " + SizeItem + ", aspect " + std::to_string(Aspect) + ", " +
                            std::to_string(Source.Width) + "x" + std::to_string(Source.Height) + "/" +
                            std::to_string(Source.Rotation) + (LetterBox ? ", letterbox: " : ": ") +
                            O.FrameSize);
          }
  }
  EXPECT_GT(Tried, 1000);
  for (const std::string &Line : Odd) ADD_FAILURE() << Line;
}

// Where the letterbox puts bars. The old formats show a frame of the
// "Original" aspect with square pixels; the modern ones with the
// picture's shape, so there the bars come only for a 4:3 or 16:9 frame.
TEST(RowSetup, LetterBoxBarsByFormat) {
  const char *const Avi = "AVI - Audio Video Interleave (*.avi)";
  const char *const H264 = "MP4 - H.264 Video, AAC Audio (*.mp4)";
  const char *const Vp9 = "WebM - VP9 Video, Opus Audio (*.webm)";
  const char *const Source = "Original Video Size";
  struct Row {
    const char *Profile, *Size;
    int Aspect;
    TSourcePicture Picture;
    const char *FrameSize, *FrameAspect;
    int Pads[4];  // top, bottom, left, right
  } Rows[] = {
      {Avi, Source, 0, {720, 576, 16.0 / 9}, "720x406", "1.25", {84, 86, 0, 0}},
      {Avi, Source, 0, {720, 405}, "720x404", "1.7778", {0, 0, 0, 0}},
      {H264, Source, 0, {720, 576, 16.0 / 9}, "720x576", "1.7778", {0, 0, 0, 0}},
      {H264, Source, 0, {720, 405}, "720x404", "1.7778", {0, 0, 0, 0}},
      {H264, "1280 x 720 (720p)", 1, {1920, 1080}, "960x540", "4:3", {90, 90, 0, 0}},
      {Vp9, Source, 2, {640, 480}, "480x480", "16:9", {0, 0, 80, 80}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Profile) + " " + R.Size + " " + std::to_string(R.Aspect));
    TProfileForm Form;
    FillOutputFormatList(Form.ComboOutputFormat);
    Form.ComboOutputFormat.Select(R.Profile);
    ASSERT_TRUE(ChangeOutputFormat(Form));
    Form.ComboVideoSize.Select(R.Size);
    Form.ComboAspectRatio.ItemIndex = R.Aspect;
    const TOutputOptions O = RowConversionOptions(Form, DefaultVolumePosition, R.Picture, true);
    EXPECT_EQ(O.FrameSize, R.FrameSize);
    EXPECT_EQ(O.FrameAspectRatio, R.FrameAspect);
    EXPECT_EQ(std::vector<int>({O.PadTop, O.PadBottom, O.PadLeft, O.PadRight}),
              std::vector<int>(std::begin(R.Pads), std::end(R.Pads)));
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
