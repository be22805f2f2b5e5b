// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert with frame-hook plug-ins: --hook and --hook-ranges, the
// sample plug-ins found beside the program by their bare names, and a
// plug-in that refuses its arguments.
#include <gtest/gtest.h>

#include <filesystem>

#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "PictureCheck.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

class HookCommand : public ::testing::Test {
 protected:
  // Runs the program with Arguments, the output folder first; standard
  // output and error together.
  TCommandResult Run(const std::string &Arguments) {
    return RunCommand(
        "'" + ExecutableDirectory() + "/korvane-convert' -p 3 -o '" + Temp.Path() + "' " + Arguments, true);
  }
  TTempDir Temp, Sources;
};

TEST_F(HookCommand, UsageErrorsSayWhatTheOptionsTake) {
  const struct {
    std::string Arguments, Message;
  } Rows[] = {
      {"--hook '' x.avi", "--hook takes a plug-in file and its arguments on one line, not ''"},
      {"--hook ' | ' x.avi", "--hook takes a plug-in file and its arguments on one line"},
      {"--hook hook_grey.so --hook-ranges 5-1 x.avi",
       "--hook-ranges takes START-END,... in milliseconds, not '5-1'"},
      {"--hook hook_grey.so --hook-ranges '0-1000,' x.avi", "--hook-ranges takes START-END"},
      {"--hook hook_grey.so --hook-ranges -5-10 x.avi", "--hook-ranges takes START-END"},
      {"--hook hook_grey.so --hook-ranges 1s-2s x.avi", "--hook-ranges takes START-END"},
      {"--hook-ranges 0-1000 x.avi", "--hook-ranges needs a plug-in: add one with --hook"},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Arguments);
    const TCommandResult Result = Run(R.Arguments);
    EXPECT_EQ(Result.Status, 2);
    EXPECT_NE(Result.Output.find("korvane-convert: " + R.Message), std::string::npos) << Result.Output;
  }
  EXPECT_TRUE(fs::is_empty(Temp.Path()));
}

TEST_F(HookCommand, PlugInsRunInsideTheRangesAndARefusedOneFailsTheFile) {
  const std::string Clip = Sources.File("tinted.avi");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc2=size=96x64:rate=25:duration=2 -vf \"lutyuv=u='clip(val+48,0,255)'\" "
                "-c:v mpeg4 -q:v 2 '" +
                Clip + "'"));
  const TCommandResult Done =
      Run("--hook 'hook_box.so 0 0 8 8' --hook hook_grey.so --hook-ranges ' 0 - 1000 ' '" + Clip + "'");
  ASSERT_EQ(Done.Status, 0) << Done.Output;
  const std::vector<TFrameStats> Frames = FrameSignalStats(Temp.File("tinted.avi"));
  ASSERT_EQ(Frames.size(), 50u);
  // The profile's encoder leaves some colour noise in a grey picture.
  for (size_t I = 0; I < Frames.size(); ++I)
    EXPECT_EQ(std::abs(Frames[I].at("UAVG") - 128) <= 2, I <= 25)
        << "picture " << I << " at " << I * 40 << " ms";

  const TCommandResult Refused = Run("--hook 'hook_box.so 1 2' '" + Clip + "'");
  EXPECT_EQ(Refused.Status, 1);
  EXPECT_NE(Refused.Output.find("failed   " + Clip + ": Failed to add video hook function: hook_box.so 1 2"),
            std::string::npos)
      << Refused.Output;
  EXPECT_FALSE(fs::exists(Temp.File("tinted-1.avi"))) << "nothing is written for the refused file";
}

}  // namespace
}  // namespace korvane::test
