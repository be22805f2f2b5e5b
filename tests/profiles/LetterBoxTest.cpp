// SPDX-License-Identifier: GPL-3.0-or-later
// The letterbox: where the picture goes inside the output frame.
#include <gtest/gtest.h>

#include "LetterBox.h"

namespace korvane {
namespace {

TEST(LetterBox, PictureKeepsItsShapeInsideTheFrame) {
  struct TCase {
    const char *Name;
    TSourcePicture Source;
    const char *FrameSize;  // as the settings step wrote it; empty: the source's
    const char *Aspect;     // the aspect choice's text; empty: "Original"
    const char *Size;       // expected picture size
    int Top, Bottom, Left, Right;
    const char *FrameAspect;
  };
  const TCase Cases[] = {
      {"16:9 into 4:3", {1280, 720, 0}, "640x480", "", "640x360", 60, 60, 0, 0, "1.3333"},
      {"4:3 into 16:9", {640, 480, 0}, "1280x720", "", "960x720", 0, 0, 160, 160, "1.7778"},
      {"same shape", {320, 240, 0}, "640x480", "", "640x480", 0, 0, 0, 0, "1.3333"},
      {"anamorphic 16:9 PAL", {720, 576, 16.0 / 9}, "720x576", "", "720x406", 84, 86, 0, 0, "1.25"},
      {"source size kept", {1280, 720, 0}, "", "4:3", "1280x540", 90, 90, 0, 0, "4:3"},
      {"frame shown at 16:9", {640, 480, 0}, "720x576", "16:9", "540x576", 0, 0, 90, 90, "16:9"},
      {"odd bars stay even", {1920, 800, 0}, "352x288", "", "352x146", 70, 72, 0, 0, "1.2222"},
      // A source of an odd size keeps its shape in the even frame the
      // encoders take, as the engine scales it without a letterbox.
      {"odd source size", {720, 405, 0}, "", "", "720x404", 0, 0, 0, 0, "1.7778"},
      {"odd source shown 4:3", {721, 405, 0}, "", "4:3", "720x302", 50, 52, 0, 0, "4:3"},
      {"odd source turned", {405, 720, 0, 90}, "", "", "404x720", 0, 0, 0, 0, "0.5625"},
      {"odd anamorphic source", {703, 405, 16.0 / 9}, "", "", "702x394", 4, 6, 0, 0, "1.7358"},
      {"one pixel", {1, 1, 0}, "", "", "2x2", 0, 0, 0, 0, "1"},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TOutputOptions Options;
    Options.FrameSize = Case.FrameSize;
    Options.FrameAspectRatio = *Case.Aspect ? Case.Aspect : "ignored";
    ApplyLetterBox(Options, Case.Source, *Case.Aspect == 0);
    EXPECT_EQ(Options.FrameSize, Case.Size);
    EXPECT_EQ(Options.PadTop, Case.Top);
    EXPECT_EQ(Options.PadBottom, Case.Bottom);
    EXPECT_EQ(Options.PadLeft, Case.Left);
    EXPECT_EQ(Options.PadRight, Case.Right);
    EXPECT_EQ(Options.FrameAspectRatio, Case.FrameAspect);
    EXPECT_EQ(Options.PadColor, 0u);
  }
}

TEST(LetterBox, NoPictureChangesNothing) {
  TOutputOptions Options;
  Options.FrameSize = "640x480";
  ApplyLetterBox(Options, {0, 0, 0}, true);
  EXPECT_EQ(Options.FrameSize, "640x480");
  EXPECT_EQ(Options.PadTop, -1);
}

}  // namespace
}  // namespace korvane
