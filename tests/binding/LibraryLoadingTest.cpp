// SPDX-License-Identifier: GPL-3.0-or-later
// Loading the media libraries and the utility library from a folder: names,
// success, the failure texts, release after a partial failure, PATH and the
// current directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "AVLibraries.h"
#include "LibAVCodec.h"
#include "LibAVFilter.h"
#include "LibAVFormat.h"
#include "LibAVUtil.h"
#include "LibSwResample.h"
#include "LibSwScale.h"
#include "MyUtil.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

bool AnyUnitLoaded() {
  return LibAVCodec::Loaded() || LibAVFormat::Loaded() || LibAVUtil::Loaded() || LibSwScale::Loaded() ||
         LibSwResample::Loaded() || LibAVFilter::Loaded() || MyUtil::Loaded();
}

bool AllUnitsLoaded() {
  return LibAVCodec::Loaded() && LibAVFormat::Loaded() && LibAVUtil::Loaded() && LibSwScale::Loaded() &&
         LibSwResample::Loaded() && LibAVFilter::Loaded() && MyUtil::Loaded();
}

std::string CurrentDirectory() {
  char Path[PATH_MAX] = {};
  return getcwd(Path, sizeof Path) ? Path : "";
}

// Restores PATH and the current directory the test found, and starts every
// test with nothing loaded.
class LibraryLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    UnloadAVLibraries();
    const char *Path = std::getenv("PATH");
    FSavedPath = Path ? Path : "";
    FSavedDirectory = CurrentDirectory();
  }
  void TearDown() override {
    UnloadAVLibraries();
    setenv("PATH", FSavedPath.c_str(), 1);
    EXPECT_EQ(chdir(FSavedDirectory.c_str()), 0);
  }

  // A "Common Files" of its own: links to the real files except the ones
  // named in Replace (name -> file to link instead, or empty to leave out).
  // Each folder gets a name of its own: a library once loaded stays resident
  // under its path for the life of the process.
  std::string MakeFolder(const std::map<std::string, std::string> &Replace) {
    const std::string Folder = FTemp.File("Common Files " + std::to_string(++FFolderCount));
    fs::create_directory(Folder);
    for (const auto &Entry : fs::directory_iterator(CommonFilesDirectory())) {
      const std::string Name = Entry.path().filename().string();
      const auto Found = Replace.find(Name);
      const std::string Target =
          Found == Replace.end() ? fs::canonical(Entry.path()).string() : Found->second;
      if (!Target.empty()) fs::create_symlink(Target, Folder + "/" + Name);
    }
    return Folder;
  }

  TTempDir FTemp;
  int FFolderCount = 0;
  std::string FSavedPath;
  std::string FSavedDirectory;
};

TEST_F(LibraryLoading, FileNamesCarryTheHeadersMajorsOnlyWhenAskedTo) {
  struct Row {
    std::string Actual, Expected;
  } Rows[] = {
      {LibAVCodec::FileName(true), "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR)},
      {LibAVFormat::FileName(true), "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR)},
      {LibAVUtil::FileName(true), "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR)},
      {LibSwScale::FileName(true), "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR)},
      {LibSwResample::FileName(true), "libswresample.so." + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR)},
      {LibAVFilter::FileName(true), "libavfilter.so." + std::to_string(LIBAVFILTER_VERSION_MAJOR)},
      {LibAVCodec::FileName(false), "libavcodec.so"},
      {LibAVFormat::FileName(false), "libavformat.so"},
      {LibAVUtil::FileName(false), "libavutil.so"},
      {LibSwScale::FileName(false), "libswscale.so"},
      {LibSwResample::FileName(false), "libswresample.so"},
      {LibAVFilter::FileName(false), "libavfilter.so"},
      {MyUtil::FileName(), "libmyutil.so"},
  };
  for (const Row &R : Rows) EXPECT_EQ(R.Actual, R.Expected);
}

TEST_F(LibraryLoading, LoadsAndBindsEveryUnitWithEitherName) {
  for (const bool Versioned : {true, false}) {
    SCOPED_TRACE(Versioned ? "versioned names" : "plain names");
    UnloadAVLibraries();
    ASSERT_TRUE(LoadAVLibraries(CommonFilesDirectory(), Versioned)) << AVLibrariesError();
    EXPECT_TRUE(AVLibrariesLoaded());
    EXPECT_TRUE(AllUnitsLoaded());
    EXPECT_EQ(AVLibrariesError(), "");
    // The libraries found are the ones the headers describe.
    EXPECT_EQ(AV_VERSION_MAJOR(LibAVCodec::avcodec_version()), LIBAVCODEC_VERSION_MAJOR);
    EXPECT_EQ(AV_VERSION_MAJOR(LibAVFormat::avformat_version()), LIBAVFORMAT_VERSION_MAJOR);
    EXPECT_EQ(AV_VERSION_MAJOR(LibSwResample::swresample_version()), LIBSWRESAMPLE_VERSION_MAJOR);
    EXPECT_EQ(AV_VERSION_MAJOR(LibAVFilter::avfilter_version()), LIBAVFILTER_VERSION_MAJOR);
    // A bound function works.
    AVRational Q{};
    ASSERT_EQ(LibAVUtil::av_parse_video_rate(&Q, "ntsc"), 0);
    EXPECT_EQ(Q.num, 30000);
    EXPECT_EQ(Q.den, 1001);
    char Text[16];
    EXPECT_EQ(MyUtil::my_snprintf(Text, sizeof Text, "%03d", 7), 3);
    EXPECT_STREQ(Text, "007");
  }
}

TEST_F(LibraryLoading, FailuresNameTheFileTheFunctionAndTheSystemMessageThenReleaseAll) {
  const std::string Swscale = LibSwScale::FileName(true);
  const std::string Stub = ExecutableDirectory() + "/test-stubs/libstub_swscale.so";
  struct Row {
    const char *Case;
    std::map<std::string, std::string> Replace;
    std::string Expected;  // with {dir} for the folder
  } Rows[] = {
      {"library left out",
       {{Swscale, ""}},
       "Load libraray " + Swscale + " error: {dir}/" + Swscale +
           ": cannot open shared object file: No such file or directory"},
      {"library without a function",
       {{Swscale, Stub}},
       "Load function sws_alloc_context@" + Swscale + " error: {dir}/" + Swscale +
           ": undefined symbol: sws_alloc_context"},
      {"utility library left out",
       {{"libmyutil.so", ""}},
       "Load libraray libmyutil.so error: {dir}/libmyutil.so: cannot open shared object file: No such file "
       "or directory"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    const std::string Folder = MakeFolder(R.Replace);
    std::string Expected = R.Expected;
    for (size_t At; (At = Expected.find("{dir}")) != std::string::npos;) Expected.replace(At, 5, Folder);

    EXPECT_FALSE(LoadAVLibraries(Folder, true));
    EXPECT_EQ(AVLibrariesError(), Expected);
    EXPECT_FALSE(AVLibrariesLoaded());
    EXPECT_FALSE(AnyUnitLoaded()) << "the units loaded before the failure are released again";
    EXPECT_EQ(LibAVCodec::avcodec_open2, nullptr);
    EXPECT_EQ(LibSwScale::swscale_version, nullptr);
  }
  // Once the folder is whole again, a new load succeeds.
  ASSERT_TRUE(LoadAVLibraries(CommonFilesDirectory(), true)) << AVLibrariesError();
  EXPECT_EQ(AVLibrariesError(), "");
}

TEST_F(LibraryLoading, UnitLoadReportsItsOwnText) {
  std::string Error = "untouched";
  EXPECT_TRUE(LibAVUtil::Load(Error, CommonFilesDirectory(), true));
  EXPECT_EQ(Error, "untouched");
  EXPECT_TRUE(LibAVUtil::Loaded());
  EXPECT_FALSE(LibAVCodec::Loaded());
  LibAVUtil::Unload();
  EXPECT_FALSE(LibAVUtil::Loaded());

  EXPECT_FALSE(MyUtil::Load(Error, FTemp.Path()));
  EXPECT_EQ(Error, "Load libraray libmyutil.so error: " + FTemp.Path() +
                       "/libmyutil.so: cannot open shared object file: No such file or directory");
}

TEST_F(LibraryLoading, PathGetsTheFolderInFrontOnlyWhenMissing) {
  const std::string Folder = CommonFilesDirectory();
  std::string Lower = Folder;
  for (char &C : Lower) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  struct Row {
    const char *Case;
    std::string Before, After;
  } Rows[] = {
      {"missing", "/usr/bin:/bin", Folder + ":/usr/bin:/bin"},
      {"present", "/usr/bin:" + Folder + ":/bin", "/usr/bin:" + Folder + ":/bin"},
      {"present in another letter case", Lower + ":/bin", Lower + ":/bin"},
      {"empty", "", Folder},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    UnloadAVLibraries();
    setenv("PATH", R.Before.c_str(), 1);
    ASSERT_TRUE(LoadAVLibraries(Folder, true)) << AVLibrariesError();
    EXPECT_EQ(std::string(std::getenv("PATH")), R.After);
    EXPECT_EQ(CurrentDirectory(), FSavedDirectory) << "the current directory comes back";
  }
}

TEST_F(LibraryLoading, CurrentDirectoryComesBackAfterAFailedLoad) {
  const std::string Folder = MakeFolder({{LibAVFormat::FileName(true), ""}});
  EXPECT_FALSE(LoadAVLibraries(Folder, true));
  EXPECT_EQ(CurrentDirectory(), FSavedDirectory);
}

TEST_F(LibraryLoading, EmptyFolderLeavesPathAndCurrentDirectoryAlone) {
  setenv("PATH", "/usr/bin:/bin", 1);
  // The system's search finds the media libraries but not the utility library.
  EXPECT_FALSE(LoadAVLibraries("", true));
  EXPECT_EQ(AVLibrariesError().rfind("Load libraray libmyutil.so error: libmyutil.so: ", 0), 0u)
      << AVLibrariesError();
  EXPECT_STREQ(std::getenv("PATH"), "/usr/bin:/bin");
  EXPECT_EQ(CurrentDirectory(), FSavedDirectory);
}

TEST_F(LibraryLoading, SecondLoadReturnsAtOnceWithoutTouchingPath) {
  ASSERT_TRUE(LoadAVLibraries(CommonFilesDirectory(), true));
  setenv("PATH", "/only/this", 1);
  // Even a folder that holds nothing: the loaded libraries stay as they are.
  EXPECT_TRUE(LoadAVLibraries(FTemp.Path(), true));
  EXPECT_STREQ(std::getenv("PATH"), "/only/this");
  EXPECT_TRUE(AllUnitsLoaded());
  EXPECT_EQ(AVLibrariesError(), "");
}

TEST_F(LibraryLoading, UnloadClearsEveryUnitAndTheFlag) {
  ASSERT_TRUE(LoadAVLibraries(CommonFilesDirectory(), true));
  UnloadAVLibraries();
  EXPECT_FALSE(AVLibrariesLoaded());
  EXPECT_FALSE(AnyUnitLoaded());
  EXPECT_EQ(LibAVFormat::avformat_open_input, nullptr);
  EXPECT_EQ(MyUtil::my_vsnprintf, nullptr);
}

}  // namespace
}  // namespace korvane::test
