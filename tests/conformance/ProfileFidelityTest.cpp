// Profiles on sources that used to come out wrong: a time base whose terms
// the MPEG-4 family cannot hold, pictures with non-square pixels under
// "Original", and surround sound for players that take two channels. Each
// row is set up as the conversion queue does it.
#include "ConversionFixture.h"
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
// options with volume and aspect.
TConversion ConvertRow(const std::string &Source, const std::string &Target, const TProfileForm &Form) {
  TAVProbe Probe;
  TFileRowTexts Row;
  if (Probe.LoadFile(Source, "")) Row = FileRowTexts(Probe);
  const TOutputOptions Options =
      RowOutputOptions(Form, DefaultVolumePosition, Row.VideoSize, Row.DisplayAspect);
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
  // 720x576 pictures meant for 16:9 (sample aspect 64:45).
  const std::string Source = Out("anamorphic-source.avi");
  ASSERT_TRUE(RunFFmpeg(
      "-f lavfi -i testsrc=size=720x576:rate=25:duration=0.2 -vf setsar=64/45 -c:v mpeg4 '" + Source + "'"));
  for (const char *Profile : {"MP4 - MPEG4 Video (*.mp4)", "AVI - XviD Video (*.avi)", "DVD - VOB (*.vob)"}) {
    SCOPED_TRACE(Profile);
    TProfileForm Form = FormFor(Profile);
    Form.ComboAspectRatio.ItemIndex = 0;  // "Original"
    const std::string Target = Out(std::string("anamorphic.") + Extension(*FindProfile(Profile)));
    const TConversion C = ConvertRow(Source, Target, Form);
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    const auto *Video = P.Stream("video");
    ASSERT_NE(Video, nullptr);
    int SarNum = 0, SarDen = 0;
    ASSERT_EQ(std::sscanf(Video->at("sample_aspect_ratio").c_str(), "%d:%d", &SarNum, &SarDen), 2);
    const double Display = Number(Video, "width") * SarNum / SarDen / Number(Video, "height");
    EXPECT_NEAR(Display, 16.0 / 9, 0.01);
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
