// SPDX-License-Identifier: GPL-3.0-or-later
// Frame-hook plug-ins added through the "vhook" option: how the text is
// split, the entry points a plug-in must have, the failure texts, the chain
// order and its release.
#include <dlfcn.h>

#include <filesystem>

#include "PictureOps.h"
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

// The sample plug-ins, named without a folder (they lie beside the
// program), on pictures of the layouts they meet: grey sets exactly the
// chroma samples of 8-bit planar YUV to neutral, the box is drawn only
// inside the picture, and other formats pass unchanged.
TEST_F(VideoHook, SamplePlugInsChangeOnlyWhatTheyShould) {
  ASSERT_EQ(Error("vhook", "hook_grey.so"), "");
  ASSERT_EQ(Error("vhook", "hook_box.so 90 60 20 20 ff0000"), "");  // red: Y 82, U 91, V 240
  constexpr int Width = 97, Height = 63;
  const struct {
    AVPixelFormat Format;
    bool Changed;
  } Rows[] = {{AV_PIX_FMT_YUV420P, true}, {AV_PIX_FMT_YUVJ422P, true},     {AV_PIX_FMT_YUV444P, true},
              {AV_PIX_FMT_YUV410P, true}, {AV_PIX_FMT_YUV440P, true},      {AV_PIX_FMT_GRAY8, false},
              {AV_PIX_FMT_RGB24, false},  {AV_PIX_FMT_YUV420P10LE, false}, {AV_PIX_FMT_NV12, false}};
  for (const auto &R : Rows) {
    SCOPED_TRACE(LibAVUtil::av_get_pix_fmt_name(R.Format));
    const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(R.Format);
    TFrameHolder Picture = NewPicture(R.Format, Width, Height);
    ASSERT_TRUE(Picture);
    const auto Rows = [&](int Plane) {
      return Plane == 1 || Plane == 2 ? -((-Height) >> D->log2_chroma_h) : Height;
    };
    std::vector<std::string> Before(4);
    for (int P = 0; P < 4 && Picture->data[P]; ++P) {
      for (int I = 0; I < Picture->linesize[P] * Rows(P); ++I)
        Picture->data[P][I] = static_cast<uint8_t>(I * 7 + P);
      Before[P].assign(reinterpret_cast<char *>(Picture->data[P]),
                       static_cast<size_t>(Picture->linesize[P] * Rows(P)));
    }
    TFramePicture Planes{
        {Picture->data[0], Picture->data[1], Picture->data[2], Picture->data[3]},
        {Picture->linesize[0], Picture->linesize[1], Picture->linesize[2], Picture->linesize[3]}};
    S().FFrameHooks.Process(&Planes, R.Format, Width, Height, 0);

    for (int P = 0; P < 4 && Picture->data[P]; ++P) {
      const int ShiftX = P ? D->log2_chroma_w : 0, ShiftY = P ? D->log2_chroma_h : 0;
      const int PlaneWidth = -((-Width) >> ShiftX);
      int Wrong = 0;
      for (int Y = 0; Y < Rows(P); ++Y)
        for (int X = 0; X < Picture->linesize[P]; ++X) {
          const size_t At = static_cast<size_t>(Y * Picture->linesize[P] + X);
          int Expected = static_cast<uint8_t>(Before[P][At]);
          if (R.Changed && X < PlaneWidth) {
            const bool InBox = X >= (90 >> ShiftX) && Y >= (60 >> ShiftY);  // the box runs past the edges
            if (InBox)
              Expected = P == 0 ? 82 : P == 1 ? 91 : 240;
            else if (P > 0)
              Expected = 128;
          }
          Wrong += Picture->data[P][At] != Expected;
        }
      EXPECT_EQ(Wrong, 0) << "plane " << P;
    }
  }
}

TEST_F(VideoHook, SampleBoxTakesItsRectangleAndColour) {
  const struct {
    std::string Text;
    bool Accepted;
  } Rows[] = {{"hook_box.so 1 2 3 4", true},
              {"hook_box.so 1 2 3 4 00ff00", true},
              {"hook_box.so|0|0|65535|65535|ABCDEF", true},
              {"hook_box.so 1 2 3", false},
              {"hook_box.so 1 2 3 4 00ff00 5", false},
              {"hook_box.so 1 2 0 4", false},
              {"hook_box.so -1 2 3 4", false},
              {"hook_box.so 1 2 3 x", false},
              {"hook_box.so 1 2 3 65536", false},
              {"hook_box.so 1 2 3 4 red", false},
              {"hook_box.so 1 2 3 4 0x00ff", false},
              {"hook_grey.so", true},
              {"hook_grey.so 1", false}};
  for (const auto &R : Rows)
    EXPECT_EQ(Error("vhook", R.Text), R.Accepted ? "" : "Failed to add video hook function: " + R.Text);
}

}  // namespace
}  // namespace korvane::test
