// SPDX-License-Identifier: GPL-3.0-or-later
// One 720p conversion on every core, side by side: korvane-convert beside
// the ffmpeg program at its default threads and HandBrakeCLI, with the same
// encoder, size, rate and bit rates, for "Apple TV H264 (1280 x 720)" and
// "MP4 - MPEG4 Video" at their defaults. Each figure is the median of the
// rounds, which take turns so that a busy machine disturbs all alike. Then
// our scaling from one codec thread to two and to all, and the quality
// check: the all-threads output's PSNR against the source stays within
// 0.1 dB of the one-thread output's.
//   transcode_bench [SECONDS=30] [ROUNDS=3]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ProgramFolder.h"

namespace {

using namespace korvane::bench;

// The average PSNR of File against Source by the ffmpeg program's psnr
// filter; pictures are paired by time, so a changed frame rate still pairs
// the same pictures for every thread count.
double PSNR(const std::string &File, const std::string &Source) {
  const std::string Command = "ffmpeg -nostdin -i " + Quoted(File) + " -i " + Quoted(Source) +
                              " -lavfi '[0:v][1:v]psnr' -an -f null - 2>&1 | "
                              "grep -o 'average:[0-9.inf]*' | tail -1 | cut -d: -f2";
  FILE *Pipe = popen(Command.c_str(), "r");
  if (!Pipe) return -1;
  char Text[64] = "";
  const bool Read = std::fgets(Text, sizeof Text, Pipe) != nullptr;
  pclose(Pipe);
  return Read ? std::atof(Text) : -1;
}

}  // namespace

int main(int argc, char **argv) {
  const int Seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const int Rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string Dir = korvane::ProgramFolder(), Work = Dir + "/bench-transcode";
  std::system(("rm -rf " + Quoted(Work) + " && mkdir -p " + Quoted(Work)).c_str());
  const std::string Source = Work + "/source-720p.mp4";
  if (!MakeClip(Source, Seconds)) return 1;
  const int Frames = Seconds * 25;
  const bool HandBrake = HaveHandBrake();

  std::printf("transcode_bench: %d s 1280x720 25 fps H.264 + AAC source (%d frames), median of %d rounds\n",
              Seconds, Frames, Rounds);
  std::printf("machine: %s\n", MachineLine().c_str());
  if (!HandBrake)
    std::printf("HandBrakeCLI is not installed (Debian package handbrake-cli): no HandBrake rows\n");
  std::printf("frames/s counts source frames per wall second; our speed = their wall time / ours\n\n");
  PrintHeading();

  const char *Profiles[] = {"Apple TV H264 (1280 x 720) (*.mp4)", "MP4 - MPEG4 Video (*.mp4)"};
  std::vector<std::pair<std::string, std::pair<double, double>>> Quality;  // one thread, all threads
  for (const char *Profile : Profiles) {
    TSettings S;
    if (!ProfileSettings(Profile, {1280, 720}, S)) {
      std::fprintf(stderr, "no profile '%s'\n", Profile);
      return 1;
    }
    const std::string Case = S.VideoEncoder == "libx264" ? "Apple TV H264 720p" : "MP4 - MPEG4 Video";
    const std::string Tag = S.VideoEncoder;
    std::vector<TRun> Runs;
    std::vector<std::string> Outputs;  // of each run
    // Ours with the codec threads given ("": the default, all cores).
    const auto Ours = [&](const std::string &Threads) {
      const std::string Folder = Work + "/" + Tag + "-threads" + (Threads.empty() ? "-all" : Threads);
      std::system(("mkdir -p " + Quoted(Folder)).c_str());
      std::string Command = Quoted(Dir + "/korvane-convert") + " -p " + Quoted(Profile) + " -o " +
                            Quoted(Folder) + " --overwrite --log-level quiet";
      if (!Threads.empty()) Command += " --option threads=" + Threads;
      const std::string Who = Threads.empty() ? "korvane-convert" : "korvane-convert threads=" + Threads;
      Runs.emplace_back(Who, Command + " " + Quoted(Source));
      Outputs.push_back(Folder + "/source-720p.mp4");
    };
    Ours("");
    const std::string FFmpegOutput = Work + "/" + Tag + "-ffmpeg.mp4";
    Runs.emplace_back("ffmpeg (default threads)",
                      "ffmpeg -nostdin -v error -y -i " + Quoted(Source) + " " + FFmpegArguments(S) + " " +
                          Quoted(FFmpegOutput),
                      true);
    Outputs.push_back(FFmpegOutput);
    const std::string HandBrakeOptions = HandBrakeArguments(S);
    if (HandBrake && !HandBrakeOptions.empty()) {
      const std::string Output = Work + "/" + Tag + "-handbrake.mp4";
      Runs.emplace_back(
          "HandBrakeCLI",
          "HandBrakeCLI -i " + Quoted(Source) + " -o " + Quoted(Output) + " " + HandBrakeOptions, true);
      Outputs.push_back(Output);
    }
    // Our scaling: one codec thread, two, and all (the default above).
    Ours("1");
    Ours("2");
    RunRounds(Runs, Rounds);
    PrintTable(Case, Runs, Frames);
    std::printf("%-30s ffmpeg: %s\n", Case.c_str(), FFmpegArguments(S).c_str());
    if (!HandBrakeOptions.empty())
      std::printf("%-30s HandBrakeCLI: %s\n", Case.c_str(), HandBrakeOptions.c_str());
    Quality.push_back({Case, {PSNR(Outputs[Outputs.size() - 2], Source), PSNR(Outputs[0], Source)}});
    std::printf("\n");
  }

  std::printf("quality: PSNR against the source, one codec thread and all\n");
  bool Same = true;
  for (const auto &[Case, PSNRs] : Quality) {
    const double Difference = PSNRs.second - PSNRs.first;
    const bool Within = PSNRs.first > 0 && std::fabs(Difference) <= 0.1;
    Same &= Within;
    std::printf("%-30s %7.3f dB %7.3f dB  difference %+.3f dB  %s\n", Case.c_str(), PSNRs.first, PSNRs.second,
                Difference, Within ? "within 0.1 dB" : "OUTSIDE 0.1 dB");
  }
  std::printf("machine after: %s\n", MachineLine().c_str());
  std::system(("rm -rf " + Quoted(Work)).c_str());
  return Same ? 0 : 1;
}
