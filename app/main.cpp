// Korvane Video Converter start-up. Until the main window is built, this loads
// the media libraries the way the window will, reports their versions, and
// shows for each file given on the command line what the file list will show.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "AVLibraries.h"
#include "AVLog.h"
#include "AVProbe.h"
#include "LibAVCodec.h"
#include "LibAVFormat.h"
#include "LibAVUtil.h"
#include "LibSwResample.h"
#include "LibSwScale.h"

namespace {

std::string ExecutableDirectory() {
  char Path[PATH_MAX] = {};
  const ssize_t Length = readlink("/proc/self/exe", Path, sizeof Path - 1);
  std::string Text(Path, Length > 0 ? static_cast<size_t>(Length) : 0);
  const size_t Slash = Text.rfind('/');
  return Slash == std::string::npos ? "." : Text.substr(0, Slash);
}

std::string VersionText(unsigned Version) {
  return std::to_string(AV_VERSION_MAJOR(Version)) + "." + std::to_string(AV_VERSION_MINOR(Version)) + "." +
         std::to_string(AV_VERSION_MICRO(Version));
}

std::string DurationText(int64_t Microseconds) {
  if (Microseconds == AV_NOPTS_VALUE || Microseconds < 0) return "Unknown";
  const int64_t Seconds = Microseconds / 1000000;
  char Text[32];
  std::snprintf(Text, sizeof Text, "%02lld:%02lld:%02lld", static_cast<long long>(Seconds / 3600),
                static_cast<long long>(Seconds / 60 % 60), static_cast<long long>(Seconds % 60));
  return Text;
}

}  // namespace

int main(int argc, char **argv) {
  using namespace korvane;
  SaveAndMaskFloatingPointControl();
  const std::string Folder = ExecutableDirectory() + "/Common Files";
  if (!LoadAVLibraries(Folder, true)) {
    std::fprintf(stderr, "Some files are missing. Please re-install this software\n%s\n",
                 AVLibrariesError().c_str());
    return 1;
  }
  InstallLogCallback();
  SetLibraryLogLevel(0);
  RegisterLogSink([](pid_t, int, const std::string &Line) { std::fprintf(stderr, "%s\n", Line.c_str()); });

  std::printf("Korvane Video Converter: the main window is not built yet; showing the media libraries.\n");
  std::printf("FFmpeg %s from %s\n", LibAVUtil::av_version_info(), Folder.c_str());
  std::printf("  libavcodec    %s\n", VersionText(LibAVCodec::avcodec_version()).c_str());
  std::printf("  libavformat   %s\n", VersionText(LibAVFormat::avformat_version()).c_str());
  std::printf("  libavutil     %s\n", VersionText(LibAVUtil::avutil_version()).c_str());
  std::printf("  libswscale    %s\n", VersionText(LibSwScale::swscale_version()).c_str());
  std::printf("  libswresample %s\n", VersionText(LibSwResample::swresample_version()).c_str());

  int Status = 0;
  TAVProbe Probe;
  for (int I = 1; I < argc; ++I) {
    if (!Probe.LoadFile(argv[I], "")) {
      std::printf("%s\tError\t%s\n", argv[I], Probe.LastError().c_str());
      Status = 1;
      continue;
    }
    std::string Size = "", Rate = "";
    if (Probe.VideoStreamCount() > 0) {
      TAVVideoStreamInfo Video;
      Probe.GetVideoStreamInfo(Video);
      Size = std::to_string(Video.Width) + "x" + std::to_string(Video.Height);
      if (Video.FrameRateDen > 0) {
        char Text[32];
        std::snprintf(Text, sizeof Text, "%.2f",
                      static_cast<double>(Video.FrameRateNum) / Video.FrameRateDen);
        Rate = Text;
      }
    }
    TAVFileInfo File;
    Probe.GetFileInfo(File);
    std::printf("%s\t%s\t%s\t%s\n", argv[I], Size.c_str(), Rate.c_str(), DurationText(File.Duration).c_str());
  }
  RestoreFloatingPointControl();
  return Status;
}
