// Conversion speed of the engine beside the ffmpeg program, one thread each
// and the same settings, on a 720p clip with 48 kHz sound made on the fly:
// MPEG-4 + MP3 in AVI at the source size and rate; H.264 + AAC in MP4 and
// MPEG-2 + AC-3 in VOB scaled to 480p, the MP4 also resampled to 44.1 kHz. Each side runs three times; the
// best run counts, in wall time and in processor time (user + system), which a busy machine disturbs less.
// Prints frames per second of both and their ratios.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchSupport.h"
#include "FFmpeg.h"
#include "ProgramFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TTiming {
  double Wall = 1e100, Processor = 1e100;
};

// Runs Work and keeps the best wall and processor time seen so far.
template <typename T>
void Measure(TTiming &Best, int Who, T Work) {
  const auto Start = Clock::now();
  const double StartCPU = korvane::bench::ProcessorSeconds(Who);
  Work();
  Best.Wall = std::min(Best.Wall, std::chrono::duration<double>(Clock::now() - Start).count());
  Best.Processor = std::min(Best.Processor, korvane::bench::ProcessorSeconds(Who) - StartCPU);
}

}  // namespace

int main(int argc, char **argv) {
  using namespace korvane;
  const int Seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const std::string Dir = ProgramFolder();
  const std::string Source = Dir + "/bench-720p.mp4";
  const std::string Ours = Dir + "/bench-ours", Theirs = Dir + "/bench-ffmpeg";
  if (!bench::LoadLibrariesBesideProgram()) return 1;
  if (!bench::Make720pClip(Source, Seconds,
                           "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=" +
                               std::to_string(Seconds) + " -c:a aac -ac 2"))
    return 1;
  const int Frames = Seconds * 25;

  struct TCase {
    const char *Name, *Extension, *Video, *Audio, *Size;
    int SampleRate;  // 0: the source's
    const char *FFmpegArguments;
  } Cases[] = {
      {"MPEG-4/MP3 AVI 720p", "avi", "mpeg4", "libmp3lame", "", 0,
       "-c:v mpeg4 -b:v 2000k -c:a libmp3lame -b:a 128k -f avi"},
      {"H.264/AAC MP4 480p 44.1k", "mp4", "libx264", "libfaac", "854x480", 44100,
       "-c:v libx264 -b:v 2000k -s 854x480 -sws_flags bicubic -c:a aac -b:a 128k -ar 44100 -f mp4"},
      {"MPEG-2/AC-3 VOB 480p", "vob", "mpeg2video", "ac3", "720x480", 0,
       "-c:v mpeg2video -b:v 2000k -s 720x480 -sws_flags bicubic -c:a ac3 -b:a 128k -f vob"},
  };
  std::printf("%-26s %-8s %8s %10s %10s %12s\n", "case", "", "wall s", "frames/s", "cpu s", "frames/cpu-s");
  for (const TCase &Case : Cases) {
    const std::string OurFile = Ours + "." + Case.Extension, TheirFile = Theirs + "." + Case.Extension;
    const auto Ours1 = [&] {
      TFFmpeg Task;
      Task.PrepareOptions();
      TInputOptions In;
      TOutputOptions Out;
      Out.VideoCodec = Case.Video;
      Out.VideoBitrate = 2000000;
      Out.FrameSize = Case.Size;
      Out.AudioCodec = Case.Audio;
      Out.AudioBitrate = 128000;
      if (Case.SampleRate) Out.AudioSampleRate = Case.SampleRate;
      Task.ApplyInputOptions(In);
      if (!Task.OpenInputFile(Source)) std::exit(1);
      Task.ApplyOutputOptions(Out);
      if (!Task.OpenOutputFile(OurFile)) std::exit(1);
      Task.Transcode();
      Task.ClearOptions();
    };
    const std::string TheirCommand = "ffmpeg -nostdin -v error -y -threads 1 -i '" + Source +
                                     "' -threads 1 " + Case.FFmpegArguments + " '" + TheirFile + "'";
    const auto Theirs1 = [&] {
      if (std::system(TheirCommand.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", TheirCommand.c_str());
    };
    TTiming Korvane, FFmpeg;
    for (int Round = 0; Round < 3; ++Round) {
      Measure(Korvane, RUSAGE_SELF, Ours1);
      Measure(FFmpeg, RUSAGE_CHILDREN, Theirs1);
    }
    for (const auto &[Who, T] : {std::pair{"korvane", Korvane}, std::pair{"ffmpeg", FFmpeg}})
      std::printf("%-26s %-8s %8.2f %10.1f %10.2f %12.1f\n", Case.Name, Who, T.Wall, Frames / T.Wall,
                  T.Processor, Frames / T.Processor);
    std::printf("%-26s speed ratio korvane / ffmpeg: wall %.3f, processor %.3f\n", Case.Name,
                FFmpeg.Wall / Korvane.Wall, FFmpeg.Processor / Korvane.Processor);
    std::remove(OurFile.c_str());
    std::remove(TheirFile.c_str());
  }
  std::remove(Source.c_str());
  return 0;
}
