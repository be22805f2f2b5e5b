// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a finished run's outputs hold what their sources declare: each
// picture and sound stream is measured against the length its source gives
// (of that stream, else of the file), less what the options skip or cut.
// A stream that falls short by more than a second and a twentieth is not a
// finished conversion: the file is kept, since it holds what could be read,
// and the run says how much that was.
#include <algorithm>
#include <climits>
#include <cmath>

#include "AVLibraries.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// The least shortfall that counts, microseconds: a second, or a twentieth
// of the length where that is more (encoders pad and trim the ends).
int64_t Tolerance(int64_t Length) { return std::max<int64_t>(1000000, Length / 20); }

// The length a source declares for one of its streams, microseconds, or
// -1 where it declares none worth measuring against: a length estimated
// from the bit rate is a guess from the file's size, which a cut file
// shrinks with it.
int64_t DeclaredLength(const AVFormatContext *Input, const AVStream *Stream) {
  if (Input->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return -1;
  if (Stream->duration != AV_NOPTS_VALUE && Stream->duration > 0)
    return LibAVUtil::av_rescale_q(Stream->duration, Stream->time_base, Microseconds);
  if (Input->duration != AV_NOPTS_VALUE && Input->duration > 0) return Input->duration;
  return -1;
}

std::string Seconds(int64_t Microseconds) {
  return Format("%.1f s", static_cast<double>(Microseconds) / 1000000.0);
}

}  // namespace

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
    if (!FollowsFilm(*Ost)) continue;
    const TInputStream &Ist = *FInputStreams[Ost->SourceIndex];
    int64_t Declared = DeclaredLength(S.FInputFiles[Ist.FileIndex].get(), Ist.Stream);
    if (Declared < 0) continue;
    Declared -= S.FInputFilesStart[Ist.FileIndex] + S.FStartTime;
    if (S.FRecordingTime != INT64_MAX) Declared = std::min(Declared, S.FRecordingTime);
    if (Declared <= 0) continue;
    const AVRational TimeBase = Ost->Stream->time_base;
    const int64_t Had = Ost->PacketsWritten > 0 && Ost->FirstPts != AV_NOPTS_VALUE
                            ? LibAVUtil::av_rescale_q(Ost->EndPts - std::min(Ost->FirstPts, Ost->EndPts),
                                                      TimeBase, Microseconds)
                            : 0;
    if (Declared - Had <= Tolerance(Declared)) {
      SomeWhole = true;
      continue;
    }
    if (Declared - Had > Worst.Declared - Worst.Had)
      Worst = {Had, Declared, Ost->Stream->codecpar->codec_type};
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
