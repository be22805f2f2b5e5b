// SPDX-License-Identifier: GPL-3.0-or-later
// How true the converter's outputs are, beside the ffmpeg program at the same
// settings, on marked clips made on the fly (a moving scene whose pictures
// carry their number, a tone and a lit bar at every whole second): per
// profile, PSNR and SSIM against the time-aligned source, frames, when the
// source pictures first appear against their time, the tone against the
// pictures that carry it, loudness and sample count. Then what fast start
// costs, and the memory a source claiming 1 Hz takes.
//
//   fidelity_bench [SECONDS [CONVERTER]]
// SECONDS defaults to 10; CONVERTER (default: the korvane-convert beside
// this program) lets another build be measured the same way.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Fidelity.h"
#include "MediaCheck.h"
#include "OutputNaming.h"
#include "ProgramFolder.h"

namespace {

using namespace korvane;
using namespace korvane::bench;
using namespace korvane::test;

bool Run(const std::string &Command) { return !RunMeasured(Command).Failed; }

// The ffmpeg program's arguments for the settings a row of Profile gets.
std::string SameSettings(const std::string &Profile) {
  TSettings Settings;
  if (!ProfileSettings(Profile, {640, 360}, Settings)) return "";
  return " " + FFmpegArguments(Settings) + " -strict experimental";
}

std::string Field(const std::string &File, const std::string &Stream, const std::string &Entry) {
  std::string Text = RunCommand("ffprobe -v error -select_streams " + Stream +
                                " -show_entries stream=" + Entry + " -of csv=p=0 " + Quoted(File))
                         .Output;
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == ',')) Text.pop_back();
  return Text;
}

struct TCase {
  std::string Profile, Source;
};

// The source as the output's frames should show it, into Reference: each
// frame slot the picture nearest its time, at the output's size. Returns
// the output's frame duration, seconds.
double MakeReference(const std::string &Source, const std::map<std::string, std::string> &Video,
                     const std::string &Reference) {
  const std::string Rate = Video.at("r_frame_rate");
  const std::string Size = Video.at("width") + "x" + Video.at("height");
  const size_t Slash = Rate.find('/');
  const double FramesPerSecond =
      std::atof(Rate.c_str()) / (Slash == std::string::npos ? 1 : std::atof(Rate.c_str() + Slash + 1));
  Run("ffmpeg -nostdin -v error -y -i " + Quoted(Source) + " -vf fps=" + Rate + ",scale=" + Size +
      " -an -c:v ffv1 " + Quoted(Reference));
  return 1 / FramesPerSecond;
}

// Fast start is the muxer's second pass over the file: its cost, remuxing
// the MP4 output, and 200 MB of raw pictures, with and without.
void ReportFastStart(const std::string &Work) {
  const std::string Raw = Work + "/raw.mov";
  Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=24 -c:v rawvideo "
      "-pix_fmt yuv420p " +
      Quoted(Raw));
  for (const auto &[Input, Target] :
       {std::pair{Work + "/ours-4.mp4", Work + "/remux.mp4"}, std::pair{Raw, Work + "/remux.mov"}}) {
    const std::string Remux = "ffmpeg -nostdin -v error -y -i " + Quoted(Input) + " -c copy ";
    double Plain = 1e9, Fast = 1e9;
    for (int I = 0; I < 3; ++I) {
      Plain = std::min(Plain, RunMeasured(Remux + Quoted(Target)).Wall);
      Fast = std::min(Fast, RunMeasured(Remux + "-movflags +faststart " + Quoted(Target)).Wall);
    }
    std::printf("\nfast start on %.1f MB: %.3f s without, %.3f s with (%+.3f s)",
                static_cast<double>(std::ifstream(Target, std::ios::ate | std::ios::binary).tellg()) / 1e6,
                Plain, Fast, Fast - Plain);
  }
  std::printf("\n");
}

// A 2 KB WAV whose header says 1 Hz: 1000 s of sound at the M4A profile's rate.
void ReportOneHertz(const std::string &Work, const std::string &Convert) {
  const std::string Slow = Work + "/one-hertz.wav";
  WriteClaimedRateWav(Slow, 1, 1000);
  const TMeasure Ours = RunMeasured(Convert + " -p " + Quoted("M4A - Mpeg4 Audio File (*.m4a)") + " -o " +
                                    Quoted(Work) + " " + Quoted(Slow));
  const TMeasure Theirs = RunMeasured("ffmpeg -nostdin -v error -y -i " + Quoted(Slow) +
                                      SameSettings("M4A - Mpeg4 Audio File (*.m4a)") + " " +
                                      Quoted(Work + "/one-hertz-ffmpeg.m4a"));
  std::printf("1 Hz header, 1000 samples: ours %.1f s, peak %ld MB; ffmpeg %.1f s, peak %ld MB\n", Ours.Wall,
              Ours.PeakKB / 1024, Theirs.Wall, Theirs.PeakKB / 1024);
}

}  // namespace

int main(int argc, char **argv) {
  const double Seconds = argc > 1 ? std::atof(argv[1]) : 10;
  const std::string Dir = ProgramFolder(), Work = Dir + "/bench-fidelity";
  std::system(("rm -rf " + Quoted(Work) + " && mkdir -p " + Quoted(Work)).c_str());
  const std::string Convert =
      Quoted(argc > 2 ? argv[2] : Dir + "/korvane-convert") + " --log-level quiet --overwrite";

  // A film at 23.976 fps with stereo sound, slides at 10 fps with 5.1 sound.
  const std::string Film = Work + "/film.mkv", Slides = Work + "/slides.mkv";
  const std::string Lossless = " -c:v ffv1 -c:a pcm_s16le ";
  if (!Run("ffmpeg -nostdin -v error -y " + MarkedClipInputs("24000/1001", Seconds, "640x360", "testsrc2") +
           Lossless + Quoted(Film)) ||
      !Run("ffmpeg -nostdin -v error -y " + MarkedClipInputs("10", Seconds, "640x360", "testsrc2", "5.1") +
           Lossless + Quoted(Slides)))
    return 1;
  const double SourceSamples = Seconds * 48000;

  const TCase Cases[] = {
      {"PSP Video (*.mp4)", Film},
      {"DVD - VOB (*.vob)", Film},
      {"MPEG-1 Movie (*.mpg)", Slides},
      {"AVI - XviD Video (*.avi)", Film},
      {"MP4 - MPEG4 Video (*.mp4)", Film},
      {"iPod (*.mp4)", Slides},
      {"WMV - Windows Media Video (*.wmv)", Film},
      {"FLV - Flash Video (*.flv)", Film},
      {"3GP - Mobile Video Format (*.3gp)", Film},
      {"Apple TV H264 (320 x 240) (*.mp4)", Slides},
      {"M4A - Mpeg4 Audio File (*.m4a)", Slides},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", Slides},
  };
  std::printf(
      "| profile (source) | by | frames | PSNR dB | SSIM | picture offset mean / worst ms | "
      "early > 1/2 frame | A/V mean / worst ms | LUFS | samples (source %.0f) |\n",
      SourceSamples);
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  int N = 0;
  for (const TCase &C : Cases) {
    const std::string Extension =
        C.Profile.substr(C.Profile.rfind("*.") + 2, C.Profile.rfind(')') - C.Profile.rfind("*.") - 2);
    const std::string Ours = Work + "/ours-" + std::to_string(N) + "." + Extension;
    const std::string Theirs = Work + "/ffmpeg-" + std::to_string(N++) + "." + Extension;
    const std::string Folder = Work + "/row";
    std::system(("rm -rf " + Quoted(Folder) + " && mkdir -p " + Quoted(Folder)).c_str());
    if (!Run(Convert + " -p " + Quoted(C.Profile) + " -o " + Quoted(Folder) + " " + Quoted(C.Source)))
      continue;
    const std::string Made = OutputFileName(Folder, C.Source, Extension, true);
    std::rename(Made.c_str(), Ours.c_str());
    if (!Run("ffmpeg -nostdin -v error -y -i " + Quoted(C.Source) + SameSettings(C.Profile) + " " +
             Quoted(Theirs)))
      continue;

    const std::vector<TShownPicture> Source = ShownPictures(C.Source);
    const TProbedFile Probed = ProbeFile(Ours);
    const std::map<std::string, std::string> *OurVideo = Probed.Stream("video");
    const bool Video = OurVideo && OurVideo->count("width");
    const std::string Reference = Work + "/reference.mkv";
    const double FrameDuration = Video ? MakeReference(C.Source, *OurVideo, Reference) : 0;
    const std::string Name = C.Profile.substr(0, C.Profile.find(" (")) +
                             (C.Source == Film ? " (film 23.976)" : " (slides 10, 5.1)");
    for (const auto &[By, File] : {std::pair{"ours", Ours}, std::pair{"ffmpeg", Theirs}}) {
      std::string Pictures = "-", Quality = "- | -", Offsets = "-", Early = "-", Marks = "-";
      if (Video) {
        const std::vector<TShownPicture> Output = ShownPictures(File);
        const TTimingReport Timing = CompareTiming(Source, Output, FrameDuration);
        const TMarkOffsets AV = MarkOffsets(ToneMarks(File), PictureMarks(Output));
        const TPictureQuality Q = PictureQuality(File, Reference);
        char Text[160];
        std::snprintf(Text, sizeof Text, "%zu", Output.size());
        Pictures = Text;
        std::snprintf(Text, sizeof Text, "%.2f | %.4f", Q.Psnr, Q.Ssim);
        Quality = Text;
        std::snprintf(Text, sizeof Text, "%+.1f / %+.1f", Timing.MeanOffsetMs, Timing.WorstOffsetMs);
        Offsets = Text;
        std::snprintf(Text, sizeof Text, "%d", Timing.EarlyPictures);
        Early = Text;
        std::snprintf(Text, sizeof Text, "%+.1f / %+.1f", AV.MeanMs, AV.WorstMs);
        Marks = Text;
      }
      const std::string Rate = Field(File, "a:0", "sample_rate");
      std::printf("| %s | %s | %s | %s | %s | %s | %s | %.1f | %lld at %s Hz (%.0f) |\n", Name.c_str(), By,
                  Pictures.c_str(), Quality.c_str(), Offsets.c_str(), Early.c_str(), Marks.c_str(),
                  IntegratedLoudness(File), static_cast<long long>(DecodedSamples(File)), Rate.c_str(),
                  SourceSamples * std::atof(Rate.c_str()) / 48000);
    }
  }

  ReportFastStart(Work);
  ReportOneHertz(Work, Convert);
  return 0;
}
