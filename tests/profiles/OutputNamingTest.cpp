// SPDX-License-Identifier: GPL-3.0-or-later
// Output names: the profile's extension, unique names unless overwriting,
// and the aspect ratio a picture size gives.
#include <gtest/gtest.h>

#include "OutputNaming.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

TEST(OutputNaming, ExtensionReplacedAndNumberedUntilFree) {
  TTempDir Folder;
  const std::string F = Folder.Path();
  struct Row {
    std::string Input, Extension;
    bool Overwrite;
    std::string Expected;
  } Rows[] = {
      {"/videos/holiday.avi", "MP4", false, F + "/holiday.mp4"},
      {"/videos/no-extension", "AVI", false, F + "/no-extension.avi"},
      {"/videos/two.dots.mkv", "3GP", false, F + "/two.dots.3gp"},
      {"/videos/taken.avi", "MP4", false, F + "/taken-2.mp4"},  // taken.mp4 and taken-1.mp4 exist
      {"/videos/taken.avi", "MP4", true, F + "/taken.mp4"},
      {"relative.wmv", "WMV", false, F + "/relative-1.wmv"},  // relative.wmv exists
  };
  WriteFile(F + "/taken.mp4", "x");
  WriteFile(F + "/taken-1.mp4", "x");
  WriteFile(F + "/relative.wmv", "x");
  for (const Row &R : Rows)
    EXPECT_EQ(OutputFileName(F, R.Input, R.Extension, R.Overwrite), R.Expected) << R.Input;
  EXPECT_EQ(OutputFileName(F + "/", "/a/b.avi", "MP3", false), F + "/b.mp3") << "one separator";

  // Names another conversion of the batch will write are skipped, even
  // when overwriting.
  const auto Reserved = [&F](const std::string &Name) {
    return Name == F + "/clip.avi" || Name == F + "/taken-2.mp4";
  };
  EXPECT_EQ(OutputFileName(F, "/x/clip.mp4", "AVI", true, Reserved), F + "/clip-1.avi");
  EXPECT_EQ(OutputFileName(F, "/y/taken.avi", "MP4", false, Reserved), F + "/taken-3.mp4");
  EXPECT_EQ(OutputFileName(F, "/y/taken.avi", "MP4", true, Reserved), F + "/taken.mp4");
}

}  // namespace
}  // namespace korvane::test
