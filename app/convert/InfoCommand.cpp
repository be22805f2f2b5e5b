// SPDX-License-Identifier: GPL-3.0-or-later
// --info: what the window's file list shows of each file, and its streams;
// a cover is listed as a cover, not as a picture track.
#include <cstdio>

#include "Commands.h"
#include "FFmpegVCL.h"
#include "LibAVCodec.h"
#include "RowSetup.h"

namespace korvane::convert {

int ShowInfo(const TCommandLine &Command, const std::string &LibraryFolder) {
  TFFmpegVCL Component;
  Component.SetLogLevel(llQuiet);
  if (!Component.LoadMediaLibraries(LibraryFolder)) {
    std::fprintf(stderr, "Some files are missing. Please re-install this software\n%s\n",
                 Component.LastError().c_str());
    return 1;
  }
  int Status = 0;
  TAVProbe &Probe = Component.AVProbe();
  for (const std::string &File : Command.Files) {
    if (!Probe.LoadFile(File, "")) {
      std::fprintf(stderr, "%s\n", Probe.LastError().c_str());
      Status = 1;
      continue;
    }
    const TFileRowTexts Texts = FileRowTexts(Probe);
    const AVFormatContext *Context = Probe.FormatContext();
    std::printf("%s\n  Video Size: %s\n  FrameRate: %s\n  Duration: %s\n  Container: %s\n", File.c_str(),
                Texts.VideoSize.c_str(), Texts.FrameRate.c_str(), Texts.Duration.c_str(),
                Context->iformat->name);
    if (Texts.Picture.Hdr != THdrKind::None) std::printf("  HDR: %s\n", HdrKindName(Texts.Picture.Hdr));
    for (unsigned I = 0; I < Context->nb_streams; ++I) {
      const AVCodecParameters *P = Context->streams[I]->codecpar;
      const char *Codec = LibAVCodec::avcodec_get_name(P->codec_id);
      const bool Cover = Context->streams[I]->disposition & AV_DISPOSITION_ATTACHED_PIC;
      switch (P->codec_type) {
        case AVMEDIA_TYPE_VIDEO: std::printf(Cover ? "  Cover: %s\n" : "  Video: %s\n", Codec); break;
        case AVMEDIA_TYPE_AUDIO:
          std::printf("  Audio: %s, %d Hz, %d channels\n", Codec, P->sample_rate, P->ch_layout.nb_channels);
          break;
        case AVMEDIA_TYPE_SUBTITLE: std::printf("  Subtitle: %s\n", Codec); break;
        default: break;
      }
    }
  }
  return Status;
}

}  // namespace korvane::convert
