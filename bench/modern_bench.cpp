// SPDX-License-Identifier: GPL-3.0-or-later
// The modern video profiles at their default choices on a 1080p and a 720p
// clip, side by side with the ffmpeg program and HandBrakeCLI at the same
// encoder, speed preset and quality value (and the same audio): wall time,
// peak memory, output size and SSIM against the source, medians of the
// rounds. Then the copy profile on a longer 1080p file: how many times
// faster than real time it is, beside the ffmpeg program's stream copy.
//   modern_bench [SECONDS=10] [ROUNDS=1] [copy]   ("copy": the copy alone)
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ModernSettings.h"
#include "ProgramFolder.h"

namespace {

using namespace korvane;
using namespace korvane::bench;

// A modern profile and what its defaults mean for the three programs.
struct TProfileCase {
  const char *Profile;
  const char *CodecItem;  // of the profile's video codec combo, at its default
  const char *Container;  // HandBrake's and ffmpeg's
  const char *Extension;
  bool Opus;  // else AAC
  int AudioKbps;
  const char *HandBrakeEncoder;
};

constexpr TProfileCase kCases[] = {
    {"MP4 - H.264 Video, AAC Audio (*.mp4)", "H.264", "mp4", "mp4", false, 160, "x264"},
    {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", "H.265/HEVC", "mp4", "mp4", false, 160, "x265"},
    {"MKV - Matroska Video, every track (*.mkv)", "H.264", "matroska", "mkv", false, 192, "x264"},
    {"WebM - VP9 Video, Opus Audio (*.webm)", "VP9", "webm", "webm", true, 128, "VP9"},
    {"WebM - AV1 Video, Opus Audio (*.webm)", "AV1", "webm", "webm", true, 128, "svt_av1"},
};

std::string Output(const std::string &Command) {
  std::string Text;
  if (FILE *Pipe = popen(Command.c_str(), "r")) {
    char Buffer[4096];
    for (size_t Read; (Read = std::fread(Buffer, 1, sizeof Buffer, Pipe)) > 0;) Text.append(Buffer, Read);
    pclose(Pipe);
  }
  return Text;
}

// The encoder's option lines ("preset=medium") as the ffmpeg program's
// arguments, leaving out those this encoder does not have (the AV1 lines
// carry libaom's options too).
std::string EncoderArguments(const TModernVideoEncoder &E) {
  const std::string Help =
      Output("ffmpeg -hide_banner -h encoder=" + std::string(E.Encoder) + " 2>/dev/null");
  std::string Arguments;
  std::istringstream Lines{std::string(E.Options)};
  for (std::string Line; std::getline(Lines, Line);) {
    const size_t Equal = Line.find('=');
    if (Equal == std::string::npos) continue;
    const std::string Name = Line.substr(0, Equal);
    if (Help.find("  -" + Name + " ") == std::string::npos) continue;
    Arguments += " -" + Name + " " + Quoted(Line.substr(Equal + 1));
  }
  return Arguments;
}

// The option lines HandBrake takes through -x (libvpx's speed and threading).
std::string HandBrakeExtra(const TModernVideoEncoder &E) {
  if (E.Encoder != "libvpx-vp9") return "";
  return " -x deadline=good:cpu-used=4:row-mt=1";
}

std::string HandBrakePreset(const TModernVideoEncoder &E) {
  const std::string Options(E.Options);
  const size_t At = Options.find("preset=");
  if (At == std::string::npos) return "";
  return " --encoder-preset " + Options.substr(At + 7, Options.find('\n', At) - At - 7);
}

// SSIM ("All") of File against Source by the ffmpeg program's ssim filter.
double SSIM(const std::string &File, const std::string &Source) {
  const std::string Text =
      Output("ffmpeg -nostdin -i " + Quoted(File) + " -i " + Quoted(Source) +
             " -lavfi '[0:v][1:v]ssim' -an -f null - 2>&1 | grep -o 'All:[0-9.]*' | tail -1");
  return Text.size() > 4 ? std::atof(Text.c_str() + 4) : -1;
}

double Megabytes(const std::string &File) {
  struct stat Status {};
  return stat(File.c_str(), &Status) == 0 ? static_cast<double>(Status.st_size) / 1e6 : -1;
}

// A moving test picture with fine grain, so the encoders have work to do,
// at the quality given (x264 arguments).
bool MakeSource(const std::string &File, const char *Size, int Seconds,
                const std::string &Quality = "-crf 14") {
  const std::string Command = "ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=size=" + std::string(Size) +
                              ":rate=25,noise=alls=6:allf=t' -f lavfi -i 'sine=f=440:r=48000' -ac 2 -t " +
                              std::to_string(Seconds) + " -c:v libx264 -preset veryfast " + Quality +
                              " -pix_fmt yuv420p -c:a aac -b:a 192k " + Quoted(File);
  return std::system(Command.c_str()) == 0;
}

void CompareProfile(const TProfileCase &C, const std::string &Source, const std::string &Label, int Frames,
                    int Rounds, const std::string &Work, bool HandBrake) {
  const TModernVideoEncoder *E = FindModernVideoEncoder(C.CodecItem);
  const int Quality = E->Quality[1];  // "Quality: Standard", the default
  const std::string Dir = ProgramFolder(), Case = Label + " " + C.CodecItem + " " + C.Extension;
  const std::string Ours = Work + "/ours", Theirs = Work + "/ffmpeg." + C.Extension,
                    Brake = Work + "/handbrake." + C.Extension;
  std::system(("mkdir -p " + Quoted(Ours)).c_str());
  const std::string Audio = C.Opus ? " -c:a libopus -b:a " + std::to_string(C.AudioKbps) + "k"
                                   : " -c:a aac -b:a " + std::to_string(C.AudioKbps) + "k";
  std::vector<TRun> Runs;
  Runs.emplace_back("korvane-convert", Quoted(Dir + "/korvane-convert") + " -p " + Quoted(C.Profile) +
                                           " -o " + Quoted(Ours) + " --overwrite --log-level quiet " +
                                           Quoted(Source));
  Runs.emplace_back("ffmpeg",
                    "ffmpeg -nostdin -v error -y -i " + Quoted(Source) + " -c:v " + std::string(E->Encoder) +
                        EncoderArguments(*E) + " -crf " + std::to_string(Quality) + " -pix_fmt yuv420p" +
                        (E->Encoder == "libx265" && std::string(C.Extension) == "mp4" ? " -tag:v hvc1" : "") +
                        Audio + " -ac 2 -f " + C.Container + " " + Quoted(Theirs),
                    true);
  if (HandBrake)
    Runs.emplace_back("HandBrakeCLI",
                      "HandBrakeCLI -i " + Quoted(Source) + " -o " + Quoted(Brake) + " -f av_" +
                          (std::string(C.Container) == "matroska" ? "mkv" : C.Extension) +
                          " --no-markers --crop-mode none --non-anamorphic --no-comb-detect --no-deinterlace "
                          "--no-decomb --no-detelecine --no-deblock --vfr -e " +
                          C.HandBrakeEncoder + HandBrakePreset(*E) + HandBrakeExtra(*E) + " -q " +
                          std::to_string(Quality) + " -E " + (C.Opus ? "opus" : "av_aac") + " -B " +
                          std::to_string(C.AudioKbps) + " --mixdown stereo",
                      true);
  RunRounds(Runs, Rounds);
  PrintTable(Case, Runs, Frames);
  const std::string Name = Source.substr(Source.rfind('/') + 1);
  const std::string Files[] = {Ours + "/" + Name.substr(0, Name.rfind('.')) + "." + C.Extension, Theirs,
                               Brake};
  for (size_t I = 0; I < Runs.size(); ++I)
    std::printf("%-30.30s %-26.26s size %7.2f MB  SSIM %.4f\n", Case.c_str(), Runs[I].Who.c_str(),
                Megabytes(Files[I]), SSIM(Files[I], Source));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
  const int Seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const int Rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  const std::string Work = ProgramFolder() + "/bench-modern";
  std::system(("rm -rf " + Quoted(Work) + " && mkdir -p " + Quoted(Work)).c_str());
  const std::string Source1080 = Work + "/source-1080p.mp4", Source720 = Work + "/source-720p.mp4",
                    Long = Work + "/long-1080p.mp4";
  const int RemuxSeconds = Seconds * 12;
  const bool CopyOnly = argc > 3 && std::string(argv[3]) == "copy";
  // The copy's file: 1080p at 16 Mbit/s, as a phone records it.
  if ((!CopyOnly &&
       (!MakeSource(Source1080, "1920x1080", Seconds) || !MakeSource(Source720, "1280x720", Seconds))) ||
      !MakeSource(Long, "1920x1080", RemuxSeconds, "-b:v 16M -maxrate 16M -bufsize 32M"))
    return 1;
  const bool HandBrake = HaveHandBrake();
  std::printf(
      "modern_bench: %d s sources at 25 fps (H.264 + AAC), median of %d round(s); peers at the same\n"
      "encoder, speed preset and quality value; our speed = their wall time / ours\n",
      Seconds, Rounds);
  std::printf("machine: %s\n", MachineLine().c_str());
  if (!HandBrake)
    std::printf("HandBrakeCLI is not installed (Debian package handbrake-cli): no HandBrake rows\n");
  for (const TModernVideoEncoder *E : {FindModernVideoEncoder("H.264"), FindModernVideoEncoder("H.265/HEVC"),
                                       FindModernVideoEncoder("VP9"), FindModernVideoEncoder("AV1")})
    std::printf("%s: %s, quality steps %d / %d / %d (default the middle one)%s\n", E->Item.data(),
                E->Encoder.data(), E->Quality[0], E->Quality[1], E->Quality[2], EncoderArguments(*E).c_str());
  std::printf("\n");
  PrintHeading();
  for (const auto &[Source, Label] : {std::pair{Source1080, "1080p"}, std::pair{Source720, "720p"}})
    for (const TProfileCase &C : kCases) {
      if (CopyOnly) break;
      CompareProfile(C, Source, Label, Seconds * 25, Rounds, Work + "/" + Label + "-" + C.Extension,
                     HandBrake);
      std::printf("\n");
    }

  // The copy of every stream: seconds of media per second of wall time.
  std::vector<TRun> Runs;
  std::system(("mkdir -p " + Quoted(Work + "/remux")).c_str());
  Runs.emplace_back("korvane-convert", Quoted(ProgramFolder() + "/korvane-convert") +
                                           " -p 'MKV - Copy every stream, no re-encoding (*.mkv)' -o " +
                                           Quoted(Work + "/remux") + " --overwrite --log-level quiet " +
                                           Quoted(Long));
  Runs.emplace_back(
      "ffmpeg -c copy",
      "ffmpeg -nostdin -v error -y -i " + Quoted(Long) + " -map 0 -c copy " + Quoted(Work + "/copy.mkv"),
      true);
  RunRounds(Runs, std::max(Rounds, 3));
  PrintTable("copy 1080p 16M " + std::to_string(RemuxSeconds) + " s", Runs, RemuxSeconds * 25);
  for (const TRun &R : Runs)
    std::printf("%-30s %-26s %.0fx real time\n", "remux", R.Who.c_str(),
                RemuxSeconds / Median(R.Rounds).Wall);
  std::printf("machine after: %s\n", MachineLine().c_str());
  std::system(("rm -rf " + Quoted(Work)).c_str());
  return 0;
}
