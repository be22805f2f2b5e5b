// SPDX-License-Identifier: GPL-3.0-or-later
// The colours of the outputs as a user gets them from korvane-convert: the
// source's colour description carried wherever the container or codec can
// hold it, HDR kept in 10 bits with its mastering display and light levels
// by the codecs that code 10 bits, and tone-mapped to SDR BT.709 by the
// others, keeping the colour and contrast of the SDR picture the HDR was
// graded from. Checked with ffprobe and the ffmpeg program's filters only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <numeric>

#include "ColourClips.h"
#include "Fidelity.h"
#include "MediaCheck.h"
#include "PictureCheck.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string &Path) { return "'" + Path + "'"; }

constexpr const char *Mp4H264 = "MP4 - H.264 Video, AAC Audio (*.mp4)";
constexpr const char *Mp4Hevc = "MP4 - H.265/HEVC Video, AAC Audio (*.mp4)";
constexpr const char *MkvEveryTrack = "MKV - Matroska Video, every track (*.mkv)";
constexpr const char *WebmVp9 = "WebM - VP9 Video, Opus Audio (*.webm)";
constexpr const char *WebmAv1 = "WebM - AV1 Video, Opus Audio (*.webm)";
// Long-standing profiles: MPEG-4 video in MP4 (whose colr box holds the
// colours) and in AVI (where nothing holds them).
constexpr const char *Mp4Mpeg4 = "MP4 - MPEG4 Video (*.mp4)";
constexpr const char *Avi = "AVI - Audio Video Interleave (*.avi)";

// ffprobe's "pixel format|primaries|transfer|matrix|range" of File's picture.
std::string Colours(const std::string &File) {
  const TProbedFile P = ProbeFile(File);
  const auto *Video = P.Stream("video");
  if (!Video) return "no picture";
  std::string Text;
  for (const char *Key : {"pix_fmt", "color_primaries", "color_transfer", "color_space", "color_range"}) {
    const auto Found = Video->find(Key);
    Text += (Text.empty() ? "" : "|") + (Found == Video->end() ? std::string("unknown") : Found->second);
  }
  return Text;
}

// The mastering display's red x and greatest light and the content's
// greatest light level that ffprobe finds in the picture stream's side
// data or its first picture's; -1 for what it does not find.
struct THdrSeen {
  double RedX = -1, MaxLuminance = -1, MaxCLL = -1;
};
THdrSeen HdrMetadata(const std::string &File) {
  const TCommandResult R = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_streams -show_frames -read_intervals %+#1 -of flat " +
      Quoted(File));
  THdrSeen Seen;
  for (const std::string &Line : Lines(R.Output)) {
    const size_t Equal = Line.find('=');
    if (Equal == std::string::npos) continue;
    std::string Value = Line.substr(Equal + 1);
    std::erase(Value, '"');
    const size_t Slash = Value.find('/');
    const double Number = Slash == std::string::npos
                              ? std::atof(Value.c_str())
                              : std::atof(Value.c_str()) / std::atof(Value.c_str() + Slash + 1);
    const std::string Key = Line.substr(0, Equal);
    for (auto [Name, Field] :
         {std::pair{".red_x", &Seen.RedX}, std::pair{".max_luminance", &Seen.MaxLuminance},
          std::pair{".max_content", &Seen.MaxCLL}})
      if (Key.ends_with(Name) && *Field < 0) *Field = Number;
  }
  return Seen;
}

// The mean colour saturation of File's pictures (signalstats SATAVG).
double Saturation(const std::string &File) {
  const std::vector<TFrameStats> Frames = FrameSignalStats(File);
  if (Frames.empty()) return 0;
  double Sum = 0;
  for (const TFrameStats &Frame : Frames) Sum += Frame.at("SATAVG");
  return Sum / static_cast<double>(Frames.size());
}

class Colour : public ::testing::Test {
 protected:
  const TColourClips &Clips = ColourClips();
  TTempDir Temp;

  // Converts Source with the profile and choices into a folder of its own;
  // the output's path, or empty with the failure added.
  std::string Convert(const std::string &Profile, const std::string &Source, const std::string &Choices) {
    const std::string Folder = Temp.File(std::to_string(++FRuns));
    fs::create_directory(Folder);
    const TCommandResult R =
        RunCommand("'" + ExecutableDirectory() + "/korvane-convert' -p " + Quoted(Profile) + " -o " +
                       Quoted(Folder) + " " + Choices + " " + Quoted(Source),
                   true);
    EXPECT_EQ(R.Status, 0) << R.Output;
    for (const auto &Entry : fs::directory_iterator(Folder)) return Entry.path().string();
    return "";
  }

 private:
  int FRuns = 0;
};

// Every profile carries the source's primaries, transfer, matrix and range
// where its container or codec can hold them; an untagged source stays
// untagged; a picture made limited-range on the way says so; 10-bit SDR
// keeps its 10 bits where the codec codes them.
TEST_F(Colour, TheColourDescriptionIsCarried) {
  const std::string Sdr709 = "yuv420p|bt709|bt709|bt709|tv",
                    Untagged = "yuv420p|unknown|unknown|unknown|unknown";
  struct Row {
    std::string Profile, Choices, Source, Expected;
  } Rows[] = {
      {Mp4H264, "", Clips.Sdr709, Sdr709},
      {MkvEveryTrack, "--video-codec VP9", Clips.Sdr709, Sdr709},
      {WebmAv1, "", Clips.Sdr709, Sdr709},
      {Mp4Mpeg4, "", Clips.Sdr709, Sdr709},
      {Avi, "", Clips.Sdr709, Untagged},  // neither AVI nor MPEG-4 video holds colours
      {Mp4H264, "", Clips.Untagged, Untagged},
      // x265 always states the range its samples have.
      {MkvEveryTrack, "--video-codec H.265/HEVC", Clips.Untagged, "yuv420p|unknown|unknown|unknown|tv"},
      {Mp4H264, "", Clips.FullRange, Sdr709},  // full range made limited for 4:2:0 players
      {Mp4Hevc, "", Clips.Sdr10, "yuv420p10le|bt709|bt709|bt709|tv"},
      {WebmVp9, "", Clips.Sdr10, "yuv420p10le|bt709|bt709|bt709|tv"},
      {Mp4H264, "", Clips.Sdr10, Sdr709},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile + " " + R.Choices + " from " + fs::path(R.Source).filename().string());
    const std::string Output = Convert(R.Profile, R.Source, R.Choices);
    EXPECT_EQ(Colours(Output), R.Expected);
    EXPECT_EQ(DecodeErrors(Output), "");
  }
}

// HDR10 and HLG stay 10-bit BT.2020 with their transfer on the codecs that
// code 10 bits; HDR10's mastering display and light levels reach the
// output, in its bitstream or its container.
TEST_F(Colour, HdrStaysHdrWithItsMetadata) {
  struct Row {
    std::string Profile, Choices, Source, Transfer;
    bool Metadata;
  } Rows[] = {
      {Mp4Hevc, "", Clips.Hdr10, "smpte2084", true},
      {MkvEveryTrack, "--video-codec H.265/HEVC", Clips.Hdr10, "smpte2084", true},
      {MkvEveryTrack, "--video-codec VP9", Clips.Hdr10, "smpte2084", true},
      {MkvEveryTrack, "--video-codec AV1", Clips.Hdr10, "smpte2084", true},
      {WebmVp9, "", Clips.Hdr10, "smpte2084", true},
      {WebmAv1, "--hdr keep", Clips.Hdr10, "smpte2084", true},
      {Mp4Hevc, "", Clips.Hlg, "arib-std-b67", false},
      {WebmVp9, "", Clips.Hlg, "arib-std-b67", false},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile + " " + R.Choices + " from " + fs::path(R.Source).filename().string());
    const std::string Output = Convert(R.Profile, R.Source, R.Choices);
    EXPECT_EQ(Colours(Output), "yuv420p10le|bt2020|" + R.Transfer + "|bt2020nc|tv");
    const THdrSeen Seen = HdrMetadata(Output);
    if (R.Metadata) {
      EXPECT_NEAR(Seen.RedX, 0.68, 0.001);
      EXPECT_NEAR(Seen.MaxLuminance, 1000, 0.5);
      EXPECT_EQ(Seen.MaxCLL, Hdr10MaxCLL);
    } else {
      EXPECT_LT(Seen.MaxLuminance, 0);
    }
    EXPECT_EQ(DecodeErrors(Output), "");
  }
  // The probe names the kind of HDR a file holds, and nothing for SDR.
  const TCommandResult Info =
      RunCommand("'" + ExecutableDirectory() + "/korvane-convert' --info " + Quoted(Clips.Hdr10) + " " +
                 Quoted(Clips.Hlg) + " " + Quoted(Clips.Sdr10));
  EXPECT_EQ(Info.Status, 0) << Info.Output;
  const size_t Hlg = Info.Output.find(Clips.Hlg), Sdr = Info.Output.find(Clips.Sdr10);
  EXPECT_NE(Info.Output.find("  HDR: PQ\n"), std::string::npos) << Info.Output;
  EXPECT_GT(Info.Output.find("  HDR: PQ\n"), 0u);
  EXPECT_LT(Info.Output.find("  HDR: PQ\n"), Hlg);
  EXPECT_GT(Info.Output.find("  HDR: HLG\n", Hlg), Hlg);
  EXPECT_LT(Info.Output.find("  HDR: HLG\n", Hlg), Sdr);
  EXPECT_EQ(Info.Output.find("HDR:", Sdr), std::string::npos) << "10-bit SDR is no HDR";
}

// HDR becomes SDR BT.709 for the 8-bit profiles and where the user asks for
// SDR, and is not washed out: its saturation and its likeness (SSIM) match
// the SDR picture it was graded from, within what tone mapping gives. HDR10
// states its brightest light (SDR's white here), so the SDR picture comes
// back nearly whole; HLG states none, so light up to a 1000 cd/m2 display's
// is made room for, and the picture is a little darker and less saturated.
// (The ffmpeg program's own zscale and tonemap chain gives the same with
// FFmpeg 5.1.9: 0.92 of the graded saturation at the stated peak, 0.85 at
// 1000 cd/m2. Washed out, untouched PQ keeps about a quarter of the
// saturation, HLG about two fifths.)
TEST_F(Colour, HdrIsToneMappedToTheSdrItWasGradedFrom) {
  const double Graded = Saturation(Clips.Sdr709);
  ASSERT_GT(Graded, 20);
  // clang-format off
  struct Row {
    std::string Profile, Choices, Source;
    double LeastSaturation, LeastSsim;
  } Rows[] = {
      {Mp4H264,       "",          Clips.Hdr10, 0.90, 0.88},
      {MkvEveryTrack, "",          Clips.Hdr10, 0.90, 0.88},
      {Mp4Mpeg4,      "",          Clips.Hdr10, 0.90, 0.88},  // a long-standing profile
      {Mp4Hevc,       "--hdr sdr", Clips.Hdr10, 0.90, 0.88},
      {Mp4H264,       "",          Clips.Hlg,   0.82, 0.88},
      {WebmVp9,       "--hdr sdr", Clips.Hlg,   0.82, 0.88},
  };
  // clang-format on
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile + " " + R.Choices + " from " + fs::path(R.Source).filename().string());
    const std::string Output = Convert(R.Profile, R.Source, R.Choices);
    EXPECT_EQ(Colours(Output), "yuv420p|bt709|bt709|bt709|tv");
    EXPECT_LT(HdrMetadata(Output).MaxLuminance, 0) << "SDR carries no mastering display";
    const double Ratio = Saturation(Output) / Graded;
    EXPECT_GT(Ratio, R.LeastSaturation);
    EXPECT_LT(Ratio, 1.1);
    EXPECT_GT(PictureQuality(Output, Clips.Sdr709).Ssim, R.LeastSsim);
  }
}

}  // namespace
}  // namespace korvane::test
