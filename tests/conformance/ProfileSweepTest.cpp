// SPDX-License-Identifier: GPL-3.0-or-later
// Every output profile at its default selections, set up by the same row
// set-up the front ends call, on a video clip and on an audio-only clip. Each output must
// be the container its extension names, carry the codecs, size, rate and
// channels the settings ask for, last as long as the source and decode
// without an error.
#include <map>

#include "ConversionFixture.h"
#include "ProfileCatalogue.h"
#include "ProfileOptions.h"
#include "RowSetup.h"

namespace korvane::test {
namespace {

// The demuxer ffprobe names for each output extension.
const std::map<std::string, std::string> Containers = {
    {"3G2", "mov,mp4,m4a,3gp,3g2,mj2"},
    {"3GP", "mov,mp4,m4a,3gp,3g2,mj2"},
    {"MP4", "mov,mp4,m4a,3gp,3g2,mj2"},
    {"MOV", "mov,mp4,m4a,3gp,3g2,mj2"},
    {"M4A", "mov,mp4,m4a,3gp,3g2,mj2"},
    {"ASF", "asf"},
    {"WMV", "asf"},
    {"WMA", "asf"},
    {"AVI", "avi"},
    {"FLV", "flv"},
    {"MKV", "matroska,webm"},
    {"MPG", "mpeg"},
    {"MPEG", "mpeg"},
    {"VOB", "mpeg"},
    {"DV", "dv"},
    {"SWF", "swf"},
    {"RM", "rm"},
    {"RA", "rm"},
    {"MP3", "mp3"},
    {"MP2", "mp3"},
    {"WAV", "wav"},
    {"AC3", "ac3"},
    {"AAC", "aac"},
    {"AU", "au"},
    {"OGG", "ogg"},
    {"AMR", "amr"},
    {"AIFF", "aiff"},
    {"M4V", "mov,mp4,m4a,3gp,3g2,mj2"},
    {"WEBM", "matroska,webm"},
    {"FLAC", "flac"},
    {"OPUS", "ogg"},
};

// The codec names ffprobe reports for the encoder names the settings write.
std::string ProbedCodec(const std::string &Encoder) {
  static const std::map<std::string, std::string> Names = {
      {"libxvid", "mpeg4"},    {"libx264", "h264"},   {"libmp3lame", "mp3"},    {"libfaac", "aac"},
      {"libamr_nb", "amr_nb"}, {"flv", "flv1"},       {"msmpeg4", "msmpeg4v3"}, {"vorbis", "vorbis"},
      {"libx265", "hevc"},     {"libvpx-vp9", "vp9"}, {"libsvtav1", "av1"},     {"libopus", "opus"}};
  const auto Found = Names.find(Encoder);
  return Found == Names.end() ? Encoder : Found->second;
}

// The encoder that does the job of a name the settings write, where the
// present library calls it otherwise.
std::string PresentEncoder(const std::string &Name) {
  static const std::map<std::string, std::string> Names = {
      {"libfaac", "aac"}, {"libamr_nb", "libopencore_amrnb"}, {"vorbis", "libvorbis"}};
  const auto Found = Names.find(Name);
  return Found == Names.end() ? Name : Found->second;
}

class ProfileSweep : public TranscodeTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProfileSweep, DefaultSelectionsGiveAPlayableFile) {
  const int Row = GetParam();
  const TCatalogueRow &Profile = OutputProfileCatalogue()[static_cast<size_t>(Row)];
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.ItemIndex = Row;
  ASSERT_TRUE(ChangeOutputFormat(Form));

  std::string Extension(Profile.Extension);
  for (char &C : Extension) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  for (const std::string &Source : {Clips.SweepVideo, Clips.SweepAudio}) {
    const bool AudioSource = Source == Clips.SweepAudio;
    // What a file list shows for the source: its picture size, or a blank.
    const TOutputOptions Settings = RowOutputOptions(
        Form, DefaultVolumePosition, AudioSource ? TSourcePicture{} : TSourcePicture{640, 480});
    SCOPED_TRACE(std::string(Profile.DisplayText) + (AudioSource ? " from audio only" : " from video"));
    const std::string Target = Out(std::string(AudioSource ? "audio" : "video") + "." + Extension);
    std::vector<std::string> Encoders;  // of the streams, as the run opens them
    const TConversion C = Convert(
        Source, Target,
        [&](TInputOptions &, TOutputOptions &O) {
          const std::string Name = O.FileName;
          O = Settings;
          O.FileName = Name;
        },
        [&](TFFmpeg &Task, TConversion &) {
          for (const TOutputStreamSetup &Stream : Task.State().FOutputStreams[0])
            Encoders.push_back(Stream.Encoder && Stream.Encoder->codec ? Stream.Encoder->codec->name : "");
        });
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    const TProbedFile Original = ProbeFile(Source);
    // What a copy or an "Original" choice keeps: the source's codec, rate
    // and channels.
    const auto Kept = [&](const char *Type, const char *Key) { return Original.Stream(Type)->at(Key); };
    // Each codec name the settings write reaches the encoder of that name
    // (libxvid and the native MPEG-4 encoder share a codec id).
    for (const std::string *Name : {&Settings.VideoCodec, &Settings.AudioCodec})
      if (!Name->empty() && *Name != "copy" && (Name == &Settings.AudioCodec || P.Count("video") > 0)) {
        EXPECT_NE(std::find(Encoders.begin(), Encoders.end(), PresentEncoder(*Name)), Encoders.end())
            << *Name;
      }
    EXPECT_EQ(P.Errors, "");
    EXPECT_EQ(DecodeErrors(Target), "");
    const auto Container = Containers.find(std::string(Profile.Extension));
    ASSERT_NE(Container, Containers.end()) << Profile.Extension;
    EXPECT_EQ(P.Format.at("format_name"), Container->second);

    const bool WantVideo = !AudioSource && !Settings.VideoDisable;
    ASSERT_EQ(P.Count("video"), WantVideo ? 1 : 0);
    ASSERT_EQ(P.Count("audio"), 1);
    if (WantVideo) {
      const auto *Video = P.Stream("video");
      if (!Settings.VideoCodec.empty()) {
        EXPECT_EQ(Video->at("codec_name"), Settings.VideoCodec == "copy" ? Kept("video", "codec_name")
                                                                         : ProbedCodec(Settings.VideoCodec));
      }
      if (Settings.VideoCodec == "libxvid") {
        EXPECT_EQ(Video->at("codec_tag_string"), "xvid") << "written by XviD";
      }
      if (!Settings.VideoTag.empty()) {
        EXPECT_EQ(Video->at("codec_tag_string"), Settings.VideoTag);
      }
      const std::string Size = Settings.FrameSize.empty() ? "640x480" : Settings.FrameSize;
      EXPECT_EQ(Video->at("width") + "x" + Video->at("height"), Size);
    }
    const auto *Audio = P.Stream("audio");
    if (!Settings.AudioCodec.empty()) {
      EXPECT_EQ(Audio->at("codec_name"), Settings.AudioCodec == "copy" ? Kept("audio", "codec_name")
                                                                       : ProbedCodec(Settings.AudioCodec));
    }
    // The source's rate where none is chosen; Opus always codes at 48 kHz.
    const int Rate = Settings.AudioSampleRate > 0       ? Settings.AudioSampleRate
                     : Settings.AudioCodec == "libopus" ? 48000
                                                        : std::stoi(Kept("audio", "sample_rate"));
    EXPECT_EQ(Number(Audio, "sample_rate"), Rate);
    EXPECT_EQ(Number(Audio, "channels"),
              Settings.AudioChannels > 0 ? Settings.AudioChannels : std::stoi(Kept("audio", "channels")));
    // Measured on the packets: some containers (SWF) state no duration.
    const TStreamSpan AudioSpan = StreamSpan(Target, "audio");
    double Length = AudioSpan.End - AudioSpan.Start;
    if (WantVideo) {
      const TStreamSpan VideoSpan = StreamSpan(Target, "video");
      Length = std::max(Length, VideoSpan.End - VideoSpan.Start);
    }
    EXPECT_NEAR(Length, 5.0, 0.2);
  }
}

std::vector<int> ProfileRows() {
  std::vector<int> Rows;
  const auto Catalogue = OutputProfileCatalogue();
  for (size_t I = 0; I < Catalogue.size(); ++I)
    if (!Catalogue[I].IsSeparator()) Rows.push_back(static_cast<int>(I));
  return Rows;
}

INSTANTIATE_TEST_SUITE_P(EveryProfile, ProfileSweep, ::testing::ValuesIn(ProfileRows()),
                         [](const ::testing::TestParamInfo<int> &Info) {
                           return "Row" + std::to_string(Info.param);
                         });

}  // namespace
}  // namespace korvane::test
