// SPDX-License-Identifier: GPL-3.0-or-later
// How long the media probe takes to open a file and answer what the file
// list shows, against the ffprobe program doing the same job.
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "ProgramFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration D) { return std::chrono::duration<double, std::milli>(D).count(); }

}  // namespace

int main(int argc, char **argv) {
  using namespace korvane;
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  if (!LoadAVLibraries(ProgramFolder() + "/Common Files", true)) {
    std::fprintf(stderr, "%s\n", AVLibrariesError().c_str());
    return 1;
  }
  SetLibraryLogLevel(-1);
  constexpr int Rounds = 50;
  std::printf("%-40s %12s %12s\n", "file", "probe ms", "ffprobe ms");
  for (int I = 1; I < argc; ++I) {
    TAVProbe Probe;
    TAVFileInfo File;
    TAVVideoStreamInfo Video;
    const auto Start = Clock::now();
    for (int R = 0; R < Rounds; ++R) {
      if (Probe.LoadFile(argv[I], "")) {
        Probe.GetVideoStreamInfo(Video);
        Probe.GetFileInfo(File);
      }
    }
    const double Ours = Milliseconds(Clock::now() - Start) / Rounds;

    const std::string Command =
        std::string("ffprobe -v quiet -show_entries format=duration:stream=width,height,r_frame_rate '") +
        argv[I] + "' > /dev/null";
    const auto Other = Clock::now();
    for (int R = 0; R < Rounds / 5; ++R)
      if (std::system(Command.c_str()) < 0) break;
    const double Theirs = Milliseconds(Clock::now() - Other) / (Rounds / 5);
    std::printf("%-40s %12.2f %12.2f\n", argv[I], Ours, Theirs);
  }
  return 0;
}
