// SPDX-License-Identifier: GPL-3.0-or-later
// The video path: frames dropped and repeated to follow the input clock,
// cropping, padding, odd sizes, deinterlacing and unusual pixel formats.
#include <cstring>

#include "ConversionFixture.h"
#include "PictureCheck.h"
#include "PictureOps.h"

namespace korvane::test {
namespace {

using VideoPath = TranscodeTest;

// The luma of the first picture of File at (X, Y).
int LumaAt(const std::string &File, int Width, int X, int Y) {
  const TCommandResult Raw = RunCommand("ffmpeg -nostdin -v error -i '" + File +
                                        "' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
  const size_t At = static_cast<size_t>(Y) * Width + X;
  return At < Raw.Output.size() ? static_cast<unsigned char>(Raw.Output[At]) : -1;
}

TConfigure Video(const char *Codec, const char *Extra = "", const char *Size = "") {
  return [=](TInputOptions &, TOutputOptions &O) {
    O.VideoCodec = Codec;
    O.ExtOptions = Extra;
    O.FrameSize = Size;
  };
}

TEST_F(VideoPath, FramesFollowTheInputClock) {
  struct Row {
    std::string Source;
    const char *Rate;
    int SyncMethod;
    int Frames, Dup, Drop;
    int Tolerance;
  } Rows[] = {
      {Clips.VideoOnly, "", -1, 30, 0, 0, 0},    // 29.97 fps, every picture once
      {Clips.VideoAudio, "", -1, 50, 0, 0, 0},   // 25 in, 25 out
      {Clips.FrameGap, "", -1, 50, 3, 0, 0},     // 3 pictures missing: the one before fills their slots
      {Clips.FrameGap, "", 0, 47, 0, 0, 0},      // without synchronisation each picture once
      {Clips.FiftyFPS, "25", -1, 50, 0, 50, 2},  // 50 in, 25 out: every other one dropped
  };
  int N = 0;
  for (const Row &R : Rows) {
    const std::string Target = Out("sync-" + std::to_string(N++) + ".avi");
    SCOPED_TRACE(Target);
    const TConversion C = Convert(R.Source, Target, [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = "mpeg4";
      O.FrameRate = R.Rate;
      O.VideoSyncMethod = R.SyncMethod;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    EXPECT_NEAR(Number(ProbeFile(Target, true).Stream("video"), "nb_read_frames"), R.Frames, R.Tolerance);
    EXPECT_EQ(C.FramesDup, R.Dup);
    EXPECT_NEAR(C.FramesDrop, R.Drop, R.Tolerance);
  }
  // The messages, from verbosity 3 on.
  const TConversion Loud = Convert(Clips.FrameGap, Out("loud.avi"), Video("mpeg4", "v=3"));
  SetLibraryLogLevel(0);
  ASSERT_TRUE(Loud.Ran) << Loud.Error;
  EXPECT_TRUE(Loud.Logged("*** 3 dup!"));
}

TEST_F(VideoPath, FrameLimitStopsInsideARepeat) {
  const TConversion C = Convert(Clips.FrameGap, Out("limited.avi"), Video("mpeg4", "vframes=11"));
  ASSERT_TRUE(C.Ran) << C.Error;
  EXPECT_EQ(Number(ProbeFile(Out("limited.avi"), true).Stream("video"), "nb_read_frames"), 11);
}

TEST_F(VideoPath, CropScalesWhatIsLeftToTheOutputSize) {
  struct Row {
    const char *Extra;
    int LeftColumn;                           // luma of column 0, row 240
  } Rows[] = {{"", 255}, {"cropleft=8", 0}};  // read as full-range grey
  int N = 0;
  for (const Row &R : Rows) {
    const std::string Target = Out("crop-" + std::to_string(N++) + ".mkv");
    SCOPED_TRACE(R.Extra);
    const TConversion C = Convert(Clips.LeftStrip, Target, [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = "ffv1";
      O.ExtOptions = R.Extra;
      O.FrameSize = "640x480";
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    EXPECT_EQ(Number(P.Stream("video"), "width"), 640);
    EXPECT_NEAR(LumaAt(Target, 640, 0, 240), R.LeftColumn, 12);
  }
}

TEST_F(VideoPath, PaddingTakesThePadColour) {
  struct Row {
    uint32_t Colour;
    int Pad;  // expected luma in the padding, read as full-range grey
  } Rows[] = {{0x000000, 0}, {0xFFFFFF, 255}, {0x0000FF, 70}};
  int N = 0;
  for (const Row &R : Rows) {
    const std::string Target = Out("pad-" + std::to_string(N++) + ".mkv");
    SCOPED_TRACE(R.Colour);
    const TConversion C = Convert(Clips.MidGrey, Target, [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = "ffv1";
      O.FrameSize = "320x208";
      O.PadTop = 16;
      O.PadBottom = 16;
      O.PadColor = R.Colour;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    EXPECT_EQ(Number(P.Stream("video"), "height"), 240);
    EXPECT_NEAR(LumaAt(Target, 320, 160, 4), R.Pad, 2) << "top padding";
    EXPECT_NEAR(LumaAt(Target, 320, 160, 235), R.Pad, 2) << "bottom padding";
    EXPECT_NEAR(LumaAt(Target, 320, 160, 120), 128, 3) << "the picture";
  }
}

TEST_F(VideoPath, OddSourceSizeIsScaledToWhatTheEncoderTakes) {
  struct Row {
    const char *Codec, *Extra;
    int Width;
  } Rows[] = {{"mpeg4", "", 640},  // 4:2:0 only: scaled to an even width
              {"libx264", "pix_fmt=yuv420p", 640},
              {"libx264", "", 641},  // takes the source's 4:4:4 as it is
              {"ffv1", "", 641}};
  int N = 0;
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Codec) + " " + R.Extra);
    const std::string Target = Out("odd-" + std::to_string(N++) + ".mkv");
    const TConversion C = Convert(Clips.OddWidth, Target, Video(R.Codec, R.Extra));
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    EXPECT_EQ(Number(P.Stream("video"), "width"), R.Width);
    EXPECT_EQ(DecodeErrors(Target), "");
  }
}

TEST_F(VideoPath, DeinterlaceBlendsTheSecondField) {
  // Alternating black and white lines become an even grey.
  const std::string Source = Out("lines.mkv");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i color=black:size=64x64:rate=25:duration=0.2 -vf "
                "\"geq=lum='if(mod(Y\\,2)\\,255\\,0)':cb=128:cr=128\" -pix_fmt yuv420p -c:v ffv1 '" +
                Source + "'"));
  for (const char *Extra : {"", "deinterlace"}) {
    SCOPED_TRACE(Extra);
    const std::string Target = Out(std::string("deint") + Extra + ".mkv");
    const TConversion C = Convert(Source, Target, Video("ffv1", Extra));
    ASSERT_TRUE(C.Ran) << C.Error;
    const int Even = LumaAt(Target, 64, 32, 30), Odd = LumaAt(Target, 64, 32, 31);
    if (*Extra) {
      EXPECT_EQ(Even, 0) << "the first field is kept";
      EXPECT_NEAR(Odd, 0, 2) << "lines between two black ones become black";
    } else {
      EXPECT_EQ(Even, 0);
      EXPECT_EQ(Odd, 255);
    }
  }
}

// "autorotate=0" leaves the pictures of a clip shot upright as they are
// stored, given before the input is opened or after: the output keeps the
// stored size and the display matrix, so it still plays upright (as the
// ffmpeg program shows it, the stored top-left corner at the top right).
TEST_F(VideoPath, AutoRotateOffKeepsThePicturesAndTheirMatrix) {
  for (const bool BeforeOpen : {true, false}) {
    SCOPED_TRACE(BeforeOpen ? "before the input" : "with the output");
    const std::string Target = Out(BeforeOpen ? "stored-1.mp4" : "stored-2.mp4");
    const TConversion C = Convert(Clips.Portrait, Target, [&](TInputOptions &I, TOutputOptions &O) {
      (BeforeOpen ? I.ExtOptions : O.ExtOptions) = "autorotate=0";
      O.VideoCodec = "mpeg4";
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const TProbedFile P = ProbeFile(Target);
    const auto *Video = P.Stream("video");
    ASSERT_NE(Video, nullptr);
    EXPECT_EQ(Number(Video, "width"), 320);
    EXPECT_EQ(Number(Video, "height"), 180);
    EXPECT_EQ(Number(Video, "side_data_list.side_data.0.rotation"), -90);
    const auto Shown = [&](int X, int Y) {
      const auto Frames =
          FrameSignalStats(Target, "crop=24:48:" + std::to_string(X) + ":" + std::to_string(Y));
      return Frames.empty() ? -1.0 : Frames[0].at("YAVG");
    };
    EXPECT_GT(Shown(150, 8), 200) << "the box at the top right";
    EXPECT_NEAR(Shown(6, 8), 126, 10) << "grey at the top left";
  }
}

// Turning a picture moves every pixel of every plane where the turn puts it,
// whatever a plane's pixel is (NV12's interleaved chroma pairs, 10-bit
// samples); 4:2:2 is turned in 4:4:4, each chroma sample repeated. The
// turned picture keeps its frame's properties, its pixel shape turned, and
// drops a display matrix of its own. Reused from frame to frame, it carries
// only the side data of the frame it shows (as the deinterlaced and the
// hooks' copies do): an encoder would take the first of those piled up,
// the first frame's closed captions for the whole run.
TEST_F(VideoPath, RotatePictureMovesEveryPixelWhereTheTurnPutsIt) {
  struct TCase {
    AVPixelFormat Format, Turned;
    int Width, Height;
  } Cases[] = {
      {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P, 6, 4},
      {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P, 5, 3},     // odd: a chroma sample of one pixel
      {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P, 130, 70},  // across the 64-pixel tiles
      {AV_PIX_FMT_NV12, AV_PIX_FMT_NV12, 6, 4},
      {AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV420P10LE, 6, 4},
      {AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P, 6, 4},
  };
  // Plane P of a picture of format D: pixel size, size and subsampling.
  struct TPlane {
    int Step, Width, Height, ShiftW, ShiftH;
  };
  const auto Plane = [](const AVFrame *F, int P) {
    const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(F->format));
    int Steps[4] = {};
    LibAVUtil::av_image_fill_max_pixsteps(Steps, nullptr, D);
    const int ShiftW = P ? D->log2_chroma_w : 0, ShiftH = P ? D->log2_chroma_h : 0;
    return TPlane{Steps[P], -((-F->width) >> ShiftW), -((-F->height) >> ShiftH), ShiftW, ShiftH};
  };
  const auto At = [](const AVFrame *F, int P, int X, int Y, int Step) {
    return F->data[P] + static_cast<ptrdiff_t>(Y) * F->linesize[P] + X * Step;
  };
  for (const TCase &Case : Cases) {
    const TFrameHolder Source = NewPicture(Case.Format, Case.Width, Case.Height);
    ASSERT_TRUE(Source);
    const int Planes = Case.Format == AV_PIX_FMT_NV12 ? 2 : 3;
    for (int P = 0; P < Planes; ++P) {
      const TPlane S = Plane(Source.get(), P);
      for (int Y = 0; Y < S.Height; ++Y)
        for (int X = 0; X < S.Width; ++X)
          for (int B = 0; B < S.Step; ++B)
            At(Source.get(), P, X, Y, S.Step)[B] = static_cast<uint8_t>(P * 89 + X * 7 + Y * 31 + B * 13);
    }
    Source->pts = 1234;
    Source->sample_aspect_ratio = {4, 3};
    ASSERT_TRUE(LibAVUtil::av_frame_new_side_data(Source.get(), AV_FRAME_DATA_DISPLAYMATRIX, 36));
    ASSERT_TRUE(LibAVUtil::av_frame_new_side_data(Source.get(), AV_FRAME_DATA_A53_CC, 4));
    TFrameHolder Target;  // reused from turn to turn
    TRotateScratch Scratch;
    for (const int Degrees : {90, 270, 180}) {
      SCOPED_TRACE(std::string(LibAVUtil::av_get_pix_fmt_name(Case.Format)) + " " +
                   std::to_string(Case.Width) + "x" + std::to_string(Case.Height) + " by " +
                   std::to_string(Degrees));
      ASSERT_TRUE(RotatePicture(Source.get(), Target, Degrees, Scratch));
      const bool Quarter = Degrees != 180;
      ASSERT_EQ(Target->format, Case.Turned);
      ASSERT_EQ(Target->width, Quarter ? Case.Height : Case.Width);
      ASSERT_EQ(Target->height, Quarter ? Case.Width : Case.Height);
      EXPECT_EQ(Target->pts, 1234);
      EXPECT_EQ(Target->sample_aspect_ratio.num, Quarter ? 3 : 4);
      ASSERT_EQ(Target->nb_side_data, 1);
      EXPECT_EQ(Target->side_data[0]->type, AV_FRAME_DATA_A53_CC);
      int Wrong = 0;
      for (int P = 0; P < Planes; ++P) {
        const TPlane T = Plane(Target.get(), P), S = Plane(Source.get(), P);
        for (int Y = 0; Y < T.Height; ++Y)
          for (int X = 0; X < T.Width; ++X) {
            // Where the pixel was, in the unturned picture at the target's subsampling.
            const int UX = Degrees == 90 ? Y : Degrees == 270 ? T.Height - 1 - Y : T.Width - 1 - X;
            const int UY = Degrees == 90 ? T.Width - 1 - X : Degrees == 270 ? X : T.Height - 1 - Y;
            const uint8_t *Expected = At(Source.get(), P, UX >> (S.ShiftW - T.ShiftW), UY, S.Step);
            Wrong +=
                std::memcmp(At(Target.get(), P, X, Y, T.Step), Expected, static_cast<size_t>(T.Step)) != 0;
          }
      }
      EXPECT_EQ(Wrong, 0);
    }
  }
}

TEST_F(VideoPath, UnusualPixelFormatsReachEveryEncoderOrFailClearly) {
  struct Encoder {
    const char *Codec, *Extension, *Size;
  } Encoders[] = {{"mpeg4", "avi", ""},      {"libxvid", "avi", ""},    {"libx264", "mp4", ""},
                  {"mpeg1video", "mpg", ""}, {"mpeg2video", "vob", ""}, {"msmpeg4", "avi", ""},
                  {"wmv2", "wmv", ""},       {"flv", "flv", ""},        {"h263", "3gp", "176x144"},
                  {"rv10", "rm", ""},        {"rv20", "rm", ""},        {"rawvideo", "avi", ""}};
  for (const auto &[Format, Source] : Clips.PixelFormats) {
    for (const Encoder &E : Encoders) {
      SCOPED_TRACE(Format + " to " + E.Codec);
      const std::string Target = Out(Format + "-" + E.Codec + "." + E.Extension);
      const TConversion C = Convert(Source, Target, Video(E.Codec, "", E.Size));
      if (!C.Ran) {
        // An encoder that cannot take this picture says so; its own reason is in the log.
        EXPECT_EQ(C.Error.rfind("Error while opening codec for output stream #0.0", 0), 0u) << C.Error;
        continue;
      }
      const TProbedFile P = ProbeFile(Target, true);
      EXPECT_EQ(P.Errors, "");
      EXPECT_EQ(Number(P.Stream("video"), "nb_read_frames"), 10);
      std::filesystem::remove(Target);
    }
  }
}

}  // namespace
}  // namespace korvane::test
