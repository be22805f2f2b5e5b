// SPDX-License-Identifier: GPL-3.0-or-later
// The output-format list: its 71 rows (the first 62 as they always were,
// since stored settings name a profile by its row), how a selected text resolves to a
// profile, and what choosing a row does to the form.
#include <gtest/gtest.h>

#include <string>

#include "ProfileCatalogue.h"
#include "ProfileOptions.h"

namespace korvane::test {
namespace {

const std::string kSeparator = std::string(14, ' ') + std::string(41, '-');

TEST(Catalogue, ListsEveryRowWithItsExtensionAndSettingsStep) {
  using enum TSettingsVariant;
  struct Row {
    std::string Text, Extension;
    TSettingsVariant Variant;
  } Expected[] = {
      {"3GP - Mobile Video Format (*.3gp)", "3GP", MobileAmr},
      {"3G2 - Mobile Video Format (*.3g2)", "3G2", MobileAmr},
      {"ASF - Advance Streaming Format (*.asf)", "ASF", Shared},
      {"AVI - Audio Video Interleave (*.avi)", "AVI", Shared},
      {"AVI - DivX Video (*.avi)", "AVI", Shared},
      {"AVI - Uncompress (*.avi)", "AVI", Shared},
      {"AVI - XviD Video (*.avi)", "AVI", Shared},
      {"DVD - VOB (*.vob)", "VOB", Shared},
      {"FLV - Flash Video (*.flv)", "FLV", Shared},
      {"MOV - QuickTime Video (*.mov)", "MOV", Shared},
      {"MP4 - MPEG4 Video (*.mp4)", "MP4", Shared},
      {"MPEG-1 Movie (*.mpg)", "MPG", Shared},
      {"MPEG-2 Movie (*.mpg)", "MPG", Shared},
      {"RM - Real Video (*.rm)", "RM", Shared},
      {"SWF - Flash Swf (*.swf)", "SWF", Shared},
      {"Super Video CD (*.mpg)", "MPG", Shared},
      {"Video CD (*.mpg)", "MPG", Shared},
      {"WMV - Windows Media Video (*.wmv)", "WMV", Shared},
      {kSeparator, "", None},
      {"AAC - Advance Audio Coding (*.aac)", "AAC", Shared},
      {"AU - SUN Audio (*.au)", "AU", Shared},
      {"M4A - Mpeg4 Audio File (*.m4a)", "M4A", Shared},
      {"MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2", Shared},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", Shared},
      {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG", Shared},
      {"RA - Real Audio (*.ra)", "RA", Shared},
      {"WAV - Waveform Audio (*.wav)", "WAV", Shared},
      {"WMA - Windows Media Audio (*.wma)", "WMA", Shared},
      {kSeparator, "", None},
      {"iPod (*.mp4)", "MP4", FixedAac},
      {"iPod Extra (640 x 480) (*.mp4)", "MP4", FixedAac},
      {"iPod Video For TV (*.mp4)", "MP4", FixedAac},
      {kSeparator, "", None},
      {"Apple TV (*.mp4)", "MP4", FixedAac},
      {"Apple TV H264 (320 x 240) (*.mp4)", "MP4", FixedAac},
      {"Apple TV H264 (640 x 480) (*.mp4)", "MP4", FixedAac},
      {"Apple TV H264 (1280 x 720) (*.mp4)", "MP4", FixedAac},
      {kSeparator, "", None},
      {"iPod Touch (*.mp4)", "MP4", FixedAac},
      {"iPod Touch Extra (640 x 480) (*.mp4)", "MP4", FixedAac},
      {"iPod Touch Wide Screen (*.mp4)", "MP4", FixedAac},
      {kSeparator, "", None},
      {"iPhone (*.mp4)", "MP4", Shared},
      {"iPhone Extra (640 x 480) (*.mp4)", "MP4", Shared},
      {"iPhone Wide Screen (*.mp4)", "MP4", Shared},
      {kSeparator, "", None},
      {"Zune Mpeg4 Video (*.mp4)", "MP4", Shared},
      {"Zune WMV Windows Media Video (*.wmv)", "WMV", Shared},
      {kSeparator, "", None},
      {"PSP Video (*.mp4)", "MP4", Shared},
      {"PS3 Video (*.mp4)", "MP4", Shared},
      {"PS3 Video(480P) (*.mp4)", "MP4", Shared},
      {"PS3 Video(720P) (*.mp4)", "MP4", Shared},
      {"PS3 Video(1080P) (*.mp4)", "MP4", Shared},
      {kSeparator, "", None},
      {"Archos AV500/GMini402 (*.avi)", "AVI", Shared},
      {"Archos AV700 (*.avi)", "AVI", Shared},
      {"BlackBerry MPEG-4 Video (*.mp4)", "MP4", Shared},
      {"BlackBerry AVI Video (*.avi)", "AVI", Shared},
      {"BlackBerry 3GP Video (*.3gp)", "3GP", Shared},
      {"Creative Zen Vision (*.avi)", "AVI", Shared},
      {"iRiver PMP100 (*.avi)", "AVI", Shared},
      {kSeparator, "", None},
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", "MP4", Quality},
      {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", "MP4", Quality},
      {"MKV - Matroska Video, every track (*.mkv)", "MKV", EveryTrack},
      {"MKV - Copy every stream, no re-encoding (*.mkv)", "MKV", CopyAll},
      {"WebM - VP9 Video, Opus Audio (*.webm)", "WEBM", Quality},
      {"WebM - AV1 Video, Opus Audio (*.webm)", "WEBM", Quality},
      {"FLAC - Free Lossless Audio (*.flac)", "FLAC", Quality},
      {"OPUS - Opus Audio (*.opus)", "OPUS", Quality},
  };
  const auto Catalogue = OutputProfileCatalogue();
  ASSERT_EQ(Catalogue.size(), std::size(Expected));
  for (size_t I = 0; I < Catalogue.size(); ++I) {
    SCOPED_TRACE("row " + std::to_string(I));
    EXPECT_EQ(Catalogue[I].DisplayText, Expected[I].Text);
    EXPECT_EQ(Catalogue[I].Extension, Expected[I].Extension);
    EXPECT_EQ(Catalogue[I].Variant, Expected[I].Variant);
    EXPECT_EQ(Catalogue[I].IsSeparator(), Expected[I].Variant == TSettingsVariant::None);
  }
}

TEST(Catalogue, ResolvesOnlyTheExactDisplayText) {
  struct Case {
    std::string Text;
    int Row;  // -1: names no profile
  } Cases[] = {
      {"3GP - Mobile Video Format (*.3gp)", 0},
      {"PS3 Video(480P) (*.mp4)", 51},
      {"iRiver PMP100 (*.avi)", 61},
      {"PS3 Video (480P) (*.mp4)", -1},  // the real name has no blank before "("
      {"ipod (*.mp4)", -1},              // case matters
      {"iPod (*.mp4) ", -1},
      {kSeparator, -1},
      {"", -1},
  };
  const auto Catalogue = OutputProfileCatalogue();
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.Text);
    const TCatalogueRow *Found = FindProfile(C.Text);
    if (C.Row < 0)
      EXPECT_EQ(Found, nullptr);
    else
      EXPECT_EQ(Found, &Catalogue[C.Row]);
  }
}

TEST(Catalogue, RecognisesSeparatorTextsByTheirMarker) {
  struct Case {
    std::string Text;
    bool Separator;
  } Cases[] = {
      {kSeparator, true},
      {std::string(14, ' ') + "----", true},
      {"x" + std::string(14, ' ') + "-----", true},
      {std::string(13, ' ') + "----", false},
      {std::string(14, ' ') + "---", false},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", false},
      {"", false},
  };
  for (const Case &C : Cases) EXPECT_EQ(IsSeparatorText(C.Text), C.Separator) << "'" << C.Text << "'";
}

TEST(Catalogue, FillingTheListPutsAllRowsInOrderAndSelectsTheFirst) {
  TOptionCombo List;
  List.Items = {"left over"};
  List.ItemIndex = 0;
  FillOutputFormatList(List);
  ASSERT_EQ(List.Items.size(), 71u);
  EXPECT_EQ(List.ItemIndex, 0);
  EXPECT_EQ(List.Text(), "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(List.Items[18], kSeparator);
  EXPECT_EQ(List.Items[61], "iRiver PMP100 (*.avi)");
  EXPECT_EQ(List.Items[62], kSeparator);
  EXPECT_EQ(List.Items[70], "OPUS - Opus Audio (*.opus)");
}

// Applying the form's first selection, as the window does when first shown.
TEST(Catalogue, FirstShownFormHoldsTheFirstProfile) {
  TProfileForm Form;
  EXPECT_EQ(Form.OutputExtension, "");
  FillOutputFormatList(Form.ComboOutputFormat);
  EXPECT_TRUE(ChangeOutputFormat(Form));
  EXPECT_EQ(Form.OutputExtension, "3GP");
  EXPECT_EQ(Form.ComboVideoCodec.Text(), "MPEG4");
  EXPECT_EQ(Form.ComboAudioChannels.Text(), "Mono");
  EXPECT_EQ(Form.LastValidFormatIndex, 0);
}

TEST(Catalogue, ChoosingASeparatorGoesBackToTheLastProfileAndChangesNothingElse) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.ItemIndex = 23;  // MP3
  ASSERT_TRUE(ChangeOutputFormat(Form));
  Form.ComboAudioBitrate.Select("320 Kbps");  // a choice of the user's
  const TProfileForm Before = Form;

  for (int Separator : {18, 28, 32, 37, 41, 45, 48, 54, 62}) {
    SCOPED_TRACE(Separator);
    Form.ComboOutputFormat.ItemIndex = Separator;
    EXPECT_FALSE(ChangeOutputFormat(Form));
    EXPECT_EQ(Form.ComboOutputFormat.ItemIndex, 23);
    EXPECT_EQ(Form.LastValidFormatIndex, 23);
    EXPECT_EQ(Form.OutputExtension, "MP3");
    EXPECT_EQ(Form.ComboAudioBitrate.Text(), "320 Kbps");
    EXPECT_EQ(Form.ComboAudioCodec.Items, Before.ComboAudioCodec.Items);
    EXPECT_TRUE(Form.ComboVideoCodec.Items.empty());
  }
}

TEST(Catalogue, ATextNamingNoProfileChangesNothing) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  ApplyProfileOptions(Form);  // 3GP
  for (const std::string &Text : {kSeparator, std::string()}) {
    TProfileForm After = Form;
    After.ComboOutputFormat.Items = {Text};
    After.ComboOutputFormat.ItemIndex = Text.empty() ? -1 : 0;
    ApplyProfileOptions(After);
    EXPECT_EQ(After.OutputExtension, "3GP");
    EXPECT_EQ(After.ComboVideoSize.Items, Form.ComboVideoSize.Items);
    EXPECT_EQ(After.ComboAudioChannels.ItemIndex, Form.ComboAudioChannels.ItemIndex);
  }
}

}  // namespace
}  // namespace korvane::test
