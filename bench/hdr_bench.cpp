// SPDX-License-Identifier: GPL-3.0-or-later
// HDR on a 1080p HDR10 clip, beside the ffmpeg program with the same
// settings: kept as HDR10 by "MP4 - H.265/HEVC" (10 bits, BT.2020, PQ, the
// mastering display and light levels given to x265), and tone-mapped to
// SDR by "MP4 - H.264" (the converter's zscale and tonemap chain, which the
// ffmpeg program runs as its -vf). Wall time, processor time, peak memory
// and output size, one run each unless asked for more; the targets are a
// wall time of at most 1.05 of ffmpeg's for the H.265 case and 1.1 for the
// tone-mapped H.264 case.
//   hdr_bench [SECONDS=10] [ROUNDS=1]
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ProgramFolder.h"

namespace {

using namespace korvane;
using namespace korvane::bench;

// The clip's mastering display (P3 primaries, D65 white, 0.0001 to 1000
// cd/m2) and light levels, as x265 takes them.
constexpr const char *MasterDisplay = "G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1)";
constexpr const char *MaxCll = "1000,400";

// The chain the converter builds for this clip (PQ, BT.2020, limited range,
// its brightest light 1000 cd/m2, that is 10 times SDR's white).
constexpr const char *ToneMapChain =
    "zscale=tin=smpte2084:min=2020_ncl:pin=bt2020:rin=limited:t=linear:npl=100:p=bt2020,format=gbrpf32le,"
    "zscale=tin=linear:pin=bt2020:t=linear:p=bt709,tonemap=tonemap=mobius:desat=0:peak=10.0000,"
    "zscale=tin=linear:pin=bt709:t=bt709:m=bt709:r=limited:p=bt709,format=yuv420p";

// A 1080p HDR10 clip of Seconds at 25 fps: a detailed moving picture with
// grain, SDR's white at 203 cd/m2, 10-bit H.265 with its metadata.
bool MakeHdrClip(const std::string &File, int Seconds) {
  const std::string Command =
      "ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=size=1920x1080:rate=25,noise=alls=6:allf=t' -t " +
      std::to_string(Seconds) +
      " -vf 'zscale=tin=bt709:pin=bt709:min=bt709:rin=tv:t=smpte2084:p=bt2020:m=bt2020nc:r=tv:npl=203,"
      "format=yuv420p10le' -c:v libx265 -preset ultrafast -crf 16 -x265-params 'log-level=error:"
      "master-display=" +
      std::string(MasterDisplay) + ":max-cll=" + MaxCll +
      "' -color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc " + Quoted(File);
  return std::system(Command.c_str()) == 0;
}

double Megabytes(const std::string &File) {
  struct stat Facts {};
  return stat(File.c_str(), &Facts) == 0 ? static_cast<double>(Facts.st_size) / 1e6 : 0;
}

// ffprobe's "pixel format, transfer" of File's picture.
std::string Picture(const std::string &File) {
  std::string Text;
  const std::string Command =
      "ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt,color_transfer "
      "-of csv=p=0 " +
      Quoted(File);
  if (FILE *Pipe = popen(Command.c_str(), "r")) {
    char Line[256];
    while (std::fgets(Line, sizeof Line, Pipe)) Text += Line;
    pclose(Pipe);
  }
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == ',')) Text.pop_back();
  return Text;
}

void Compare(const std::string &Case, const std::string &Profile, const std::string &FFmpegArguments,
             double Target, const std::string &Source, const std::string &Work, int Seconds, int Rounds) {
  const std::string Ours = Work + "/ours-" + Case, Theirs = Work + "/ffmpeg-" + Case + ".mp4";
  std::system(("mkdir -p " + Quoted(Ours)).c_str());
  std::vector<TRun> Runs;
  Runs.emplace_back("korvane-convert", Quoted(ProgramFolder() + "/korvane-convert") + " -p " +
                                           Quoted(Profile) + " -o " + Quoted(Ours) +
                                           " --overwrite --log-level quiet " + Quoted(Source));
  Runs.emplace_back("ffmpeg",
                    "ffmpeg -nostdin -v error -y -i " + Quoted(Source) + " " + FFmpegArguments +
                        " -movflags +faststart " + Quoted(Theirs),
                    true);
  RunRounds(Runs, Rounds);
  PrintTable(Case, Runs, Seconds * 25);
  const double Ratio = Median(Runs[0].Rounds).Wall / Median(Runs[1].Rounds).Wall;
  std::printf("%-30s our wall time / ffmpeg's: %.3f (target at most %.2f: %s)\n", Case.c_str(), Ratio, Target,
              Ratio <= Target ? "met" : "missed");
  const std::string Files[] = {Ours + "/source.mp4", Theirs};
  for (size_t I = 0; I < Runs.size(); ++I)
    std::printf("%-30s %-26s size %7.2f MB  %s\n", Case.c_str(), Runs[I].Who.c_str(), Megabytes(Files[I]),
                Picture(Files[I]).c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
  const int Seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const int Rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  const std::string Work = ProgramFolder() + "/bench-hdr";
  std::system(("rm -rf " + Quoted(Work) + " && mkdir -p " + Quoted(Work)).c_str());
  const std::string Source = Work + "/source.mkv";
  if (!MakeHdrClip(Source, Seconds)) return 1;
  std::printf("hdr_bench: %d s of 1080p HDR10 (10-bit H.265, PQ, BT.2020) at 25 fps, median of %d round(s)\n",
              Seconds, Rounds);
  std::printf("machine: %s\n\n", MachineLine().c_str());
  PrintHeading();
  Compare("HDR10 to H.265 10-bit", "MP4 - H.265/HEVC Video, AAC Audio (*.mp4)",
          std::string("-c:v libx265 -preset fast -crf 21 -x265-params 'log-level=error:master-display=") +
              MasterDisplay + ":max-cll=" + MaxCll + "' -pix_fmt yuv420p10le -tag:v hvc1",
          1.05, Source, Work, Seconds, Rounds);
  std::printf("\n");
  Compare("HDR10 to H.264 tone-mapped", "MP4 - H.264 Video, AAC Audio (*.mp4)",
          std::string("-vf '") + ToneMapChain + "' -c:v libx264 -preset medium -crf 22 -pix_fmt yuv420p", 1.1,
          Source, Work, Seconds, Rounds);
  std::printf("machine after: %s\n", MachineLine().c_str());
  std::system(("rm -rf " + Quoted(Work)).c_str());
  return 0;
}
