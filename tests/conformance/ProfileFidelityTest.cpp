// SPDX-License-Identifier: GPL-3.0-or-later
// Profiles on sources that used to come out wrong: a time base whose terms
// the MPEG-4 family cannot hold, pictures with non-square pixels under
// "Original", clips shot upright on a phone, and surround sound for players
// that take two channels. Each row is set up as the conversion queue does
// it.
#include "ConversionFixture.h"
#include "PictureCheck.h"
#include "ProfileCatalogue.h"
#include "ProfileOptions.h"
#include "ProfileSettings.h"
#include "RowSetup.h"

namespace korvane::test {
namespace {

using ProfileFidelity = TranscodeTest;

TProfileForm FormFor(std::string_view Profile) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.Select(std::string(Profile));
  ChangeOutputFormat(Form);
  return Form;
}

// Converts Source as a row of the queue would: probed, then the profile's
// options with volume, aspect and (for turned pictures) the letterbox.
TConversion ConvertRow(const std::string &Source, const std::string &Target, const TProfileForm &Form) {
  TAVProbe Probe;
  TFileRowTexts Row;
  if (Probe.LoadFile(Source, "")) Row = FileRowTexts(Probe);
  const TOutputOptions Options = RowConversionOptions(Form, DefaultVolumePosition, Row.Picture, false);
  return Convert(Source, Target, [&](TInputOptions &, TOutputOptions &O) {
    const std::string Name = O.FileName;
    O = Options;
    O.FileName = Name;
  });
}

std::string Extension(const TCatalogueRow &Profile) {
  std::string Text(Profile.Extension);
  for (char &C : Text) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Text;
}

TEST_F(ProfileFidelity, MpegFourFamilyTakesATimeBaseOfLargeTerms) {
  // 15 fps Cinepak whose stream counts in steps of 66667/1000000 s.
  const std::string Source = Out("cinepak.avi");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=1000000/66667:duration=0.2 -c:v cinepak '" +
                        Source + "'"));
  int Converted = 0;
  for (const TCatalogueRow &Profile : OutputProfileCatalogue()) {
    if (Profile.IsSeparator()) continue;
    const TProfileForm Form = FormFor(Profile.DisplayText);
    TOutputOptions Settings;
    ApplyProfileSettings(Form, Settings);
    const std::string &Codec = Settings.VideoCodec;
    if (Settings.VideoDisable || (Codec != "mpeg4" && Codec != "libxvid" && Codec != "msmpeg4")) continue;
    SCOPED_TRACE(Profile.DisplayText);
    const std::string Target = Out("timebase-" + std::to_string(Converted++) + "." + Extension(Profile));
    const TConversion C = ConvertRow(Source, Target, Form);
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target, true);
    EXPECT_EQ(P.Errors, "");
    EXPECT_GE(Number(P.Stream("video"), "nb_read_frames"), 3);
    std::filesystem::remove(Target);
  }
  EXPECT_GE(Converted, 20);
}

TEST_F(ProfileFidelity, OriginalAspectKeepsTheShapeOfNonSquarePixels) {
  // 720x576 pictures meant for 16:9 (sample aspect 64:45), and 720x404
  // ones whose pixels are a hair narrower than square (404:405).
  const std::string Pal = Out("anamorphic-source.avi"), Wide = Out("narrow-pixels.mp4");
  ASSERT_TRUE(RunFFmpeg(
      "-f lavfi -i testsrc=size=720x576:rate=25:duration=0.2 -vf setsar=64/45 -c:v mpeg4 '" + Pal + "'"));
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=720x404:rate=25:duration=0.2 -vf setsar=r=404/405:max=1000 "
                "-c:v libx264 -preset ultrafast '" +
                Wide + "'"));
  struct Row {
    std::string Source;
    const char *Profile;
    const char *PixelAspect;  // the output's, exactly; none: only its shape is checked
  } Rows[] = {
      {Pal, "MP4 - MPEG4 Video (*.mp4)", nullptr},
      {Pal, "AVI - XviD Video (*.avi)", nullptr},
      {Pal, "DVD - VOB (*.vob)", nullptr},
      // Kept exactly, as a copy would keep it, where the codec holds it.
      {Wide, "MP4 - H.264 Video, AAC Audio (*.mp4)", "404:405"},
      {Wide, "MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", "404:405"},
      {Wide, "MKV - Matroska Video, every track (*.mkv)", "404:405"},
  };
  int Converted = 0;
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile);
    TProfileForm Form = FormFor(R.Profile);
    Form.ComboAspectRatio.ItemIndex = 0;  // "Original"
    const std::string Target =
        Out("anamorphic-" + std::to_string(Converted++) + "." + Extension(*FindProfile(R.Profile)));
    const TConversion C = ConvertRow(R.Source, Target, Form);
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    const auto *Video = P.Stream("video");
    ASSERT_NE(Video, nullptr);
    int SarNum = 0, SarDen = 0;
    ASSERT_EQ(std::sscanf(Video->at("sample_aspect_ratio").c_str(), "%d:%d", &SarNum, &SarDen), 2);
    const double Display = Number(Video, "width") * SarNum / SarDen / Number(Video, "height");
    EXPECT_NEAR(Display, 16.0 / 9, 0.01);
    EXPECT_EQ(Video->at("sample_aspect_ratio"),
              R.PixelAspect ? R.PixelAspect : Video->at("sample_aspect_ratio"));
  }
}

// A phone's clip shot upright (stored 320x180 lying on its side, a white
// box in the stored top-left corner) comes out upright, without a display
// matrix: the frame turns with the picture under "Original Video Size", and
// a fixed landscape frame gets the turned picture in its middle with black
// bars at its sides, never stretched.
TEST_F(ProfileFidelity, ClipShotUprightComesOutUpright) {
  struct TSpot {
    int X, Y, Width, Height;
    double Luma;  // the average there, within 12: white box 235, grey 126, black bars 8 (0 to 16)
  };
  struct Row {
    const char *Profile, *Size;  // the "Video Size" choice
    int Width, Height;
    const char *Shape;  // display aspect ratio
    std::vector<TSpot> Spots;
  } Rows[] = {
      {"MP4 - MPEG4 Video (*.mp4)",
       "Original Video Size",
       180,
       320,
       "9:16",
       {{150, 8, 24, 48, 235}, {6, 8, 24, 48, 126}, {6, 264, 24, 48, 126}}},
      // The picture 136x240 from column 92: the box at its top right.
      {"PSP Video (*.mp4)",
       "320 x 240",
       320,
       240,
       "4:3",
       {{0, 0, 88, 240, 8},
        {232, 0, 88, 240, 8},
        {206, 4, 16, 36, 235},
        {98, 4, 16, 36, 126},
        {98, 200, 120, 36, 126}}},
      // The modern formats: a size sets the height of the upright picture.
      {"WebM - VP9 Video, Opus Audio (*.webm)",
       "Original Video Size",
       180,
       320,
       "9:16",
       {{150, 8, 24, 48, 235}, {6, 8, 24, 48, 126}}},
      {"MKV - Matroska Video, every track (*.mkv)",
       "854 x 480 (480p)",
       270,
       480,
       "9:16",
       {{226, 12, 30, 60, 235}, {10, 12, 30, 60, 126}, {10, 400, 250, 60, 126}}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile);
    TProfileForm Form = FormFor(R.Profile);
    Form.ComboVideoSize.Select(R.Size);
    ASSERT_EQ(Form.ComboVideoSize.Text(), R.Size);
    std::string Extension(FindProfile(R.Profile)->Extension);
    for (char &C : Extension) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    const std::string Target = Out(std::string("upright-") + std::to_string(R.Width) + "." + Extension);
    const TConversion C = ConvertRow(Clips.Portrait, Target, Form);
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    const auto *Video = P.Stream("video");
    ASSERT_NE(Video, nullptr);
    EXPECT_EQ(Number(Video, "width"), R.Width);
    EXPECT_EQ(Number(Video, "height"), R.Height);
    EXPECT_EQ(Video->at("display_aspect_ratio"), R.Shape);
    EXPECT_EQ(Video->count("side_data_list.side_data.0.side_data_type"), 0u) << "no display matrix";
    for (const TSpot &S : R.Spots) {
      const auto Frames =
          FrameSignalStats(Target, "crop=" + std::to_string(S.Width) + ":" + std::to_string(S.Height) + ":" +
                                       std::to_string(S.X) + ":" + std::to_string(S.Y));
      ASSERT_FALSE(Frames.empty());
      EXPECT_NEAR(Frames[0].at("YAVG"), S.Luma, 12) << "at " << S.X << "," << S.Y;
    }
  }
}

TEST_F(ProfileFidelity, DevicesGetTheChannelsTheListShows) {
  const TProfileForm Form = FormFor("iPod (*.mp4)");
  ASSERT_EQ(Form.ComboAudioChannels.Text(), "Stereo");
  const TConversion C = ConvertRow(Clips.Surround, Out("ipod.mp4"), Form);
  ASSERT_TRUE(C.Ran) << C.Error;
  const TProbedFile P = ProbeFile(Out("ipod.mp4"));
  const auto *Audio = P.Stream("audio");
  EXPECT_EQ(Number(Audio, "channels"), 2);
  EXPECT_NEAR(Number(Audio, "bit_rate"), 64000, 8000);
}

}  // namespace
}  // namespace korvane::test
