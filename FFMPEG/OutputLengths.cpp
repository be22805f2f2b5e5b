// SPDX-License-Identifier: GPL-3.0-or-later
// What a run's outputs hold, counted by what reached their muxers. A file
// without a packet of its picture or sound (a cover, subtitles or
// attachments alone are no conversion), or without a picture from a source
// that has one, is a failure. And whether a finished run's outputs hold
// what their sources declare: each picture and sound stream is measured
// against the length its source gives (of that stream, else of the file's
// picture and sound), less what the options skip or cut. A track of which
// not one packet was read is empty, not short. A stream that falls short
// by more than a second and a twentieth is not a finished conversion: the
// file is kept, since it holds what could be read, and the run says how
// much that was.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// The least shortfall that counts, microseconds: a second, or a twentieth
// of the length where that is more (encoders pad and trim the ends).
int64_t Tolerance(int64_t Length) { return std::max<int64_t>(1000000, Length / 20); }

// Whether Stream is part of the film: its picture or its sound, not a
// cover, subtitles or attachments.
bool FilmStream(const AVStream *Stream) {
  const AVMediaType Type = Stream->codecpar->codec_type;
  return (Type == AVMEDIA_TYPE_AUDIO && TAVProbe::HoldsMedia(Stream)) ||
         (Type == AVMEDIA_TYPE_VIDEO && TAVProbe::MainPicture(Stream));
}

// How long before the film's first picture or sound another stream of
// Input starts (a subtitle at a negative time), microseconds: the length
// the file declares counts that time, the film's does not.
int64_t LeadIn(const AVFormatContext *Input) {
  int64_t First = Input->start_time != AV_NOPTS_VALUE ? Input->start_time : INT64_MAX;
  int64_t FilmFirst = INT64_MAX;
  for (unsigned I = 0; I < Input->nb_streams; ++I) {
    const AVStream *Stream = Input->streams[I];
    if (Stream->start_time == AV_NOPTS_VALUE) continue;
    const int64_t Start = LibAVUtil::av_rescale_q(Stream->start_time, Stream->time_base, Microseconds);
    First = std::min(First, Start);
    if (FilmStream(Stream)) FilmFirst = std::min(FilmFirst, Start);
  }
  return First == INT64_MAX || FilmFirst == INT64_MAX ? 0 : std::max<int64_t>(FilmFirst - First, 0);
}

// The length of a Matroska track from its "DURATION" tag
// ("00:01:02.500000000"), microseconds, or -1 without a readable one. The
// tag holds where the track ends, so its first time is taken off. The
// file's own length runs to its last stream's end: a subtitle shown after
// the film would make the film look short.
int64_t TaggedLength(const AVStream *Stream) {
  const AVDictionaryEntry *Tag = LibAVUtil::av_dict_get(Stream->metadata, "DURATION", nullptr, 0);
  unsigned Hours = 0, Minutes = 0;
  double Rest = 0;
  if (!Tag || std::sscanf(Tag->value, "%u:%u:%lf", &Hours, &Minutes, &Rest) != 3 || Minutes > 59 ||
      !(Rest >= 0 && Rest < 60) || Hours > 1000000)
    return -1;
  const int64_t End = (int64_t(Hours) * 3600 + Minutes * 60) * 1000000 + std::llround(Rest * 1000000);
  const int64_t Start = Stream->start_time == AV_NOPTS_VALUE
                            ? 0
                            : LibAVUtil::av_rescale_q(Stream->start_time, Stream->time_base, Microseconds);
  return End - Start;
}

// The length a source declares for one of its streams, microseconds, or
// -1 where it declares none worth measuring against: a length estimated
// from the bit rate is a guess from the file's size, which a cut file
// shrinks with it. Without a length of the stream's own, the file's
// counts from the film's start.
int64_t DeclaredLength(const AVFormatContext *Input, const AVStream *Stream) {
  if (Input->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return -1;
  if (Stream->duration != AV_NOPTS_VALUE && Stream->duration > 0)
    return LibAVUtil::av_rescale_q(Stream->duration, Stream->time_base, Microseconds);
  if (const int64_t Tagged = TaggedLength(Stream); Tagged > 0) return Tagged;
  if (Input->duration != AV_NOPTS_VALUE && Input->duration > 0) return Input->duration - LeadIn(Input);
  return -1;
}

std::string Seconds(int64_t Microseconds) {
  return Format("%.1f s", static_cast<double>(Microseconds) / 1000000.0);
}

// The options given that limit what is converted (ss, t, fs, vframes,
// aframes), named as in option lines, comma-separated.
std::string LimitOptionsGiven(const TOptionState &S) {
  std::string Names;
  const auto Add = [&Names](bool Given, const char *Name) {
    if (Given) Names += (Names.empty() ? "" : ", ") + std::string(Name);
  };
  Add(S.FStartTime != 0, "ss");
  Add(S.FRecordingTime != INT64_MAX, "t");
  Add(S.FLimitFileSize != 0, "fs");
  Add(S.FMaxFrames[0] != INT_MAX, "vframes");
  Add(S.FMaxFrames[1] != INT_MAX, "aframes");
  return Names;
}

}  // namespace

void TTranscoder::CheckSomethingWritten() {
  TOptionState &S = FState;
  // A first pass is run for its statistics: some encoders (libvpx) give
  // no pictures in it at all.
  if (S.FDoPass == 1) return;
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    // The film's picture and sound are what counts; an output of nothing
    // else (subtitles alone) counts what it has, but a cover alone is no
    // conversion.
    int64_t Packets = 0, FilmPackets = 0;
    bool Film = false, Cover = false;
    for (const auto &Ost : FOutputStreams) {
      if (Ost->Mux->FileIndex() != I) continue;
      if (Ost->Mux->Stream()->disposition & AV_DISPOSITION_ATTACHED_PIC)
        Cover = true;
      else
        Packets += Ost->Mux->PacketsWritten();
      if (!Ost->Mux->FollowsFilm()) continue;
      Film = true;
      FilmPackets += Ost->Mux->PacketsWritten();
    }
    if (Film ? FilmPackets > 0 : Packets > 0) {
      for (const auto &Ost : FOutputStreams)
        if (Ost->Mux->FileIndex() == I && Ost->Mux->PacketsWritten() == 0 &&
            Ost->Mux->Type() != AVMEDIA_TYPE_ATTACHMENT)  // attachments have no packets
          FTask.Log(0, Format("Output stream #%d.%d (%s) received no packets", I, Ost->Mux->Index(),
                              LibAVUtil::av_get_media_type_string(Ost->Mux->Type())));
      CheckPicturesWritten(I);
      continue;
    }
    // A file without a single packet is no conversion, whatever made it so.
    S.FDiscardOutputs = true;
    if (FTask.FStopRequested) continue;
    if (!Film && Cover)
      throw FFMpegException(
          Format("Output file #%d (%s) would hold only a cover: there is no film, and no sound "
                 "was taken to convert",
                 I, S.FOutputFiles[I]->url));
    // The options that may have left nothing are named only when given.
    std::string Text =
        Format("Output file #%d (%s) is empty: nothing was encoded. The source may be damaged or too short",
               I, S.FOutputFiles[I]->url);
    const std::string Limits = LimitOptionsGiven(S);
    if (Limits.find(',') != std::string::npos)
      Text += ", or the options (" + Limits + ") leave nothing to convert";
    else if (!Limits.empty())
      Text += ", or the option " + Limits + " leaves nothing to convert";
    throw FFMpegException(Text);
  }
}

void TTranscoder::CheckPicturesWritten(int File) {
  // The output of a source with a picture, through a format that writes
  // one, holds pictures: sound alone from a film is a failure, not a
  // conversion. A run stopped before its first picture is no failure, but
  // its output, a moment of sound, goes as an empty one does.
  const auto Picture = [File](const std::unique_ptr<TOutputStream> &Ost) {
    return Ost->Mux->FileIndex() == File && Ost->Mux->Type() == AVMEDIA_TYPE_VIDEO && Ost->Mux->FollowsFilm();
  };
  bool Expected = false;
  for (const auto &Ost : FOutputStreams) {
    if (Picture(Ost) && Ost->Mux->PacketsWritten() > 0) return;
    Expected |= Picture(Ost);
  }
  if (!Expected) return;
  FState.FDiscardOutputs = true;
  if (FTask.FStopRequested) return;
  for (const auto &Ost : FOutputStreams) {
    if (!Picture(Ost)) continue;
    const TDecoder &Ist = *FInputStreams[Ost->SourceIndex];
    const TDecodeCounts &Counts = Ist.Counts();
    const char *Name = FState.FInputFiles[Ist.View().FileIndex]->url;
    // Pictures there were, decoded or copied: the options or the times of
    // the source left none.
    if (!Ost->Mux->Copies() ? Counts.FramesDecoded > 0 : Counts.PacketsRead > 0) {
      const std::string Limits = LimitOptionsGiven(FState);
      throw FFMpegException(
          Limits.empty()
              ? Format("no picture of %s reached the output: the times of its pictures may be damaged", Name)
              : Format("no picture of %s reached the output: the options (%s) leave none", Name,
                       Limits.c_str()));
    }
    const std::string Cause = Counts.LastError < 0      ? TAVProbe::ErrorDescription(Counts.LastError)
                              : Counts.PacketsRead == 0 ? "the file holds no picture data that can be read"
                                                        : "the decoder gave no picture";
    throw FFMpegException(Format("the picture of %s could not be decoded: %s", Name, Cause.c_str()));
  }
}

std::string TTranscoder::Shortfall() const {
  const TOptionState &S = FState;
  // Frame, size and sample limits end a run early on purpose; a first
  // pass may write no pictures at all.
  if (S.FLimitFileSize != 0 || S.FMaxFrames[0] != INT_MAX || S.FMaxFrames[1] != INT_MAX || S.FDoPass == 1)
    return "";
  struct TShort {
    int64_t Had = 0, Declared = 0;
    AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  } Worst;
  bool SomeWhole = false;
  for (const auto &Ost : FOutputStreams) {
    const TMuxer &Mux = *Ost->Mux;
    if (!Mux.FollowsFilm()) continue;
    // A track of which nothing at all was read is empty, not short.
    if (FInputStreams[Ost->SourceIndex]->Counts().PacketsRead == 0) continue;
    const TStreamView &Ist = FInputStreams[Ost->SourceIndex]->View();
    int64_t Declared = DeclaredLength(S.FInputFiles[Ist.FileIndex].get(), Ist.Stream);
    if (Declared < 0) continue;
    Declared -= S.FInputFilesStart[Ist.FileIndex] + S.FStartTime;
    if (S.FRecordingTime != INT64_MAX) Declared = std::min(Declared, S.FRecordingTime);
    if (Declared <= 0) continue;
    const int64_t Had = Mux.PacketsWritten() > 0 && Mux.FirstPts() != AV_NOPTS_VALUE
                            ? LibAVUtil::av_rescale_q(Mux.EndPts() - std::min(Mux.FirstPts(), Mux.EndPts()),
                                                      Mux.Stream()->time_base, Microseconds)
                            : 0;
    if (Declared - Had <= Tolerance(Declared)) {
      SomeWhole = true;
      continue;
    }
    if (Declared - Had > Worst.Declared - Worst.Had) Worst = {Had, Declared, Mux.Type()};
  }
  if (Worst.Declared == 0) return "";
  // Every stream short: the file ends early. One short among whole ones:
  // that stream is damaged.
  if (!SomeWhole)
    return Format("only %s of %s could be read; the source is cut short", Seconds(Worst.Had).c_str(),
                  Seconds(Worst.Declared).c_str());
  return Format("only %s of %s of the %s could be read; the rest of it is damaged",
                Seconds(Worst.Had).c_str(), Seconds(Worst.Declared).c_str(),
                Worst.Type == AVMEDIA_TYPE_VIDEO ? "picture" : "sound");
}

}  // namespace korvane
