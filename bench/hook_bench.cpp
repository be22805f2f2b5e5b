// SPDX-License-Identifier: GPL-3.0-or-later
// What the frame hooks cost per picture: a 720p clip made on the fly is
// converted to MPEG-4 without hooks, with the sample plug-ins, and with a
// custom hook that leaves the picture as it is (the way to packed BGR and
// back) or that only looks at it (no update). Each case runs three times and
// the least processor time (user + system, which a busy machine disturbs
// less than wall time) counts; the cost is the difference to the run without
// hooks, in milliseconds per picture.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "BenchSupport.h"
#include "FFmpeg.h"
#include "ProgramFolder.h"

int main(int argc, char **argv) {
  using namespace korvane;
  const int Seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const std::string Dir = ProgramFolder();
  const std::string Source = Dir + "/hook-bench-720p.mp4", Target = Dir + "/hook-bench-out.avi";
  if (!bench::LoadLibrariesBesideProgram() || !bench::MakeClip(Source, Seconds)) return 1;
  const int Pictures = Seconds * 25;

  const std::string Grey = "vhook=" + Dir + "/hook_grey.so";
  const std::string Box = "vhook=" + Dir + "/hook_box.so 100 100 400 300 ff0000";
  using THook = std::function<void(TFFmpeg &)>;
  const auto Custom = [](bool Update) -> THook {
    return [Update](TFFmpeg &Task) {
      Task.FOnCustomHook = [Update](TCustomFFmpeg &, TRGBPicture &, int, int64_t, bool &U, bool &) {
        U = Update;
      };
    };
  };
  const struct {
    const char *Name;
    std::string Options;
    THook Hook;
  } Cases[] = {
      {"no hooks", "", {}},
      {"grey plug-in", Grey, {}},
      {"box + grey plug-ins", Box + "\n" + Grey, {}},
      {"custom hook, update", "", Custom(true)},
      {"custom hook, no update", "", Custom(false)},
  };
  std::printf("%-24s %8s %12s %14s\n", "case", "cpu s", "frames/cpu-s", "ms per picture");
  double Plain = 0;
  for (const auto &Case : Cases) {
    double Best = 1e100;
    for (int Round = 0; Round < 3; ++Round) {
      const double Start = bench::ProcessorSeconds(RUSAGE_SELF);
      TFFmpeg Task;
      Task.PrepareOptions();
      TOutputOptions Out;
      Out.VideoCodec = "mpeg4";
      Out.VideoBitrate = 2000000;
      Out.ExtOptions = Case.Options;
      Task.ApplyInputOptions(TInputOptions{});
      if (!Task.OpenInputFile(Source)) return 1;
      Task.ApplyOutputOptions(Out);
      if (!Task.OpenOutputFile(Target)) return 1;
      if (Case.Hook) Case.Hook(Task);
      Task.Transcode();
      Task.ClearOptions();
      Best = std::min(Best, bench::ProcessorSeconds(RUSAGE_SELF) - Start);
    }
    if (!Case.Hook && Case.Options.empty()) Plain = Best;
    std::printf("%-24s %8.2f %12.1f %14.2f\n", Case.Name, Best, Pictures / Best,
                (Best - Plain) * 1000 / Pictures);
  }
  std::remove(Source.c_str());
  std::remove(Target.c_str());
  return 0;
}
