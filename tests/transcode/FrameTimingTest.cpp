// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping a frame rate: every output frame shows the source picture whose
// time has come, the last picture keeps its duration, a late first picture
// is held from the start, and the sound's marks stay with the pictures that
// carry them. Measured on clips whose pictures carry their own number.
#include <map>

#include "ConversionFixture.h"
#include "Fidelity.h"

namespace korvane::test {
namespace {

using FrameTiming = TranscodeTest;

TEST_F(FrameTiming, EveryFrameShowsThePictureOfItsTime) {
  constexpr double Seconds = 2;
  const std::string Film = Out("film.avi"), Slides = Out("slides.avi"), Gaps = Out("gaps.mkv"),
                    LateStart = Out("late-start.mkv");
  const std::string Audio = " -c:a pcm_s16le ";
  ASSERT_TRUE(
      RunFFmpeg(MarkedClipInputs("24000/1001", Seconds, "176x64") + " -c:v mpeg4 -q:v 2" + Audio + Film));
  ASSERT_TRUE(RunFFmpeg(MarkedClipInputs("10", Seconds, "176x64") + " -c:v mpeg4 -q:v 2" + Audio + Slides));
  // Pictures 10 to 19 left out: 400 ms without a picture.
  ASSERT_TRUE(RunFFmpeg(MarkedClipInputs("25", Seconds, "176x64") +
                        " -vf \"select='not(between(n\\,10\\,19))'\" -fps_mode passthrough -c:v ffv1" +
                        Audio + Gaps));
  // The first picture comes one frame after the sound, as with packed B-frames.
  ASSERT_TRUE(RunFFmpeg(MarkedClipInputs("24000/1001", Seconds, "176x64") +
                        " -vf \"select='gt(n\\,0)'\" -fps_mode passthrough -c:v ffv1" + Audio + LateStart));

  struct Row {
    std::string Source;
    const char *Rate;
    double FramesPerSecond;
  } Rows[] = {{Film, "30000/1001", 30000.0 / 1001},
              {Film, "25", 25},
              {Film, "15", 15},
              {Slides, "25", 25},
              {Gaps, "25", 25},
              {LateStart, "30000/1001", 30000.0 / 1001}};
  std::map<std::string, std::vector<TShownPicture>> Sources;
  int N = 0;
  for (const Row &R : Rows) {
    const std::string Target = Out("timing-" + std::to_string(N++) + ".avi");
    SCOPED_TRACE(R.Source + " at " + R.Rate);
    const TConversion C = Convert(R.Source, Target, [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = "mpeg4";
      O.AudioCodec = "pcm_s16le";
      O.FrameRate = R.Rate;
      O.ExtOptions = "qscale=2";
    });
    ASSERT_TRUE(C.Ran) << C.Error;

    if (!Sources.count(R.Source)) Sources[R.Source] = ShownPictures(R.Source);
    const std::vector<TShownPicture> &Source = Sources[R.Source], Output = ShownPictures(Target);
    ASSERT_FALSE(Source.empty());
    const TTimingReport Timing = CompareTiming(Source, Output, 1 / R.FramesPerSecond);
    EXPECT_EQ(Timing.Unread, 0);
    EXPECT_LE(Timing.WorstPicturesOff, 1);
    EXPECT_LE(Timing.MeanFrameError, 0.5);

    // As long as the source's pictures last, the last one included.
    const double SourceEnd = Source.back().Time + (Source.back().Time - Source[Source.size() - 2].Time);
    EXPECT_NEAR(static_cast<double>(Output.size()), SourceEnd * R.FramesPerSecond, 1.0);
    EXPECT_NEAR(Output.back().Time + 1 / R.FramesPerSecond, SourceEnd, 1 / R.FramesPerSecond + 1e-3);
    EXPECT_NEAR(Output.front().Time, 0, 1e-3) << "the first picture is held from the start";

    const TMarkOffsets Marks = MarkOffsets(ToneMarks(Target), PictureMarks(Output));
    EXPECT_EQ(Marks.Pairs, 2);
    EXPECT_LE(std::abs(Marks.WorstMs), 20) << "the tone against the pictures that carry it";
  }
}

}  // namespace
}  // namespace korvane::test
