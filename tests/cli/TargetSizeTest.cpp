// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert --target-size and --estimate on a clip with detail in
// every picture: the outputs land at or under their targets and at least
// at nine tenths of them, through two passes, one pass corrected, or the
// sound's rate alone; the estimate comes near the real size, and says what
// it means where it has none.
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
    double Bytes, Floor = 0.9;
  } Rows[] = {
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", "2M", "detail.mp4", 2 << 20},          // two passes
      {"WebM - AV1 Video, Opus Audio (*.webm)", "1500K", "detail.webm", 1500 << 10},  // one pass, corrected
      {"OPUS - Opus Audio (*.opus)", "150K", "detail.opus", 150 << 10},               // the sound alone
      // 320 kbit/s is more than Opus codes one channel at (256): the
      // profile's own rate meets it.
      {"OPUS - Opus Audio (*.opus)", "800K", "detail.opus", 800 << 10, 0.0},
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
    EXPECT_GE(Bytes, Row.Bytes * Row.Floor);
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

// A target far above what the pictures need is met by the profile's
// quality step, and the estimate says so; an estimate that fails says why
// in words about the user's file, never naming its scratch files.
TEST(TargetSize, EstimatesSayWhatTheyMeanInTheUsersWords) {
  const TMediaClips &Clips = MediaClips();
  const TTempDir Temp;
  // 30 s whose index promises all of it, of which a third is there.
  const std::string Whole = Temp.File("whole.mp4"), Cut = Temp.File("cut.mp4");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=30 -c:v mpeg4 -movflags +faststart " +
                Quoted(Whole)));
  WriteFile(Cut, ReadFile(Whole).substr(0, fs::file_size(Whole) * 3 / 10));
  const struct {
    std::string Arguments, Line;
  } Rows[] = {
      {"--target-size 900G " + Quoted(Clips.VideoAudio),
       " (the profile's quality step needs less than 900 GB)\n"},
      {Quoted(Clips.Empty),
       Clips.Empty + ": no estimate: Unknown format. The file is empty (0 bytes): there is nothing in it to "
                     "convert.\n"},
      {Quoted(Cut), Cut + ": no estimate: nothing of " + Cut + " could be read from "},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Arguments);
    const TCommandResult Result = Convert("-p 63 --estimate " + R.Arguments);
    EXPECT_NE(Result.Output.find(R.Line), std::string::npos) << Result.Output;
    EXPECT_EQ(Result.Output.find("korvane-estimate"), std::string::npos) << Result.Output;
  }
  // Converted, such a target gives what the profile gives without one.
  for (const char *Target : {"", "--target-size 900G"}) {
    const std::string Folder = Temp.File(std::string("sized") + (Target[0] ? "-900G" : ""));
    fs::create_directory(Folder);
    const TCommandResult Result =
        Convert("-p 63 " + std::string(Target) + " -o " + Quoted(Folder) + " " + Quoted(Clips.VideoAudio));
    ASSERT_EQ(Result.Status, 0) << Result.Output;
    EXPECT_EQ(DecodeErrors(Folder + "/video-audio.mp4"), "");
  }
  EXPECT_EQ(fs::file_size(Temp.File("sized-900G/video-audio.mp4")),
            fs::file_size(Temp.File("sized/video-audio.mp4")));
}

}  // namespace
}  // namespace korvane::test
