// SPDX-License-Identifier: GPL-3.0-or-later
// The settings step: what reaches the output options from each profile at
// its defaults and from the user's choices, and how item texts are read.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ProfileCatalogue.h"
#include "ProfileSettings.h"
#include "TextConvert.h"

namespace korvane::test {
namespace {

using TComboField = TOptionCombo TProfileForm::*;
// A choice of the user's after the profile was applied: a combo and the item
// picked in it, or for an emptied combo the items put there by hand.
struct Pick {
  TComboField Combo;
  std::string Item;
};

TProfileForm FormFor(const std::string &Profile, const std::vector<Pick> &Picks = {}) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.Select(Profile);
  ApplyProfileOptions(Form);
  for (const Pick &P : Picks) {
    TOptionCombo &Combo = Form.*P.Combo;
    Combo.Select(P.Item);
    if (Combo.Text() != P.Item) {  // not an item of the profile's list
      Combo.Items = {P.Item};
      Combo.ItemIndex = 0;
    }
  }
  return Form;
}

TOutputOptions SettingsOf(const std::string &Profile, const std::vector<Pick> &Picks = {}) {
  const TProfileForm Form = FormFor(Profile, Picks);
  EXPECT_EQ(Form.ComboOutputFormat.Text(), Profile);
  TOutputOptions Options;
  ApplyProfileSettings(Form, Options);
  return Options;
}

struct Settings {
  std::string VideoCodec, FrameSize;
  int VideoBitrate;
  std::string AudioCodec;
  int AudioBitrate, SampleRate, Channels;  // channels -1: not written
  bool VideoDisable;
  std::string FrameRate;  // empty: not written
};

void ExpectSettings(const TOutputOptions &O, const Settings &E) {
  EXPECT_EQ(O.VideoCodec, E.VideoCodec);
  EXPECT_EQ(O.FrameSize, E.FrameSize);
  EXPECT_EQ(O.VideoBitrate, E.VideoBitrate);
  EXPECT_EQ(O.AudioCodec, E.AudioCodec);
  EXPECT_EQ(O.AudioBitrate, E.AudioBitrate);
  EXPECT_EQ(O.AudioSampleRate, E.SampleRate);
  EXPECT_EQ(O.AudioChannels, E.Channels);
  EXPECT_EQ(O.VideoDisable, E.VideoDisable);
  EXPECT_EQ(O.FrameRate, E.FrameRate);
  // Their players take 8-bit SDR: HDR is tone-mapped for every one with a picture.
  EXPECT_EQ(O.ExtOptions, E.VideoDisable ? "" : "hdr=sdr\n");
}

// Every profile at its defaults, on a form where "Stereo" was selected
// before. The rows marked * are the ones the orientation table states.
TEST(Settings, EveryProfileAtItsDefaults) {
  const std::string Ntsc = "30000/1001";
  const std::pair<std::string, Settings> Rows[] = {
      // * 3GP
      {"3GP - Mobile Video Format (*.3gp)",
       {"mpeg4", "176x144", 128000, "libamr_nb", 7400, 8000, 1, false, ""}},
      {"3G2 - Mobile Video Format (*.3g2)",
       {"mpeg4", "176x144", 128000, "libamr_nb", 7400, 8000, 1, false, ""}},
      {"ASF - Advance Streaming Format (*.asf)",
       {"msmpeg4", "", 1200000, "libmp3lame", 128000, 48000, 2, true, ""}},
      {"AVI - Audio Video Interleave (*.avi)",
       {"mpeg4", "", 1200000, "pcm_s16le", 128000, 48000, 2, false, ""}},
      {"AVI - DivX Video (*.avi)", {"mpeg4", "", 1200000, "libmp3lame", 128000, 48000, 2, false, ""}},
      {"AVI - Uncompress (*.avi)", {"rawvideo", "", 1200000, "pcm_s16le", 128000, 48000, 2, false, ""}},
      // * XviD
      {"AVI - XviD Video (*.avi)", {"libxvid", "", 1200000, "libmp3lame", 128000, 48000, 2, false, ""}},
      {"DVD - VOB (*.vob)", {"mpeg2video", "352x240", 6000000, "ac3", 224000, 48000, 2, false, Ntsc}},
      {"FLV - Flash Video (*.flv)", {"flv", "", 200000, "libmp3lame", 64000, 44100, 2, false, "15"}},
      {"MOV - QuickTime Video (*.mov)", {"mpeg4", "", 1200000, "libfaac", 128000, 44100, 2, false, ""}},
      {"MP4 - MPEG4 Video (*.mp4)", {"mpeg4", "", 1200000, "libfaac", 128000, 44100, 2, false, ""}},
      {"MPEG-1 Movie (*.mpg)", {"mpeg1video", "320x240", 1600000, "mp2", 192000, 44100, 2, false, "25"}},
      {"MPEG-2 Movie (*.mpg)", {"mpeg2video", "320x240", 2000000, "mp2", 192000, 44100, 2, false, "25"}},
      {"RM - Real Video (*.rm)", {"rv10", "320x240", 384000, "ac3", 128000, 48000, 2, false, ""}},
      {"SWF - Flash Swf (*.swf)", {"flv", "", 200000, "libmp3lame", 64000, 44100, 2, false, "15"}},
      {"Super Video CD (*.mpg)", {"mpeg2video", "480x480", 2040000, "mp2", 224000, 44100, 2, false, Ntsc}},
      {"Video CD (*.mpg)", {"mpeg1video", "352x240", 1150000, "mp2", 224000, 44100, 2, false, Ntsc}},
      {"WMV - Windows Media Video (*.wmv)",
       {"wmv2", "320x240", 1200000, "wmav2", 128000, 48000, 2, false, ""}},
      {"AAC - Advance Audio Coding (*.aac)", {"", "", 0, "libfaac", 128000, 48000, 2, true, ""}},
      {"AU - SUN Audio (*.au)", {"", "", 0, "pcm_s16be", 128000, 48000, 2, true, ""}},
      {"M4A - Mpeg4 Audio File (*.m4a)", {"", "", 0, "libfaac", 128000, 48000, 2, true, ""}},
      {"MP2 - Mpeg Layer2 Audio (*.mp2)", {"", "", 0, "mp2", 224000, 48000, 2, true, ""}},
      // * MP3
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", {"", "", 0, "libmp3lame", 192000, 48000, 2, true, ""}},
      {"OGG - Ogg Vorbis Audio (*.ogg)", {"", "", 0, "vorbis", 160000, 48000, 2, false, ""}},
      {"RA - Real Audio (*.ra)", {"", "", 0, "ac3", 128000, 48000, 2, true, ""}},
      {"WAV - Waveform Audio (*.wav)", {"", "", 0, "pcm_s16le", 128000, 44100, 2, true, ""}},
      {"WMA - Windows Media Audio (*.wma)", {"", "", 0, "wmav2", 128000, 48000, 2, true, ""}},
      // * iPod
      {"iPod (*.mp4)", {"mpeg4", "320x240", 512000, "libfaac", 64000, 44100, 2, false, ""}},
      {"iPod Extra (640 x 480) (*.mp4)",
       {"mpeg4", "640x480", 1500000, "libfaac", 64000, 44100, 2, false, ""}},
      {"iPod Video For TV (*.mp4)", {"mpeg4", "640x480", 1500000, "libfaac", 64000, 44100, 2, false, ""}},
      {"Apple TV (*.mp4)", {"mpeg4", "640x480", 1500000, "libfaac", 128000, 44100, 2, false, ""}},
      {"Apple TV H264 (320 x 240) (*.mp4)",
       {"libx264", "320x240", 1200000, "libfaac", 64000, 48000, 2, false, Ntsc}},
      {"Apple TV H264 (640 x 480) (*.mp4)",
       {"libx264", "640x480", 2000000, "libfaac", 64000, 48000, 2, false, Ntsc}},
      {"Apple TV H264 (1280 x 720) (*.mp4)",
       {"libx264", "1280x720", 2500000, "libfaac", 64000, 48000, 2, false, "24000/1001"}},
      {"iPod Touch (*.mp4)", {"mpeg4", "480x320", 1200000, "libfaac", 80000, 44100, 2, false, ""}},
      {"iPod Touch Extra (640 x 480) (*.mp4)",
       {"mpeg4", "640x480", 1500000, "libfaac", 80000, 44100, 2, false, ""}},
      {"iPod Touch Wide Screen (*.mp4)",
       {"mpeg4", "720x406", 1500000, "libfaac", 128000, 44100, 2, false, ""}},
      {"iPhone (*.mp4)", {"mpeg4", "480x320", 1200000, "libfaac", 80000, 44100, 2, false, ""}},
      {"iPhone Extra (640 x 480) (*.mp4)",
       {"mpeg4", "640x480", 1500000, "libfaac", 128000, 44100, 2, false, ""}},
      {"iPhone Wide Screen (*.mp4)", {"mpeg4", "720x480", 1500000, "libfaac", 128000, 44100, 2, false, ""}},
      {"Zune Mpeg4 Video (*.mp4)", {"mpeg4", "320x240", 1500000, "libfaac", 128000, 44100, 2, false, Ntsc}},
      {"Zune WMV Windows Media Video (*.wmv)",
       {"wmv2", "320x240", 1200000, "wmav2", 128000, 48000, 2, false, ""}},
      // * PSP
      {"PSP Video (*.mp4)", {"mpeg4", "368x208", 768000, "libfaac", 64000, 24000, 2, false, Ntsc}},
      {"PS3 Video (*.mp4)", {"libx264", "720x480", 1200000, "libfaac", 96000, 44100, 2, false, Ntsc}},
      {"PS3 Video(480P) (*.mp4)", {"libx264", "720x480", 1200000, "libfaac", 96000, 44100, 2, false, Ntsc}},
      {"PS3 Video(720P) (*.mp4)", {"libx264", "1280x720", 2000000, "libfaac", 96000, 44100, 2, false, Ntsc}},
      {"PS3 Video(1080P) (*.mp4)",
       {"libx264", "1920x1072", 2000000, "libfaac", 96000, 44100, 2, false, Ntsc}},
      {"Archos AV500/GMini402 (*.avi)",
       {"mpeg4", "480x272", 1200000, "libmp3lame", 128000, 48000, 2, false, ""}},
      {"Archos AV700 (*.avi)", {"mpeg4", "720x480", 2000000, "libmp3lame", 128000, 48000, 2, false, ""}},
      {"BlackBerry MPEG-4 Video (*.mp4)",
       {"mpeg4", "320x240", 300000, "libfaac", 80000, 44100, 2, false, "24"}},
      {"BlackBerry AVI Video (*.avi)",
       {"h263", "176x144", 300000, "libmp3lame", 80000, 44100, 2, false, "24"}},
      // * BlackBerry 3GP
      {"BlackBerry 3GP Video (*.3gp)", {"mpeg4", "176x144", 120000, "libamr_nb", 4750, 8000, 1, false, "15"}},
      {"Creative Zen Vision (*.avi)",
       {"mpeg4", "640x480", 1200000, "libmp3lame", 128000, 48000, 2, false, ""}},
      {"iRiver PMP100 (*.avi)", {"mpeg4", "640x480", 1200000, "libmp3lame", 128000, 48000, 2, false, ""}},
  };
  ASSERT_EQ(std::size(Rows), 54u);
  for (const auto &[Profile, Expected] : Rows) {
    SCOPED_TRACE(Profile);
    ExpectSettings(SettingsOf(Profile), Expected);
  }
}

// The user's choices, and the rules of each settings step that override them.
TEST(Settings, ChoicesAndTheRulesThatOverrideThem) {
  using F = TProfileForm;
  struct Case {
    std::string Profile;
    std::vector<Pick> Picks;
    Settings Expected;
  } Cases[] = {
      // The 3GP extension means one channel even with the shared step.
      {"BlackBerry 3GP Video (*.3gp)",
       {{&F::ComboAudioChannels, "Stereo"}},
       {"mpeg4", "176x144", 120000, "libamr_nb", 4750, 8000, 1, false, "15"}},
      // ... and the shared step encodes what the codec combo shows.
      {"BlackBerry 3GP Video (*.3gp)",
       {{&F::ComboAudioCodec, "mpeg4aac"}, {&F::ComboVideoCodec, "H263"}},
       {"h263", "176x144", 120000, "libfaac", 4750, 8000, 1, false, "15"}},
      // The mobile step always encodes AMR mono.
      {"3GP - Mobile Video Format (*.3gp)",
       {{&F::ComboAudioCodec, "mpeg4aac"},
        {&F::ComboAudioChannels, "Stereo"},
        {&F::ComboVideoFramerate, "11 fps"}},
       {"mpeg4", "176x144", 128000, "libamr_nb", 7400, 8000, 1, false, "11"}},
      {"3G2 - Mobile Video Format (*.3g2)",
       {{&F::ComboAudioBitrate, "12200 bps"}, {&F::ComboSamplingRate, "16000 bps"}},
       {"mpeg4", "176x144", 128000, "libamr_nb", 12200, 16000, 1, false, ""}},
      // The fixed AAC step takes the channels the combo shows and reads every bit rate in Kbps.
      {"iPod (*.mp4)",
       {{&F::ComboAudioChannels, "Mono"}, {&F::ComboVideoCodec, "H264"}},
       {"libx264", "320x240", 512000, "libfaac", 64000, 44100, 1, false, ""}},
      {"Apple TV H264 (1280 x 720) (*.mp4)",
       {{&F::ComboVideoBitrate, "7000 Kbps"}, {&F::ComboVideoFramerate, "Auto"}},
       {"libx264", "1280x720", 7000000, "libfaac", 64000, 48000, 2, false, ""}},
      // Sizes: "Original Video Size" and Archos' "Auto" keep the source size.
      {"AVI - Audio Video Interleave (*.avi)",
       {{&F::ComboVideoSize, "704 x 576 (4CIF)"}, {&F::ComboAudioCodec, "ac3"}},
       {"mpeg4", "704x576", 1200000, "ac3", 128000, 48000, 2, false, ""}},
      {"Archos AV500/GMini402 (*.avi)",
       {{&F::ComboVideoSize, "Auto"}, {&F::ComboAudioChannels, "Mono"}},
       {"mpeg4", "", 1200000, "libmp3lame", 128000, 48000, 1, false, ""}},
      {"MP4 - MPEG4 Video (*.mp4)",
       {{&F::ComboVideoCodec, "XVid"}, {&F::ComboVideoFramerate, "14.985 fps"}},
       {"libxvid", "", 1200000, "libfaac", 128000, 44100, 2, false, "15000/1001"}},
      {"Zune WMV Windows Media Video (*.wmv)",
       {{&F::ComboVideoSize, "640 x 480"}, {&F::ComboSamplingRate, "8000  Hz"}},
       {"wmv2", "640x480", 1200000, "wmav2", 128000, 8000, 2, false, ""}},
      // A shared-step audio rate without "Kbps" is read as written.
      {"WAV - Waveform Audio (*.wav)",
       {{&F::ComboAudioBitrate, "12200 bps"}},
       {"", "", 0, "pcm_s16le", 12200, 44100, 2, true, ""}},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.Profile);
    ExpectSettings(SettingsOf(C.Profile, C.Picks), C.Expected);
  }
}

// The modern formats: a quality step is the encoder's constant-quality
// figure, a bit rate item a bit rate; "Original" and "Auto" keep the
// source's; the variant chooses the streams.
TEST(Settings, ModernFormatsTurnStepsAndOriginalsIntoEncoderOptions) {
  using F = TProfileForm;
  struct Case {
    std::string Profile;
    std::vector<Pick> Picks;
    std::string VideoCodec, AudioCodec;
    int VideoBitrate, Channels, SampleRate;
    std::string Tag;
    int SyncMethod;
    std::vector<std::string> Lines;  // option lines the record carries, in order
    bool HdrToSdr = false;
  } Cases[] = {
      {"MP4 - H.264 Video, AAC Audio (*.mp4)",
       {},
       "libx264",
       "aac",
       -1,
       2,
       -1,
       "",
       2,
       {"preset=medium", "pix_fmt=yuv420p", "hdr=sdr", "crf=22", "ar=0", "every_track"}},
      {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)",
       {{&F::ComboVideoBitrate, "Quality: High"}, {&F::ComboAudioChannels, "Original"}},
       "libx265",
       "aac",
       -1,
       -1,
       -1,
       "hvc1",
       2,
       {"preset=fast", "x265-params=log-level=error", "pix_fmt=yuv420p", "deep_pix_fmt=yuv420p10le", "crf=17",
        "ac=0", "ar=0", "every_track"}},
      {"MKV - Matroska Video, every track (*.mkv)",
       {{&F::ComboVideoCodec, "VP9"},
        {&F::ComboVideoBitrate, "4000 Kbps"},
        {&F::ComboVideoFramerate, "25 fps"},
        {&F::ComboSamplingRate, "48000 Hz"}},
       "libvpx-vp9",
       "aac",
       4000000,
       -1,
       48000,
       "",
       -1,
       {"deadline=good", "cpu-used=4", "row-mt=1", "pix_fmt=yuv420p", "deep_pix_fmt=yuv420p10le", "ac=0",
        "every_track"}},
      {"WebM - AV1 Video, Opus Audio (*.webm)",
       {{&F::ComboVideoBitrate, "Quality: Small File"}},
       "libsvtav1",
       "libopus",
       -1,
       2,
       -1,
       "",
       2,
       {"preset=8", "cpu-used=6", "row-mt=1", "pix_fmt=yuv420p", "deep_pix_fmt=yuv420p10le", "crf=40", "ar=0",
        "every_track"}},
      // HDR converted to SDR where the codec could keep it.
      {"WebM - VP9 Video, Opus Audio (*.webm)",
       {},
       "libvpx-vp9",
       "libopus",
       -1,
       2,
       -1,
       "",
       2,
       {"deadline=good", "cpu-used=4", "row-mt=1", "pix_fmt=yuv420p", "deep_pix_fmt=yuv420p10le", "hdr=sdr",
        "crf=32", "ar=0", "every_track"},
       true},
      {"MKV - Copy every stream, no re-encoding (*.mkv)",
       {},
       "copy",
       "copy",
       -1,
       -1,
       -1,
       "",
       -1,
       {"copy_all"}},
      {"FLAC - Free Lossless Audio (*.flac)",
       {{&F::ComboSamplingRate, "96000 Hz"}},
       "",
       "flac",
       -1,
       -1,
       96000,
       "",
       -1,
       {"ac=0"}},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.Profile);
    TProfileForm Form = FormFor(C.Profile, C.Picks);
    Form.HdrToSdr = C.HdrToSdr;
    TOutputOptions O;
    ApplyProfileSettings(Form, O);
    EXPECT_EQ(O.VideoCodec, C.VideoCodec);
    EXPECT_EQ(O.VideoDisable, C.VideoCodec.empty());
    EXPECT_EQ(O.AudioCodec, C.AudioCodec);
    EXPECT_EQ(O.VideoBitrate, C.VideoBitrate);
    EXPECT_EQ(O.AudioChannels, C.Channels);
    EXPECT_EQ(O.AudioSampleRate, C.SampleRate);
    EXPECT_EQ(O.VideoTag, C.Tag);
    EXPECT_EQ(O.VideoSyncMethod, C.SyncMethod);
    std::string Lines;
    for (const std::string &Line : C.Lines) Lines += Line + "\n";
    EXPECT_EQ(O.ExtOptions, Lines);
  }
}

TEST(Settings, ATextNamingNoProfileLeavesTheRecordAsPrepared) {
  for (const std::string &Text :
       {std::string(14, ' ') + std::string(41, '-'), std::string(), std::string("ipod (*.mp4)")}) {
    TProfileForm Form = FormFor("MP3 - Mpeg Layer3 Audio (*.mp3)");
    Form.ComboOutputFormat.Items = {Text};
    Form.ComboOutputFormat.ItemIndex = Text.empty() ? -1 : 0;
    TOutputOptions Options;
    Options.AudioCodec = "prepared";
    Options.AudioChannels = 6;
    ApplyProfileSettings(Form, Options);
    EXPECT_EQ(Options.AudioCodec, "prepared");
    EXPECT_EQ(Options.AudioChannels, 6);
    EXPECT_EQ(Options.AudioBitrate, -1);
    EXPECT_FALSE(Options.VideoDisable);
  }
}

TEST(Settings, SizeItemsBecomeWidthByHeight) {
  const std::pair<std::string, std::string> Cases[] = {
      {"176 x 144 (QCIF)", "176x144"},
      {"320 x 240 ", "320x240"},
      {"1920 x 1072", "1920x1072"},
      {"704 x 576 (4CIF)", "704x576"},
      {"480 x 272", "480x272"},
      {"", ""},
      {"(x)", ""},
  };
  for (const auto &[Item, Size] : Cases) EXPECT_EQ(ParseFrameSizeText(Item), Size) << "'" << Item << "'";
}

// Every frame-rate item any profile offers, and what reaches the engine.
TEST(Settings, FrameRateItemsBecomeExactRates) {
  const std::pair<std::string, std::string> Cases[] = {
      {"Auto", ""},
      {"", ""},
      {"11 fps", "11"},
      {"14.985 fps", "15000/1001"},
      {"15 fps", "15"},
      {"15.0 fps", "15"},
      {"20 fps", "20"},
      {"23.975 fps", "24000/1001"},
      {"23.976 fps [NTSC]", "24000/1001"},
      {"24 fps", "24"},
      {"25 fps [PAL]", "25"},
      {"25.0 fps", "25"},
      {"29.97 fps", "30000/1001"},
      {"29.97 fps [NTSC]", "30000/1001"},
      {"30.0 fps", "30"},
      {"50 fps", "50"},
      {"59.94 fps", "60000/1001"},
  };
  for (const auto &[Item, Rate] : Cases) EXPECT_EQ(ParseFrameRateText(Item), Rate) << "'" << Item << "'";
}

// A number that does not read fails the row's set-up, and nothing of the
// profile has been written by then.
TEST(Settings, AnUnreadableNumberRaisesAConversionError) {
  using F = TProfileForm;
  const std::pair<std::string, Pick> Cases[] = {
      {"AVI - XviD Video (*.avi)", {&F::ComboVideoBitrate, "fast Kbps"}},
      {"AVI - XviD Video (*.avi)", {&F::ComboAudioBitrate, "x128 Kbps"}},
      {"AVI - XviD Video (*.avi)", {&F::ComboSamplingRate, "44.1 kHz"}},
      {"AVI - XviD Video (*.avi)", {&F::ComboVideoFramerate, "many fps"}},
      {"iPod (*.mp4)", {&F::ComboAudioBitrate, "64kbps"}},
      {"3GP - Mobile Video Format (*.3gp)", {&F::ComboAudioBitrate, "7.4 Kbps"}},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", {&F::ComboAudioBitrate, ""}},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", {&F::ComboVideoBitrate, "99999999999 Kbps"}},
  };
  for (const auto &[Profile, P] : Cases) {
    SCOPED_TRACE(Profile + " with '" + P.Item + "'");
    TProfileForm Form = FormFor(Profile, {P});
    if (P.Item.empty()) (Form.*P.Combo).ItemIndex = -1;
    TOutputOptions Options;
    EXPECT_THROW(ApplyProfileSettings(Form, Options), EConvertError);
    EXPECT_EQ(Options.AudioCodec, "");
    EXPECT_EQ(Options.VideoBitrate, -1);
  }
}

}  // namespace
}  // namespace korvane::test
