// SPDX-License-Identifier: GPL-3.0-or-later
// A batch of eight 720p clips through one profile at its defaults:
// korvane-convert with one job per core (the cores shared between the
// jobs) and with one job, beside the ffmpeg program and HandBrakeCLI run on
// the files one after another with the same settings, each at its default
// threads. Each figure is the median of the rounds, which take turns.
//   batch_bench [PROFILE="Apple TV H264 (1280 x 720) (*.mp4)"] [SECONDS_PER_CLIP=5] [ROUNDS=3]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ProgramFolder.h"

int main(int argc, char **argv) {
  using namespace korvane::bench;
  const std::string Profile = argc > 1 ? argv[1] : "Apple TV H264 (1280 x 720) (*.mp4)";
  const int Seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const int Rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const std::string Dir = korvane::ProgramFolder(), Work = Dir + "/bench-batch";
  std::system(("rm -rf " + Quoted(Work) + " && mkdir -p " + Quoted(Work + "/in") + " " +
               Quoted(Work + "/auto") + " " + Quoted(Work + "/one") + " " + Quoted(Work + "/ffmpeg") + " " +
               Quoted(Work + "/handbrake"))
                  .c_str());
  TSettings S;
  if (!ProfileSettings(Profile, {1280, 720}, S)) {
    std::fprintf(stderr, "no profile '%s'\n", Profile.c_str());
    return 1;
  }
  std::vector<std::string> Clips;
  std::string Files;
  for (int I = 0; I < 8; ++I) {
    Clips.push_back(Work + "/in/clip" + std::to_string(I) + ".mp4");
    if (!MakeClip(Clips.back(), Seconds, 300 + 50 * I)) return 1;
    Files += " " + Quoted(Clips.back());
  }

  const std::string Convert =
      Quoted(Dir + "/korvane-convert") + " -p " + Quoted(Profile) + " --overwrite --log-level quiet";
  std::string FFmpeg, HandBrake;
  const std::string HandBrakeOptions = HandBrakeArguments(S);
  for (size_t I = 0; I < Clips.size(); ++I) {
    const std::string Name = "/clip" + std::to_string(I) + ".mp4";
    FFmpeg += "ffmpeg -nostdin -v error -y -i " + Quoted(Clips[I]) + " " + FFmpegArguments(S) + " " +
              Quoted(Work + "/ffmpeg" + Name) + " && ";
    HandBrake += "HandBrakeCLI -i " + Quoted(Clips[I]) + " -o " + Quoted(Work + "/handbrake" + Name) + " " +
                 HandBrakeOptions + " && ";
  }
  std::vector<TRun> Runs = {
      {"korvane-convert --jobs", Convert + " -o " + Quoted(Work + "/auto") + " --jobs" + Files},
      {"ffmpeg, one by one", FFmpeg + "true", true},
  };
  if (HaveHandBrake() && !HandBrakeOptions.empty())
    Runs.emplace_back("HandBrakeCLI, one by one", HandBrake + "true", true);
  Runs.emplace_back("korvane-convert --jobs 1",
                    Convert + " -o " + Quoted(Work + "/one") + " --jobs 1" + Files);

  std::printf("batch_bench: 8 clips of %d s 1280x720 25 fps, profile %s, median of %d rounds\n", Seconds,
              Profile.c_str(), Rounds);
  std::printf("machine: %s\n", MachineLine().c_str());
  std::printf("ffmpeg settings: %s\n", FFmpegArguments(S).c_str());
  if (Runs.size() < 4) std::printf("HandBrakeCLI not installed or no such encoder: no HandBrake row\n");
  std::printf("frames/s counts source frames per wall second; our speed = their wall time / ours\n\n");
  RunRounds(Runs, Rounds);
  PrintHeading();
  PrintTable("batch of 8", Runs, 8 * Seconds * 25);
  std::printf("machine after: %s\n", MachineLine().c_str());
  std::system(("rm -rf " + Quoted(Work)).c_str());
  return 0;
}
