// SPDX-License-Identifier: GPL-3.0-or-later
// The hooks at the start of the video path: plug-ins on every picture or in
// time ranges, the before-hook and custom-hook events, their failures, the
// chain order, stream copy and sources that change size on the way. The
// outputs are judged by the ffmpeg program.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "ConversionFixture.h"
#include "PictureCheck.h"

namespace korvane::test {
namespace {

// Clips of these tests: small, at 10 pictures a second, with chroma far
// from neutral so that a grey picture stands out. They are made once for
// every test program in a folder of their own that is renamed into place
// when complete (bump the number when they change).
struct THookClips {
  std::string Folder = ExecutableDirectory() + "/test-media/hook-clips-1";
  std::string Colour = Folder + "/colour.mkv";            // 8 s, 96x64, lossless
  std::string ColourBGR = Folder + "/colour-bgr.nut";     // 1 s, 96x64, packed BGR
  std::string SizeChange = Folder + "/size-change.h264";  // 1 s of 96x64, then 1 s of 64x48
  THookClips() {
    if (std::filesystem::exists(Folder)) return;
    const std::string Work = Folder + "." + std::to_string(getpid());
    std::filesystem::create_directories(Work);
    const std::string Source = "-f lavfi -i testsrc2=size=96x64:rate=10:duration=";
    const std::string Tint = " -vf \"lutyuv=u='clip(val+48,0,255)'\" ";
    const std::string H264 = "-c:v libx264 -preset ultrafast -bf 0 -pix_fmt yuv420p ";
    const bool Made =
        RunFFmpeg(Source + "8" + Tint + "-pix_fmt yuv420p -c:v ffv1 '" + Work + "/colour.mkv'") &&
        RunFFmpeg(Source + "1" + Tint + "-pix_fmt bgr24 -c:v rawvideo '" + Work + "/colour-bgr.nut'") &&
        RunFFmpeg(Source + "1" + Tint + H264 + "'" + Work + "/first.h264'") &&
        RunFFmpeg("-f lavfi -i testsrc2=size=64x48:rate=10:duration=1" + Tint + H264 + "'" + Work +
                  "/second.h264'");
    if (Made)
      WriteFile(Work + "/size-change.h264", ReadFile(Work + "/first.h264") + ReadFile(Work + "/second.h264"));
    std::error_code Ignored;
    if (Made) std::filesystem::rename(Work, Folder, Ignored);  // fails when another program was first
    std::filesystem::remove_all(Work, Ignored);
    if (!std::filesystem::exists(Folder)) throw std::runtime_error("ffmpeg could not make the hook clips");
  }
};

const THookClips &HookClips() {
  static const THookClips Clips;
  return Clips;
}

std::string PlugIn(const char *Name) { return ExecutableDirectory() + "/" + Name; }

// One letter per output picture: 'g' for neutral chroma, 'c' for colour.
std::string GreyPattern(const std::string &File) {
  std::string Pattern;
  for (const TFrameStats &F : FrameSignalStats(File))
    Pattern += std::abs(F.at("UAVG") - 128) <= 2 && std::abs(F.at("VAVG") - 128) <= 2 ? 'g' : 'c';
  return Pattern;
}

// One letter per picture: 'x' where File differs from Reference, '.' where not.
std::string ChangedPattern(const std::string &File, const std::string &Reference) {
  const std::vector<TFrameStats> A = FrameSignalStats(File), B = FrameSignalStats(Reference);
  std::string Pattern;
  for (size_t I = 0; I < std::min(A.size(), B.size()); ++I) {
    bool Same = true;
    for (const char *Key : {"YAVG", "UAVG", "VAVG", "YMIN", "YMAX"}) Same &= A[I].at(Key) == B[I].at(Key);
    Pattern += Same ? '.' : 'x';
  }
  return Pattern;
}

// The pattern of Count pictures whose letter is Yes where Test holds for
// the picture number (the first is 1).
template <typename TTest>
std::string Expected(int Count, char Yes, char No, TTest Test) {
  std::string Pattern;
  for (int N = 1; N <= Count; ++N) Pattern += Test(N) ? Yes : No;
  return Pattern;
}

int LogCount(const TConversion &C, const std::string &Line) {
  return static_cast<int>(std::count(C.Log.begin(), C.Log.end(), Line));
}

TConfigure Lossless(const std::string &Extra = "", const std::string &Ranges = "") {
  return [=](TInputOptions &, TOutputOptions &O) {
    O.VideoCodec = "ffv1";
    O.ExtOptions = Extra;
    O.TimeRanges = Ranges;
  };
}

class VideoHooks : public TranscodeTest {
 protected:
  const THookClips &Hooks = HookClips();
  const std::string Grey = "vhook=" + PlugIn("hook_grey.so");
};

TEST_F(VideoHooks, GreyPlugInNeutralisesChromaAndKeepsLuma) {
  struct Row {
    const char *Codec, *Name, *Extra;
    double MinLumaPSNR;
  } Rows[] = {{"ffv1", "grey.mkv", "", INFINITY},
              {"mpeg4", "grey.avi", "", 35},
              // The plug-in works on the deinterlaced picture, which differs from the source.
              {"ffv1", "grey-deinterlaced.mkv", "\ndeinterlace", 25}};
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    const TConversion C = Convert(Hooks.Colour, Out(R.Name), [&](TInputOptions &, TOutputOptions &O) {
      O.VideoCodec = R.Codec;
      O.ExtOptions = Grey + R.Extra;
    });
    ASSERT_TRUE(C.Ran && C.Finished) << C.Error;
    for (const TFrameStats &F : FrameSignalStats(Out(R.Name))) {
      EXPECT_NEAR(F.at("UAVG"), 128, 2);
      EXPECT_NEAR(F.at("VAVG"), 128, 2);
    }
    EXPECT_EQ(GreyPattern(Out(R.Name)), std::string(80, 'g'));
    const double LumaPSNR = PictureDistance(Out(R.Name), Hooks.Colour)["y"];
    EXPECT_GE(LumaPSNR, R.MinLumaPSNR);
    if (*R.Extra) {
      EXPECT_LT(LumaPSNR, 60) << "deinterlaced";
    }
  }
  EXPECT_EQ(GreyPattern(Hooks.Colour), std::string(80, 'c')) << "the source is in colour";
}

TEST_F(VideoHooks, TimeRangesChooseThePicturesAndEveryPictureIsEncoded) {
  const TConversion C = Convert(Hooks.Colour, Out("ranges.mkv"), Lossless(Grey, "0-2000,4000-6000"));
  ASSERT_TRUE(C.Ran && C.Finished) << C.Error;
  const std::string Pattern = GreyPattern(Out("ranges.mkv"));
  ASSERT_EQ(Pattern.size(), 80u);
  for (const int Second : {1, 5}) EXPECT_EQ(Pattern[Second * 10], 'g') << Second << " s";
  for (const int Second : {3, 7}) EXPECT_EQ(Pattern[Second * 10], 'c') << Second << " s";
  // Range ends belong to the range: the picture at 2.0 s is grey.
  EXPECT_EQ(Pattern, Expected(80, 'g', 'c', [](int N) { return N <= 21 || (N >= 41 && N <= 61); }));
}

TEST_F(VideoHooks, BeforeHookDecidesAndItsStopIsFinal) {
  struct Row {
    const char *Name;
    std::function<void(int Call, THookAction &)> Answer;
    int Calls;
    std::function<bool(int Picture)> GreyAt;
    std::string Logged;
  } Rows[] = {
      {"stop at 10", [](int N, THookAction &A) { A = N == 10 ? haStop : haContinue; }, 10,
       [](int N) { return N < 10; }, ""},
      {"ignore even", [](int N, THookAction &A) { A = N % 2 == 0 ? haIgnore : haContinue; }, 80,
       [](int N) { return N % 2 == 1; }, ""},
      {"throw at 5",
       [](int N, THookAction &) {
         if (N == 5) throw std::runtime_error("boom");
       },
       5, [](int N) { return N < 5; }, "Error occurs OnBeforeHook: boom"},
  };
  int Index = 0;
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    const std::string Target = Out("before-" + std::to_string(Index++) + ".mkv");
    std::vector<THookAction> Given, Answered;
    std::vector<int64_t> Times;
    const TConversion C = Convert(Hooks.Colour, Target, Lossless(Grey), [&](TFFmpeg &Task, TConversion &) {
      Task.FOnBeforeHook = [&](TCustomFFmpeg &, int64_t PTS, THookAction &Action) {
        Given.push_back(Action);
        Times.push_back(PTS);
        R.Answer(static_cast<int>(Given.size()), Action);
        Answered.push_back(Action);
      };
    });
    ASSERT_TRUE(C.Ran && C.Finished) << C.Error;
    ASSERT_EQ(static_cast<int>(Given.size()), R.Calls);
    EXPECT_EQ(Given[0], haContinue);
    for (size_t I = 0; I < Given.size(); ++I) {
      EXPECT_EQ(Times[I], static_cast<int64_t>(I) * 100000) << "call " << I + 1;
      if (I > 0 && I < Answered.size()) {
        EXPECT_EQ(Given[I], Answered[I - 1]) << "the last answer comes back";
      }
    }
    EXPECT_EQ(GreyPattern(Target), Expected(80, 'g', 'c', R.GreyAt));
    EXPECT_EQ(LogCount(C, R.Logged), R.Logged.empty() ? 0 : 1);
  }
}

// Inverts every byte of the picture, as a negative of it.
void Invert(TRGBPicture &P) {
  for (int Y = 0; Y < P.Height; ++Y)
    for (int X = 0; X < P.Width * 3; ++X)
      P.Data[Y * P.Stride + X] = static_cast<uint8_t>(255 - P.Data[Y * P.Stride + X]);
}

TEST_F(VideoHooks, CustomHookGetsEveryPictureAsBGRAndDecidesWhatIsKept) {
  struct Row {
    const char *Name;
    std::string Source;
    int Pictures;
    std::function<void(int Call, TRGBPicture &, bool &Update, bool &Stop)> Hook;
    int Calls;
    std::function<bool(int Picture)> ChangedAt;
    std::string Logged;
  } Rows[] = {
      {"invert", Hooks.Colour, 80, [](int, TRGBPicture &P, bool &, bool &) { Invert(P); }, 80,
       [](int) { return true; }, ""},
      {"invert a BGR source", Hooks.ColourBGR, 10, [](int, TRGBPicture &P, bool &, bool &) { Invert(P); }, 10,
       [](int) { return true; }, ""},
      {"no update", Hooks.Colour, 80,
       [](int, TRGBPicture &P, bool &Update, bool &) {
         Invert(P);
         Update = false;
       },
       80, [](int) { return false; }, ""},
      {"stop at once", Hooks.Colour, 80,
       [](int, TRGBPicture &P, bool &, bool &Stop) {
         Invert(P);
         Stop = true;
       },
       1, [](int N) { return N == 1; }, ""},
      {"throw", Hooks.Colour, 80,
       [](int, TRGBPicture &P, bool &, bool &) {
         Invert(P);
         throw std::runtime_error("boom");
       },
       80, [](int) { return false; }, "Error occurs OnCustomHook: boom"},
  };
  int Index = 0;
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    const std::string Target = Out("custom-" + std::to_string(Index++) + ".mkv");
    std::vector<int> Numbers;
    std::vector<int64_t> Times;
    const TConversion C = Convert(R.Source, Target, Lossless(), [&](TFFmpeg &Task, TConversion &) {
      Task.FOnCustomHook = [&](TCustomFFmpeg &, TRGBPicture &P, int FrameNumber, int64_t PTS, bool &Update,
                               bool &Stop) {
        EXPECT_TRUE(Update && !Stop) << "the flags start as update, no stop";
        EXPECT_EQ(P.Width, 96);
        EXPECT_EQ(P.Height, 64);
        EXPECT_GE(P.Stride, 96 * 3);
        Numbers.push_back(FrameNumber);
        Times.push_back(PTS);
        R.Hook(FrameNumber, P, Update, Stop);
      };
    });
    ASSERT_TRUE(C.Ran && C.Finished) << C.Error;
    ASSERT_EQ(static_cast<int>(Numbers.size()), R.Calls);
    for (int I = 0; I < R.Calls; ++I) {
      EXPECT_EQ(Numbers[static_cast<size_t>(I)], I + 1);
      EXPECT_EQ(Times[static_cast<size_t>(I)], int64_t{I} * 100000);
    }
    EXPECT_EQ(ChangedPattern(Target, R.Source), Expected(R.Pictures, 'x', '.', R.ChangedAt));
    EXPECT_EQ(LogCount(C, R.Logged), R.Logged.empty() ? 0 : R.Calls);
    if (R.ChangedAt(R.Pictures)) {
      // Every picture a negative of the source, up to the cost of the way
      // to packed BGR and back.
      EXPECT_GE(PictureDistance(Target, R.Source, "format=bgr24,negate")["average"], 30);
    }
  }
}

TEST_F(VideoHooks, StreamCopyRefusesHooksThatNeedDecodedPictures) {
  struct Row {
    const char *Name;
    std::string Extra;
    bool CustomFlag, CustomCallback;
    std::string Message;
  } Rows[] = {
      {"custom hook asked for", "", true, false,
       "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
      {"custom hook connected", "", false, true,
       "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
      {"plug-in", Grey, false, false, "-vcodec copy and -vhook are incompatible (frames are not decoded)"},
  };
  int Index = 0;
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    const std::string Target = Out("copy-" + std::to_string(Index++) + ".mkv");
    const TConversion C = Convert(
        Hooks.Colour, Target,
        [&](TInputOptions &, TOutputOptions &O) {
          O.VideoCodec = "copy";
          O.ExtOptions = R.Extra;
          O.CustomHook = R.CustomFlag;
        },
        [&](TFFmpeg &Task, TConversion &) {
          if (R.CustomCallback) Task.FOnCustomHook = [](auto &&...) {};
        });
    EXPECT_FALSE(C.Ran);
    EXPECT_EQ(C.Error, R.Message);
    EXPECT_FALSE(std::filesystem::exists(Target)) << "no output is left behind";
  }
}

TEST_F(VideoHooks, PlugInsRunInTheOrderTheyWereAdded) {
  const std::string Box = "vhook=" + PlugIn("hook_box.so") + " 16 16 32 32 ff0000";
  struct Row {
    std::string Extra;
    double BoxY, BoxU, BoxV;  // inside the box
  } Rows[] = {
      {Box + "\n" + Grey, 82, 128, 128},  // a red box, then all grey: a grey box
      {Grey + "\n" + Box, 82, 91, 240},   // all grey, then a red box
  };
  int Index = 0;
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Extra);
    const std::string Target = Out("order-" + std::to_string(Index++) + ".mkv");
    const TConversion C = Convert(Hooks.Colour, Target, Lossless(R.Extra));
    ASSERT_TRUE(C.Ran && C.Finished) << C.Error;
    const std::vector<TFrameStats> Inside = FrameSignalStats(Target, "crop=32:32:16:16");
    ASSERT_EQ(Inside.size(), 80u);
    for (const TFrameStats &F : Inside) {
      for (const char *Key : {"YMIN", "YMAX"}) EXPECT_EQ(F.at(Key), R.BoxY) << Key;
      for (const char *Key : {"UMIN", "UMAX"}) EXPECT_EQ(F.at(Key), R.BoxU) << Key;
      for (const char *Key : {"VMIN", "VMAX"}) EXPECT_EQ(F.at(Key), R.BoxV) << Key;
    }
    for (const TFrameStats &F : FrameSignalStats(Target, "crop=16:16:64:40"))
      EXPECT_TRUE(F.at("UMIN") == 128 && F.at("UMAX") == 128) << "grey outside the box";
  }
}

TEST_F(VideoHooks, ASourceThatChangesSizeIsFollowed) {
  std::vector<std::pair<int, int>> Sizes;
  const auto Record = [&](TFFmpeg &Task, TConversion &) {
    Task.FOnCustomHook = [&](TCustomFFmpeg &, TRGBPicture &P, int, int64_t, bool &, bool &) {
      if (Sizes.empty() || Sizes.back() != std::make_pair(P.Width, P.Height))
        Sizes.emplace_back(P.Width, P.Height);
      Invert(P);
    };
  };
  const TConversion Custom = Convert(Hooks.SizeChange, Out("size-custom.mkv"), Lossless(), Record);
  ASSERT_TRUE(Custom.Ran && Custom.Finished) << Custom.Error;
  EXPECT_EQ(Sizes, (std::vector<std::pair<int, int>>{{96, 64}, {64, 48}}));
  const TConversion Plugged = Convert(Hooks.SizeChange, Out("size-grey.mkv"), Lossless(Grey));
  ASSERT_TRUE(Plugged.Ran && Plugged.Finished) << Plugged.Error;
  for (const char *Name : {"size-custom.mkv", "size-grey.mkv"}) {
    const TProbedFile P = ProbeFile(Out(Name), true);
    EXPECT_EQ(DecodeErrors(Out(Name)), "") << Name;
    EXPECT_EQ(Number(P.Stream("video"), "nb_read_frames"), 20) << Name;
  }
  EXPECT_EQ(GreyPattern(Out("size-grey.mkv")), std::string(20, 'g'));
}

}  // namespace
}  // namespace korvane::test
