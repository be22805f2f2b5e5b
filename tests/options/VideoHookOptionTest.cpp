// Frame-hook plug-ins added through the "vhook" option: how the text is
// split, the entry points a plug-in must have, the failure texts, the chain
// order and its release.
#include <dlfcn.h>

#include <filesystem>

#include "TaskFixture.h"

namespace korvane::test {
namespace {

class VideoHook : public TaskTest {
 protected:
  static std::string Plugin(const char *Variant) {
    return ExecutableDirectory() + "/test-hooks/libtest_hook_" + Variant + ".so";
  }
  // What the plug-in recorded so far; reading clears it.
  static std::string Journal(const char *Variant) {
    void *Library = dlopen(Plugin(Variant).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!Library) return "<not loaded>";
    char *Text = static_cast<char *>(dlsym(Library, "HookJournal"));
    std::string Result = Text;
    Text[0] = '\0';
    dlclose(Library);
    return Result;
  }
  void SetUp() override {
    TaskTest::SetUp();
    for (const char *Variant : {"full", "noconfigure", "noprocess"}) Journal(Variant);
  }
};

TEST_F(VideoHook, WordsSplitAtBarsWhenThereAreAnyElseAtBlanks) {
  Task.SetOption("vhook", Plugin("full") + " 12 34");
  EXPECT_EQ(Journal("full"), "configure 3 [12] [34];");
  Task.SetOption("vhook", Plugin("full") + "|text with blanks|x");
  EXPECT_EQ(Journal("full"), "configure 3 [text with blanks] [x];");
  EXPECT_EQ(S().FUsingVHook, 1);
  EXPECT_EQ(S().FFrameHooks.Count(), 2);
}

TEST_F(VideoHook, ChainRunsInOrderAndIsReleasedWithTheTask) {
  Task.SetOption("vhook", Plugin("full"));
  Task.SetOption("vhook", Plugin("full"));  // the same file again: its own entry and context
  Task.SetOption("vhook", Plugin("noconfigure"));
  Journal("full");
  uint8_t Pixel = 0;
  TFramePicture Picture{{&Pixel, nullptr, nullptr, nullptr}, {1, 0, 0, 0}};
  S().FFrameHooks.Process(&Picture, 0, 320, 240, 40000);
  const std::string First = Journal("full");
  EXPECT_NE(First.find("process"), std::string::npos);
  EXPECT_EQ(Journal("noconfigure"), "process 0 320x240 fmt 0 at 40000;") << "no Configure: no context";
  EXPECT_EQ(Pixel, 0xAB);
  int A = 0, B = 0;
  ASSERT_EQ(std::sscanf(First.c_str(), "process %d 320x240 fmt 0 at 40000;process %d", &A, &B), 2);
  EXPECT_LT(A, B) << "in the order they were added, each with its own context";

  Task.ClearOptions();
  EXPECT_EQ(Journal("full"), "release " + std::to_string(A) + ";release " + std::to_string(B) + ";");
  EXPECT_EQ(Journal("noconfigure"), "release 0;");
  EXPECT_TRUE(S().FFrameHooks.Empty());
}

TEST_F(VideoHook, FailuresAreLoggedAndRaiseWithTheOptionText) {
  TLogCapture Log;
  const std::string Missing = ExecutableDirectory() + "/test-hooks/no-such-hook.so";
  struct Row {
    std::string Text;
    std::string Logged;  // the library log line expected, as a prefix
  } Rows[] = {
      {Missing, Missing + ": cannot open shared object file"},
      {Plugin("noprocess"), "Failed to find Process entrypoint in " + Plugin("noprocess")},
      {Plugin("noconfigure") + " 1", "Failed to find Configure entrypoint in " + Plugin("noconfigure")},
      {Plugin("full") + " fail", "Failed to Configure " + Plugin("full")},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Text);
    EXPECT_EQ(Error("vhook", R.Text), "Failed to add video hook function: " + R.Text);
    ASSERT_FALSE(Log.Texts().empty());
    EXPECT_EQ(Log.Texts().back().rfind(R.Logged, 0), 0u) << Log.Texts().back();
  }
  EXPECT_EQ(S().FFrameHooks.Count(), 0) << "a failed entry is not added";
  EXPECT_EQ(S().FUsingVHook, 0);
  EXPECT_EQ(Error("vhook", ""), "Failed to add video hook function: ");
}

TEST_F(VideoHook, AtMost63WordsFitTheArgumentTable) {
  std::string Text = Plugin("full");
  for (int I = 1; I < 63; ++I) Text += " a";
  EXPECT_EQ(Error("vhook", Text), "");
  EXPECT_EQ(Journal("full").rfind("configure 63 ", 0), 0u);
  Text += " a";
  EXPECT_EQ(Error("vhook", Text), "Failed to add video hook function: " + Text + " (more than 63 words)");
}

TEST_F(VideoHook, RelativePluginPathSurvivesTheFolderChange) {
  const std::string Saved = std::filesystem::current_path().string();
  std::filesystem::current_path(ExecutableDirectory());
  EXPECT_EQ(Error("vhook", "test-hooks/libtest_hook_full.so 1"), "");
  EXPECT_EQ(std::filesystem::current_path().string(), ExecutableDirectory()) << "the folder comes back";
  std::filesystem::current_path(Saved);
}

}  // namespace
}  // namespace korvane::test
