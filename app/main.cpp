// Korvane Video Converter start-up. Until the main window is built, this loads
// the media libraries the way the window will, reports their versions, and
// shows for each file given on the command line what the file list will show.
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
#include "ProgramFolder.h"
#include "RowSetup.h"

namespace {

std::string VersionText(unsigned Version) {
  return std::to_string(AV_VERSION_MAJOR(Version)) + "." + std::to_string(AV_VERSION_MINOR(Version)) + "." +
         std::to_string(AV_VERSION_MICRO(Version));
}

}  // namespace

int main(int argc, char **argv) {
  using namespace korvane;
  SaveAndMaskFloatingPointControl();
  const std::string Folder = ProgramFolder() + "/Common Files";
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
    const TFileRowTexts Texts = FileRowTexts(Probe);
    std::printf("%s\t%s\t%s\t%s\n", argv[I], Texts.VideoSize.c_str(), Texts.FrameRate.c_str(),
                Texts.Duration.c_str());
  }
  RestoreFloatingPointControl();
  return Status;
}
