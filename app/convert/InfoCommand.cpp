// SPDX-License-Identifier: GPL-3.0-or-later
// --info: what the window's file list shows of each file, and its streams;
// with --json an "info" event a file and a "stream" event a stream. A cover
// is listed as a cover, not as a picture track.
#include <cstdio>

#include "BatchReport.h"
#include "Commands.h"
#include "FFmpegVCL.h"
#include "JsonLine.h"
#include "LibAVCodec.h"
#include "RowSetup.h"

namespace korvane::convert {

namespace {

bool IsCover(const AVStream *Stream) { return Stream->disposition & AV_DISPOSITION_ATTACHED_PIC; }

const char *TypeWord(const AVStream *Stream) {
  switch (Stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO: return IsCover(Stream) ? "cover" : "video";
    case AVMEDIA_TYPE_AUDIO: return "audio";
    case AVMEDIA_TYPE_SUBTITLE: return "subtitle";
    default: return nullptr;
  }
}

// The file's facts and streams as lines to read.
void PrintFacts(const std::string &File, const TFileRowTexts &Texts, const AVFormatContext *Context) {
  std::printf("%s\n  Video Size: %s\n  FrameRate: %s\n  Duration: %s\n  Container: %s\n", File.c_str(),
              Texts.VideoSize.c_str(), Texts.FrameRate.c_str(), Texts.Duration.c_str(),
              Context->iformat->name);
  if (Texts.Picture.Hdr != THdrKind::None) std::printf("  HDR: %s\n", HdrKindName(Texts.Picture.Hdr));
  for (unsigned I = 0; I < Context->nb_streams; ++I) {
    const AVCodecParameters *P = Context->streams[I]->codecpar;
    const char *Codec = LibAVCodec::avcodec_get_name(P->codec_id);
    switch (P->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        std::printf(IsCover(Context->streams[I]) ? "  Cover: %s\n" : "  Video: %s\n", Codec);
        break;
      case AVMEDIA_TYPE_AUDIO:
        std::printf("  Audio: %s, %d Hz, %d channels\n", Codec, P->sample_rate, P->ch_layout.nb_channels);
        break;
      case AVMEDIA_TYPE_SUBTITLE: std::printf("  Subtitle: %s\n", Codec); break;
      default: break;
    }
  }
}

// The same as events.
void PrintFactEvents(const std::string &File, const TFileRowTexts &Texts, const AVFormatContext *Context) {
  const bool Hdr = Texts.Picture.Hdr != THdrKind::None;
  std::fputs(TJsonLine("info")
                 .Text("file", File)
                 .Text("video_size", Texts.VideoSize)
                 .Text("frame_rate", Texts.FrameRate)
                 .Text("duration", Texts.Duration)
                 .Text("container", Context->iformat->name)
                 .OptionalText(
                     "hdr", Hdr ? std::optional<std::string>(HdrKindName(Texts.Picture.Hdr)) : std::nullopt)
                 .OptionalText("reason", std::nullopt)
                 .Line()
                 .c_str(),
             stdout);
  for (unsigned I = 0; I < Context->nb_streams; ++I) {
    const AVCodecParameters *P = Context->streams[I]->codecpar;
    const char *Type = TypeWord(Context->streams[I]);
    if (!Type) continue;
    TJsonLine Line("stream");
    Line.Text("file", File)
        .Integer("index", I)
        .Text("type", Type)
        .Text("codec", LibAVCodec::avcodec_get_name(P->codec_id));
    const bool Audio = P->codec_type == AVMEDIA_TYPE_AUDIO;
    Line.Number("sample_rate", Audio ? std::optional<double>(P->sample_rate) : std::nullopt, 0);
    Line.Number("channels", Audio ? std::optional<double>(P->ch_layout.nb_channels) : std::nullopt, 0);
    std::fputs(Line.Line().c_str(), stdout);
  }
}

}  // namespace

int ShowInfo(const TCommandLine &Command, const std::string &LibraryFolder) {
  TFFmpegVCL Component;
  Component.SetLogLevel(llQuiet);
  if (!Component.LoadMediaLibraries(LibraryFolder))
    throw std::runtime_error("Some files are missing. Please re-install this software\n" +
                             Component.LastError());
  TBatchCounts Counts;
  TAVProbe &Probe = Component.AVProbe();
  for (const std::string &File : Command.Files) {
    const bool Read = Probe.LoadFile(File, "");
    Counts.Count(Read ? TOutcome::Done : TOutcome::Failed, false);
    if (!Read && Command.Json) {
      TJsonLine Line("info");
      Line.Text("file", File);
      for (const char *Fact : {"video_size", "frame_rate", "duration", "container", "hdr"})
        Line.OptionalText(Fact, std::nullopt);
      std::fputs(Line.Text("reason", Probe.LastError()).Line().c_str(), stdout);
    } else if (!Read) {
      std::fprintf(stderr, "%s\n", Probe.LastError().c_str());
    } else if (Command.Json) {
      PrintFactEvents(File, FileRowTexts(Probe), Probe.FormatContext());
    } else {
      PrintFacts(File, FileRowTexts(Probe), Probe.FormatContext());
    }
    Probe.CloseFile();
  }
  const int Status = Counts.Failed > 0 ? 1 : 0;
  if (Command.Json) std::fputs(JsonSummaryLine(Counts, Status).c_str(), stdout);
  return Status;
}

}  // namespace korvane::convert
