// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchSupport.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "AVLibraries.h"
#include "FFmpeg.h"
#include "ProfileCatalogue.h"
#include "ProfileOptions.h"
#include "ProgramFolder.h"
#include "RowSetup.h"

extern char **environ;

namespace korvane::bench {

namespace {

double Seconds(const timeval &T) {
  return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_usec) / 1e6;
}

template <typename T>
T MedianOf(std::vector<T> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

}  // namespace

TMeasure RunMeasured(const std::string &Command) {
  const std::string Quiet = "exec >/dev/null 2>&1; " + Command;
  const char *Arguments[] = {"sh", "-c", Quiet.c_str(), nullptr};
  TMeasure M;
  const auto Start = std::chrono::steady_clock::now();
  pid_t Child = 0;
  if (posix_spawn(&Child, "/bin/sh", nullptr, nullptr, const_cast<char **>(Arguments), environ) != 0) {
    M.Failed = true;
    return M;
  }
  int Status = 0;
  rusage Usage{};
  wait4(Child, &Status, 0, &Usage);
  M.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  M.Processor = Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
  M.PeakKB = Usage.ru_maxrss;
  M.Failed = !WIFEXITED(Status) || WEXITSTATUS(Status) != 0;
  if (M.Failed) std::fprintf(stderr, "failed: %s\n", Command.c_str());
  return M;
}

TMeasure Median(const std::vector<TMeasure> &Rounds) {
  TMeasure M;
  std::vector<double> Wall, Processor;
  std::vector<long> Peak;
  for (const TMeasure &R : Rounds) {
    Wall.push_back(R.Wall);
    Processor.push_back(R.Processor);
    Peak.push_back(R.PeakKB);
    M.Failed |= R.Failed;
  }
  if (Rounds.empty()) return M;
  M.Wall = MedianOf(Wall);
  M.Processor = MedianOf(Processor);
  M.PeakKB = MedianOf(Peak);
  return M;
}

bool ProfileSettings(const std::string &Profile, const TSourcePicture &Source, TSettings &Settings) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.Select(Profile);
  if (Form.ComboOutputFormat.Text() != Profile || !ChangeOutputFormat(Form)) return false;
  const TOutputOptions O = RowOutputOptions(Form, DefaultVolumePosition, Source);
  Settings.NoVideo = O.VideoDisable;
  Settings.VideoEncoder = PresentEncoderName(O.VideoCodec);
  Settings.FrameSize = O.FrameSize;
  Settings.FrameRate = O.FrameRate;
  Settings.VideoKbps = O.VideoBitrate > 0 ? O.VideoBitrate / 1000 : 0;
  Settings.AudioEncoder = PresentEncoderName(O.AudioCodec);
  Settings.AudioKbps = O.AudioBitrate > 0 ? O.AudioBitrate / 1000 : 0;
  Settings.SampleRate = std::max(O.AudioSampleRate, 0);
  Settings.Channels = std::max(O.AudioChannels, 0);
  return true;
}

std::string FFmpegArguments(const TSettings &S) {
  std::string A = S.NoVideo ? "-vn" : "-c:v " + S.VideoEncoder;
  if (!S.FrameSize.empty()) A += " -s " + S.FrameSize;
  if (S.VideoKbps > 0) A += " -b:v " + std::to_string(S.VideoKbps) + "k";
  if (!S.FrameRate.empty()) A += " -r " + S.FrameRate;
  A += " -c:a " + S.AudioEncoder;
  if (S.AudioKbps > 0) A += " -b:a " + std::to_string(S.AudioKbps) + "k";
  if (S.SampleRate > 0) A += " -ar " + std::to_string(S.SampleRate);
  if (S.Channels > 0) A += " -ac " + std::to_string(S.Channels);
  return A;
}

std::string HandBrakeArguments(const TSettings &S) {
  std::string A =
      "-f av_mp4 --no-markers --crop-mode none --non-anamorphic --no-comb-detect --no-deinterlace "
      "--no-decomb --no-detelecine --no-deblock";
  if (S.VideoEncoder == "libx264")
    A += " -e x264 --encoder-preset medium --encoder-profile auto --encoder-level auto";
  else if (S.VideoEncoder == "mpeg4")
    A += " -e mpeg4";
  else
    return "";
  if (S.AudioEncoder != "aac") return "";
  if (!S.FrameSize.empty()) {
    const size_t X = S.FrameSize.find('x');
    A += " -w " + S.FrameSize.substr(0, X) + " -l " + S.FrameSize.substr(X + 1);
  }
  if (S.VideoKbps > 0) A += " -b " + std::to_string(S.VideoKbps);
  if (S.FrameRate.empty()) {
    A += " --vfr";
  } else {  // HandBrake takes the rate as a decimal number, "24000/1001" as 23.976
    double Num = 0, Den = 1;
    if (std::sscanf(S.FrameRate.c_str(), "%lf/%lf", &Num, &Den) < 1 || Den <= 0) return "";
    char Rate[32];
    std::snprintf(Rate, sizeof Rate, "%.3f", Num / Den);
    A += std::string(" -r ") + Rate + " --cfr";
  }
  A += " -E av_aac";
  if (S.AudioKbps > 0) A += " -B " + std::to_string(S.AudioKbps);
  if (S.SampleRate > 0) {
    char Rate[16];
    std::snprintf(Rate, sizeof Rate, "%g", S.SampleRate / 1000.0);
    A += std::string(" -R ") + Rate;
  }
  A += S.Channels == 1 ? " -6 mono" : " -6 stereo";
  return A;
}

bool HaveHandBrake() { return std::system("command -v HandBrakeCLI >/dev/null 2>&1") == 0; }

bool MakeClip(const std::string &File, int Seconds, int Tone) {
  const std::string Length = std::to_string(Seconds);
  return std::system(("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=" +
                      Length + " -f lavfi -i sine=frequency=" + std::to_string(Tone) +
                      ":sample_rate=48000:duration=" + Length +
                      " -c:v libx264 -preset veryfast -crf 23 -c:a aac -ac 2 " + Quoted(File))
                         .c_str()) == 0;
}

bool LoadLibrariesBesideProgram() {
  if (!LoadAVLibraries(ProgramFolder() + "/Common Files", true)) {
    std::fprintf(stderr, "%s\n", AVLibrariesError().c_str());
    return false;
  }
  SetLibraryLogLevel(-1);
  return true;
}

double ProcessorSeconds(int Who) {
  rusage Usage{};
  getrusage(Who, &Usage);
  return Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
}

std::string Quoted(const std::string &Text) {
  std::string Q = "'";
  for (const char C : Text) Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Q + "'";
}

std::string MachineLine() {
  std::ifstream Load("/proc/loadavg");
  double One = 0, Five = 0, Fifteen = 0;
  Load >> One >> Five >> Fifteen;
  char Text[128];
  std::snprintf(Text, sizeof Text, "%u cores, load average %.2f %.2f %.2f",
                std::thread::hardware_concurrency(), One, Five, Fifteen);
  return Text;
}

void PrintHeading() {
  std::printf("%-30s %-26s %8s %9s %8s %8s %10s\n", "case", "program", "wall s", "frames/s", "cpu s",
              "peak MB", "our speed");
}

void RunRounds(std::vector<TRun> &Runs, int Rounds) {
  for (int Round = 0; Round < Rounds; ++Round)
    for (TRun &R : Runs) R.Rounds.push_back(RunMeasured(R.Command));
}

void PrintTable(const std::string &Case, const std::vector<TRun> &Runs, int SourceFrames) {
  if (Runs.empty()) return;
  const TMeasure Ours = Median(Runs[0].Rounds);
  for (const TRun &R : Runs) {
    const TMeasure M = Median(R.Rounds);
    char Ratio[32] = "";
    if (R.Peer && Ours.Wall > 0) std::snprintf(Ratio, sizeof Ratio, "%.2fx", M.Wall / Ours.Wall);
    std::printf("%-30.30s %-26.26s %8.2f %9.1f %8.2f %8.1f %10s%s\n", Case.c_str(), R.Who.c_str(), M.Wall,
                SourceFrames / M.Wall, M.Processor, static_cast<double>(M.PeakKB) / 1024.0, Ratio,
                M.Failed ? "  (a run failed)" : "");
  }
  std::fflush(stdout);
}

}  // namespace korvane::bench
