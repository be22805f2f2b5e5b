// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds random option names and values, and random option-line texts, to
// fresh tasks for the number of seconds given (default 10). Every failure
// must be an exception the caller can catch; anything else (a crash, an
// out-of-bounds access under the sanitizers) ends the program. The seed is
// printed first; giving it as the second argument replays the same calls.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "AVLibraries.h"
#include "FFmpeg.h"
#include "TestEnvironment.h"

using namespace korvane;

namespace {

const std::vector<std::string> Names = {"L",
                                        "h",
                                        "f",
                                        "i",
                                        "y",
                                        "map",
                                        "map_meta_data",
                                        "t",
                                        "fs",
                                        "ss",
                                        "itsoffset",
                                        "itsscale",
                                        "title",
                                        "author",
                                        "timestamp",
                                        "dframes",
                                        "benchmark",
                                        "dump",
                                        "loop_output",
                                        "v",
                                        "target",
                                        "threads",
                                        "vsync",
                                        "async",
                                        "adrift_threshold",
                                        "vglobal",
                                        "copyts",
                                        "dts_delta_threshold",
                                        "programid",
                                        "b",
                                        "vb",
                                        "vframes",
                                        "r",
                                        "s",
                                        "aspect",
                                        "pix_fmt",
                                        "croptop",
                                        "cropbottom",
                                        "cropleft",
                                        "cropright",
                                        "padtop",
                                        "padbottom",
                                        "padleft",
                                        "padright",
                                        "padcolor",
                                        "intra",
                                        "vn",
                                        "vdt",
                                        "qscale",
                                        "rc_override",
                                        "vcodec",
                                        "me_threshold",
                                        "pass",
                                        "passlogfile",
                                        "vstats_file",
                                        "vhook",
                                        "intra_matrix",
                                        "inter_matrix",
                                        "top",
                                        "dc",
                                        "vtag",
                                        "newvideo",
                                        "ab",
                                        "aframes",
                                        "aq",
                                        "ar",
                                        "ac",
                                        "acodec",
                                        "atag",
                                        "vol",
                                        "newaudio",
                                        "alang",
                                        "scodec",
                                        "slang",
                                        "vc",
                                        "tvstd",
                                        "muxdelay",
                                        "muxpreload",
                                        "absf",
                                        "apre",
                                        "gop",
                                        "flags",
                                        "maxrate",
                                        "bufsize",
                                        "packetsize",
                                        "muxrate",
                                        "sws_flags",
                                        "g",
                                        "bt",
                                        "abt",
                                        "debug",
                                        "xyz",
                                        ""};

const std::vector<std::string> Values = {"",
                                         "0",
                                         "1",
                                         "-1",
                                         "2",
                                         "3",
                                         "7",
                                         "255",
                                         "256",
                                         "2147483647",
                                         "2147483648",
                                         "-2147483649",
                                         "1e400",
                                         "1e30",
                                         "1e300",
                                         "-1e30",
                                         "0.5",
                                         "nan",
                                         "inf",
                                         "abc",
                                         "1:2",
                                         "0.1",
                                         "0.1:1.0",
                                         "19:0.5",
                                         "20:1",
                                         "-5:2",
                                         "16:9",
                                         "4:0",
                                         "640x480",
                                         "641x480",
                                         "99999x99999",
                                         "ntsc",
                                         "pal-dvd",
                                         "ntsc-svcd",
                                         "film-vcd",
                                         "dv50",
                                         "vcd",
                                         "foo",
                                         "+SCAN_OFFSET",
                                         "+ildct+SCAN_OFFSET",
                                         "-+",
                                         "+",
                                         "copy",
                                         "DIVX",
                                         "mp4a",
                                         "00:00:10",
                                         "now",
                                         "2008-01-01",
                                         "%s%s%n%d",
                                         "a|b|c",
                                         "|||",
                                         "1,2,3",
                                         "yuv420p",
                                         "list"};

std::string RandomText(std::mt19937 &Random, size_t MaxLength) {
  std::uniform_int_distribution<size_t> Length(0, MaxLength);
  std::uniform_int_distribution<int> Byte(1, 255);
  std::string Text(Length(Random), ' ');
  for (char &C : Text) C = static_cast<char>(Byte(Random));
  return Text;
}

std::string Pick(std::mt19937 &Random, const std::vector<std::string> &From) {
  return From[std::uniform_int_distribution<size_t>(0, From.size() - 1)(Random)];
}

}  // namespace

int main(int argc, char **argv) {
  const int Seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const unsigned Seed =
      argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : std::random_device{}();
  std::printf("option_fuzz seed %u (replay: option_fuzz %d %u)\n", Seed, Seconds, Seed);
  std::fflush(stdout);
  if (!LoadAVLibraries(test::CommonFilesDirectory(), true)) {
    std::fprintf(stderr, "%s\n", AVLibrariesError().c_str());
    return 1;
  }
  InstallLogCallback();
  std::mt19937 Random(Seed);
  const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
  long Calls = 0, Raised = 0;
  while (std::chrono::steady_clock::now() < End) {
    TFFmpeg Task;
    Task.PrepareOptions();
    Task.State().FFrameWidth = 640;
    Task.State().FFrameHeight = 480;
    for (int I = 0; I < 200; ++I) {
      const int Kind = std::uniform_int_distribution<int>(0, 9)(Random);
      try {
        ++Calls;
        if (Kind == 0) {
          Task.ApplyOptionLines(RandomText(Random, 300));
        } else if (Kind == 1) {
          std::string Lines;
          for (int L = 0; L < 5; ++L) Lines += Pick(Random, Names) + "=" + Pick(Random, Values) + "\r\n";
          Task.ApplyOptionLines(Lines);
        } else {
          const std::string Name = Kind == 2 ? RandomText(Random, 12) : Pick(Random, Names);
          const std::string Value = Kind == 3 ? RandomText(Random, 200) : Pick(Random, Values);
          Task.SetOption(Name, Value);
        }
      } catch (const std::exception &) {
        ++Raised;
      }
      // The verbosity option changes the process-wide level: keep it quiet.
      SetLibraryLogLevel(-1);
    }
  }
  std::printf("%ld option calls, %ld refused, no crash\n", Calls, Raised);
  return 0;
}
