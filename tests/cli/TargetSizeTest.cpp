// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert --target-size and --estimate on a clip with detail in
// every picture: the outputs land at or under their targets and at least
// at nine tenths of them, through two passes, one pass corrected, or the
// sound's rate alone; the estimate comes near the real size.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string &Path) { return "'" + Path + "'"; }

// 20 s of 640x360 pictures with moving noise and a tone.
const std::string &DetailedClip() {
  static TTempDir Folder;
  static const std::string Clip = [] {
    const std::string Made = Folder.File("detail.mkv");
    if (!RunFFmpeg(
            "-f lavfi -i \"testsrc2=size=640x360:rate=25:duration=20,noise=alls=10:allf=t\" -f lavfi -i "
            "sine=f=440:duration=20 -c:v libx264 -preset ultrafast -crf 14 -c:a flac " +
            Quoted(Made)))
      throw std::runtime_error("ffmpeg could not make the detailed clip");
    return Made;
  }();
  return Clip;
}

TCommandResult Convert(const std::string &Arguments) {
  return RunCommand("'" + ExecutableDirectory() + "/korvane-convert' " + Arguments, true);
}

TEST(TargetSize, OutputsLandAtOrJustUnderTheirTarget) {
  const struct {
    const char *Profile, *Target, *Output;
    double Bytes;
  } Rows[] = {
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", "2M", "detail.mp4", 2 << 20},          // two passes
      {"WebM - AV1 Video, Opus Audio (*.webm)", "1500K", "detail.webm", 1500 << 10},  // one pass, corrected
      {"OPUS - Opus Audio (*.opus)", "150K", "detail.opus", 150 << 10},               // the sound alone
  };
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Profile);
    TTempDir Out;
    const TCommandResult R = Convert("-p " + Quoted(Row.Profile) + " -o " + Quoted(Out.Path()) +
                                     " --target-size " + Row.Target + " " + Quoted(DetailedClip()));
    ASSERT_EQ(R.Status, 0) << R.Output;
    // The passes' scratch folder is gone; the output alone is left.
    ASSERT_EQ(std::distance(fs::directory_iterator(Out.Path()), fs::directory_iterator()), 1);
    const std::string Output = Out.File(Row.Output);
    const double Bytes = static_cast<double>(fs::file_size(Output));
    EXPECT_LE(Bytes, Row.Bytes);
    EXPECT_GE(Bytes, Row.Bytes * 0.9);
    EXPECT_EQ(DecodeErrors(Output), "");
    EXPECT_NEAR(std::stod(ProbeFile(Output).Format.at("duration")), 20, 0.2);
  }
}

// A quality step's size is estimated from samples: the clip is longer
// than those coded whole.
TEST(TargetSize, AnEstimateComesNearTheRealSize) {
  const std::string Profile = Quoted("MP4 - H.264 Video, AAC Audio (*.mp4)");
  TTempDir Out;
  const TCommandResult Estimate = Convert("-p " + Profile + " --estimate " + Quoted(DetailedClip()));
  ASSERT_EQ(Estimate.Status, 0) << Estimate.Output;
  const size_t About = Estimate.Output.find(": about ");
  ASSERT_NE(About, std::string::npos) << Estimate.Output;
  const double Said = std::stod(Estimate.Output.substr(About + 8));
  ASSERT_NE(Estimate.Output.find(" MB", About), std::string::npos) << Estimate.Output;
  ASSERT_EQ(Convert("-p " + Profile + " -o " + Quoted(Out.Path()) + " " + Quoted(DetailedClip())).Status, 0);
  const double Real = static_cast<double>(fs::file_size(Out.File("detail.mp4"))) / (1 << 20);
  EXPECT_NEAR(Said, Real, Real * 0.25) << Estimate.Output;
}

}  // namespace
}  // namespace korvane::test
