// A batch of eight short 720p clips through one device profile: the
// korvane-convert program with one job and with one job per processor core,
// beside the ffmpeg program run on the same files with the same settings one
// after another. Prints the three wall times and their ratios.
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ProfileCatalogue.h"
#include "ProfileOptions.h"
#include "ProgramFolder.h"
#include "RowSetup.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::string &Command) {
  const auto Start = Clock::now();
  if (std::system(Command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", Command.c_str());
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

// The present encoder behind the names the profiles write.
std::string Encoder(const std::string &Name) {
  if (Name == "libfaac") return "aac";
  if (Name == "libamr_nb") return "libopencore_amrnb";
  if (Name == "vorbis") return "libvorbis";
  return Name;
}

}  // namespace

int main(int argc, char **argv) {
  using namespace korvane;
  const std::string Profile = argc > 1 ? argv[1] : "PSP Video (*.mp4)";
  const std::string Dir = ProgramFolder(), Work = Dir + "/bench-batch";
  std::system(("rm -rf '" + Work + "' && mkdir -p '" + Work + "/in' '" + Work + "/k1' '" + Work + "/kn' '" +
               Work + "/ff'")
                  .c_str());
  std::vector<std::string> Clips;
  for (int I = 0; I < 8; ++I) {
    Clips.push_back(Work + "/in/clip" + std::to_string(I) + ".mp4");
    const std::string Make =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=5 -f lavfi "
        "-i sine=frequency=" +
        std::to_string(300 + 50 * I) + ":duration=5 -c:v libx264 -preset veryfast -c:a aac -ac 2 '" +
        Clips.back() + "'";
    if (std::system(Make.c_str()) != 0) return 1;
  }

  // The profile's settings at its defaults, as the converter uses them.
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.Select(Profile);
  if (!ChangeOutputFormat(Form)) {
    std::fprintf(stderr, "no profile '%s'\n", Profile.c_str());
    return 1;
  }
  const TOutputOptions O = RowOutputOptions(Form, DefaultVolumePosition, "1280x720");
  std::string Settings = "-c:v " + Encoder(O.VideoCodec);
  if (!O.FrameSize.empty()) Settings += " -s " + O.FrameSize;
  if (O.VideoBitrate > 0) Settings += " -b:v " + std::to_string(O.VideoBitrate);
  if (!O.FrameRate.empty()) Settings += " -r " + O.FrameRate;
  Settings += " -c:a " + Encoder(O.AudioCodec);
  if (O.AudioBitrate > 0) Settings += " -b:a " + std::to_string(O.AudioBitrate);
  if (O.AudioSampleRate > 0) Settings += " -ar " + std::to_string(O.AudioSampleRate);
  if (O.AudioChannels > 0) Settings += " -ac " + std::to_string(O.AudioChannels);

  std::string Files;
  for (const std::string &Clip : Clips) Files += " '" + Clip + "'";
  const unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
  const std::string Convert = "'" + Dir + "/korvane-convert' -p '" + Profile + "' --log-level quiet";
  const double One = Seconds(Convert + " --jobs 1 -o '" + Work + "/k1'" + Files + " 2>/dev/null");
  const double Many = Seconds(Convert + " --jobs " + std::to_string(Cores) + " -o '" + Work + "/kn'" + Files +
                              " 2>/dev/null");
  std::string Sequential;
  for (size_t I = 0; I < Clips.size(); ++I)
    Sequential += "ffmpeg -nostdin -v error -y -threads 1 -i '" + Clips[I] + "' -threads 1 " + Settings +
                  " '" + Work + "/ff/clip" + std::to_string(I) + ".mp4' && ";
  const double FFmpeg = Seconds(Sequential + "true");

  std::printf("profile: %s\nffmpeg settings: %s\n", Profile.c_str(), Settings.c_str());
  std::printf("korvane-convert --jobs 1   %7.2f s\n", One);
  std::printf("korvane-convert --jobs %-3u %7.2f s\n", Cores, Many);
  std::printf("ffmpeg, one after another  %7.2f s\n", FFmpeg);
  std::printf("ratios: ffmpeg / jobs 1 = %.2f, ffmpeg / jobs %u = %.2f\n", FFmpeg / One, Cores,
              FFmpeg / Many);
  std::system(("rm -rf '" + Work + "'").c_str());
  return 0;
}
