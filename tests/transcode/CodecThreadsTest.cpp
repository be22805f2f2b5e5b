// SPDX-License-Identifier: GPL-3.0-or-later
// Codec threads: a task's thread count (automatic unless the "threads"
// option says otherwise) reaches its decoders and encoders when they open,
// and threading does not cost picture quality.
#include <regex>
#include <thread>

#include "ConversionFixture.h"
#include "PictureCheck.h"

namespace korvane::test {
namespace {

using CodecThreads = TranscodeTest;

// The video codecs' threading as the run found them open.
struct TOpened {
  int DecoderThreads = -1, DecoderType = -1, EncoderThreads = -1, EncoderType = -1;
};

AVCodecContext *VideoCodec(const std::vector<AVCodecContext *> &Contexts) {
  for (AVCodecContext *C : Contexts)
    if (C && C->codec_type == AVMEDIA_TYPE_VIDEO) return C;
  return nullptr;
}

// Converts the small MPEG-4 clip to Encoder at the same size with the given
// option lines on the output record (set after the input, and so its
// decoders, were made).
TConversion ConvertWith(const std::string &Source, const std::string &Target, const std::string &Encoder,
                        const std::string &Lines, TOpened *Opened = nullptr) {
  TConversion C = Convert(
      Source, Target,
      [&](TInputOptions &, TOutputOptions &O) {
        O.VideoCodec = Encoder;
        O.VideoBitrate = 300000;
        O.AudioDisable = true;
        O.ExtOptions = Lines;
      },
      [Opened](TFFmpeg &Task, TConversion &) {
        if (!Opened) return;
        // The run owns its decoders and says how each opened at this level.
        Task.State().FVerbose = 3;
        Task.FProgressIntervalUS = 0;
        Task.FOnProgress = [Opened](TCustomFFmpeg &T, const TProgressInfo &) {
          std::vector<AVCodecContext *> Encoders;
          for (const TOutputStreamSetup &E : T.State().FOutputStreams[0]) Encoders.push_back(E.Encoder.get());
          if (const AVCodecContext *Enc = VideoCodec(Encoders)) {
            Opened->EncoderThreads = Enc->thread_count;
            Opened->EncoderType = Enc->active_thread_type;
          }
        };
      });
  const std::regex Decoder(
      "Input stream #0\\.[0-9]+ decodes with ([0-9]+) threads \\((frames|slices|none)\\)");
  std::smatch Match;
  for (const std::string &Line : C.Log)
    if (Opened && std::regex_search(Line, Match, Decoder)) {
      Opened->DecoderThreads = std::stoi(Match[1]);
      Opened->DecoderType = Match[2] == "frames"   ? FF_THREAD_FRAME
                            : Match[2] == "slices" ? FF_THREAD_SLICE
                                                   : 0;
    }
  return C;
}

TEST_F(CodecThreads, TheTasksCountReachesDecoderAndEncoder) {
  const bool Multicore = std::thread::hardware_concurrency() > 1;
  struct Row {
    const char *Encoder, *Lines;
    int Count;  // 0: automatic
  } Rows[] = {
      {"libx264", "", 0},
      {"libx264", "threads=0", 0},
      {"libx264", "threads=1", 1},
      {"libx264", "threads=2", 2},
      {"mpeg4", "", 0},
      {"mpeg4", "threads=1", 1},
      {"mpeg4", "threads=3", 3},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Encoder) + " with '" + R.Lines + "'");
    const std::string Target = Out(std::string(R.Encoder) + ".mp4");
    TOpened Opened;
    const TConversion C = ConvertWith(Clips.VideoAudio, Target, R.Encoder, R.Lines, &Opened);
    ASSERT_TRUE(C.Finished) << C.Error;
    EXPECT_EQ(DecodeErrors(Target), "");
    const bool X264 = std::string(R.Encoder) == "libx264";
    // The MPEG-4 decoder threads by frames, its encoder by slices (given a
    // count, it takes it as it is); x264 threads by itself and writes its
    // count into the stream.
    if (R.Count > 0) {
      EXPECT_EQ(Opened.DecoderThreads, R.Count);
      EXPECT_EQ(Opened.DecoderType, R.Count > 1 ? FF_THREAD_FRAME : 0);
      EXPECT_EQ(Opened.EncoderThreads, R.Count);
      if (X264)
        EXPECT_EQ(X264Threads(Target), R.Count);
      else
        EXPECT_EQ(Opened.EncoderType, R.Count > 1 ? FF_THREAD_SLICE : 0);
    } else if (Multicore) {
      EXPECT_GT(Opened.DecoderThreads, 1);
      EXPECT_EQ(Opened.DecoderType, FF_THREAD_FRAME);
      if (X264) {
        EXPECT_EQ(Opened.EncoderThreads, 0) << "x264 chooses for itself";
        EXPECT_GT(X264Threads(Target), 1);
      } else {
        EXPECT_EQ(Opened.EncoderThreads, 2) << "each slice costs quality: two at most";
        EXPECT_EQ(Opened.EncoderType, FF_THREAD_SLICE);
      }
    }
  }
}

TEST_F(CodecThreads, ThreadingKeepsThePictureQuality) {
  // Measured against the source; x264 with two threads judges its rate a
  // little differently, which may go either way but never costs more than
  // a tenth of a decibel.
  for (const char *Encoder : {"libx264", "mpeg4"}) {
    SCOPED_TRACE(Encoder);
    double OneThread = 0;
    for (const char *Lines : {"threads=1", "threads=2", "threads=0"}) {
      const std::string Target = Out(std::string(Encoder) + "-" + (Lines + 8) + ".mp4");
      const TConversion C = ConvertWith(Clips.VideoAudio, Target, Encoder, Lines);
      ASSERT_TRUE(C.Finished) << C.Error;
      const double PSNR = PictureDistance(Target, Clips.VideoAudio)["average"];
      ASSERT_GT(PSNR, 30) << Lines;
      if (OneThread == 0)
        OneThread = PSNR;
      else
        EXPECT_GE(PSNR, OneThread - 0.1) << Lines;
    }
  }
}

}  // namespace
}  // namespace korvane::test
