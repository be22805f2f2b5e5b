// SPDX-License-Identifier: GPL-3.0-or-later
// The second half of a run: choosing the input that is most behind, reading
// and correcting its packets, the packet path through the decoders (or
// straight to the muxer for stream copy), and the end: draining, trailers,
// the last report.
#include <chrono>
#include <cmath>
#include <thread>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "NumberLimits.h"
#include "SubtitleTiming.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

double Seconds(int64_t Value, AVRational TimeBase) { return static_cast<double>(Value) * av_q2d(TimeBase); }

}  // namespace

void TCustomFFmpeg::Transcode() {
  TTranscoder Run(*this);
  try {
    Run.Setup();
    Run.Loop();
  } catch (...) {
    // An interrupted output is not a finished file: it goes when the task is cleared.
    FState.FDiscardOutputs = true;
    Run.CloseCodecs();
    throw;
  }
  Run.CloseCodecs();
}

bool TTranscoder::StartReached(const TInputStream &Ist) const {
  return FState.FStartTime == 0 || Ist.Pts >= FState.FStartTime;
}

void TTranscoder::CorrectTimestamps(TInputStream &Ist, AVPacket &Packet) {
  TOptionState &S = FState;
  const int FileIndex = Ist.FileIndex;
  const AVRational TimeBase = Ist.Stream->time_base;
  const int64_t Offset = LibAVUtil::av_rescale_q(S.FInputFilesTSOffset[FileIndex], Microseconds, TimeBase);
  const double Scale = Ist.StreamIndex < MaxStreams ? S.FInputFilesTSScale[FileIndex][Ist.StreamIndex] : 0;
  for (int64_t *Time : {&Packet.dts, &Packet.pts}) {
    if (*Time == AV_NOPTS_VALUE) continue;
    *Time += Offset;
    if (Scale != 0) *Time = std::llround(static_cast<double>(*Time) * Scale);
  }
  if (Packet.dts == AV_NOPTS_VALUE || Ist.NextPts == AV_NOPTS_VALUE || S.FCopyTS) return;
  const int64_t Dts = LibAVUtil::av_rescale_q(Packet.dts, TimeBase, Microseconds);
  const int64_t Delta = Dts - Ist.NextPts;
  const bool Leap = std::llabs(Delta) > SecondsToMicroseconds<int64_t>(S.FDTSDeltaThreshold);
  if (Leap && Ist.PacketsRead == 1) {
    // A leap right after a stream's first packet: that packet's time was
    // damaged, not the file's clock. Shifting the file would move every
    // later packet of every stream by the leap, and the outputs would fill
    // it with copies of the first picture.
    if (S.FVerbose >= 0)
      FTask.Log(0,
                Format("Time of the first packet of stream #%d.%d lies %.0f s from the next; ignored",
                       Ist.FileIndex, Ist.StreamIndex, static_cast<double>(std::llabs(Delta)) / 1000000.0));
    return;
  }
  if (Leap || Dts + 1 < Ist.Pts) {
    S.FInputFilesTSOffset[FileIndex] -= Delta;
    const int64_t Shift = LibAVUtil::av_rescale_q(Delta, Microseconds, TimeBase);
    Packet.dts -= Shift;
    if (Packet.pts != AV_NOPTS_VALUE) Packet.pts -= Shift;
    if (S.FVerbose >= 3)
      FTask.Log(1, Format("timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(Delta),
                          static_cast<long long>(S.FInputFilesTSOffset[FileIndex])));
  }
}

void TTranscoder::Loop() {
  TOptionState &S = FState;
  TPacketHolder Packet(LibAVCodec::av_packet_alloc());
  if (!Packet) throw FFMpegException("av_mallocz fail");
  FLastReport = S.FTimerStart;

  // The film's picture and sound set the pace; a subtitle track that ended
  // early must not hold the time limit off.
  bool Timed = false;
  for (const auto &Ost : FOutputStreams) Timed |= FollowsFilm(*Ost);
  while (!FTask.FStopRequested) {
    if (!FTask.ContinueAfterPause()) break;
    double SmallestInput = 1e100, SmallestOutput = 1e100, FilmOutput = 1e100;
    int Chosen = -1;
    for (const auto &OstHolder : FOutputStreams) {
      const TOutputStream &Ost = *OstHolder;
      const TInputStream &Ist = *FInputStreams[Ost.SourceIndex];
      const double OutputTime = Ost.Encoder && Ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO
                                    ? Seconds(Ost.SyncOpts, Ost.EncoderTimeBase)
                                    : Seconds(Ost.EndPts, Ost.Stream->time_base);
      const double InputTime = static_cast<double>(Ist.Pts);
      if (!FFiles[Ist.FileIndex].EofReached) {
        if (!Timed || FollowsFilm(Ost)) FilmOutput = std::min(FilmOutput, OutputTime);
        if (InputTime < SmallestInput) {
          SmallestInput = InputTime;
          if (S.FInputSync) Chosen = Ist.FileIndex;
        }
        if (OutputTime < SmallestOutput) {
          SmallestOutput = OutputTime;
          if (!S.FInputSync) Chosen = Ist.FileIndex;
        }
      }
      const int Kind = std::clamp(static_cast<int>(Ost.Stream->codecpar->codec_type), 0, 3);
      if (Ost.FrameNumber >= S.FMaxFrames[Kind]) {
        Chosen = -1;
        break;
      }
    }
    if (Chosen < 0) break;
    if (static_cast<double>(S.FRecordingTime) / 1000000.0 <= FilmOutput) break;
    if (S.FLimitFileSize != 0) {
      AVIOContext *IO = S.FOutputFiles[0]->pb;
      if (IO && LibAVFormat::avio_seek(IO, 0, SEEK_CUR) > S.FLimitFileSize) break;
    }

    TInputFile &File = FFiles[Chosen];
    if (LibAVFormat::av_read_frame(S.FInputFiles[Chosen].get(), Packet.get()) < 0) {
      File.EofReached = true;
      if (S.FShortest) break;
      continue;
    }
    if (S.FPktDump)
      LibAVFormat::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, Packet.get(), S.FHexDump,
                                    S.FInputFiles[Chosen]->streams[Packet->stream_index]);
    if (Packet->stream_index < File.StreamCount &&
        !FInputStreams[File.FirstStreamIndex + Packet->stream_index]->Discard) {
      TInputStream &Ist = *FInputStreams[File.FirstStreamIndex + Packet->stream_index];
      CorrectTimestamps(Ist, *Packet);
      if (ProcessPacket(Ist, Packet.get()) < 0) {
        if (S.FVerbose >= 0)
          FTask.Log(1, Format("Error while decoding stream #%d.%d", Ist.FileIndex, Ist.StreamIndex));
        LibAVCodec::av_packet_unref(Packet.get());
        continue;
      }
    }
    LibAVCodec::av_packet_unref(Packet.get());

    const int64_t Now = LibAVUtil::av_gettime();
    if (Now - FLastReport > FTask.FProgressIntervalUS) {
      FLastReport = Now;
      PrintReport(false);
    }
  }

  // The end, also after a stop: flush what the codecs hold so the files are whole.
  for (auto &Ist : FInputStreams)
    if (Ist->DecodingNeeded) ProcessPacket(*Ist, nullptr);
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    const int Result = LibAVFormat::av_write_trailer(S.FOutputFiles[I].get());
    if (Result < 0) throw FFMpegException(TAVProbe::OpenErrorText("av_write_trailer()", Result));
  }
  PrintReport(true);
  CloseOutputFiles();
  CloseCodecs();
  CheckSomethingWritten();
  FTask.FFinished = !FTask.FStopRequested;
  if (FTask.FFinished) {
    FTask.FShortfallText = Shortfall();
    if (!FTask.FShortfallText.empty()) FTask.Log(0, FTask.FShortfallText);
  }
}

int TTranscoder::ProcessPacket(TInputStream &Ist, AVPacket *Packet) {
  if (Packet) ++Ist.PacketsRead;
  // A stream's clock starts at its first packet: by its decode time, else
  // (Matroska gives none to the first pictures) by its presentation time.
  // Starting it at zero instead would make a start past the file's first
  // pictures look like time running backwards and shift the whole file.
  if (Ist.NextPts == AV_NOPTS_VALUE && Packet && Packet->dts == AV_NOPTS_VALUE &&
      Packet->pts != AV_NOPTS_VALUE)
    Ist.Pts = LibAVUtil::av_rescale_q(Packet->pts, Ist.Stream->time_base, Microseconds);
  if (Ist.NextPts == AV_NOPTS_VALUE) Ist.NextPts = Ist.Pts;
  if (Packet && Packet->dts != AV_NOPTS_VALUE)
    Ist.Pts = Ist.NextPts = LibAVUtil::av_rescale_q(Packet->dts, Ist.Stream->time_base, Microseconds);

  if (Ist.DecodingNeeded) {
    int Result;
    switch (Ist.Decoder->codec_type) {
      case AVMEDIA_TYPE_AUDIO: Result = DecodeAudio(Ist, Packet); break;
      case AVMEDIA_TYPE_VIDEO: Result = DecodeVideo(Ist, Packet); break;
      case AVMEDIA_TYPE_SUBTITLE: Result = DecodeSubtitle(Ist, Packet); break;
      default: return -1;
    }
    // The end of the stream reaches its encoders even when the decoder's
    // last frames failed: an encoder never told of the end may never let go.
    if (!Packet) DrainEncoders(Ist);
    return Result;
  }

  if (!Packet) return 0;
  // Stream copy: the packet goes on as it is; the clock advances by its length.
  Ist.Pts = Ist.NextPts;
  const AVCodecParameters *Parameters = Ist.Stream->codecpar;
  if (Packet->duration > 0) {
    Ist.NextPts += LibAVUtil::av_rescale_q(Packet->duration, Ist.Stream->time_base, Microseconds);
  } else if (Parameters->codec_type == AVMEDIA_TYPE_AUDIO && Parameters->sample_rate > 0) {
    Ist.NextPts += int64_t{1000000} * Parameters->frame_size / Parameters->sample_rate;
  } else if (Parameters->codec_type == AVMEDIA_TYPE_VIDEO && Ist.Stream->r_frame_rate.num > 0) {
    Ist.NextPts += LibAVUtil::av_rescale_q(1, {Ist.Stream->r_frame_rate.den, Ist.Stream->r_frame_rate.num},
                                           Microseconds);
  }
  EmulateRate(Ist);
  if (!StartReached(Ist)) return 0;
  for (auto &Ost : FOutputStreams)
    if (FInputStreams[Ost->SourceIndex].get() == &Ist && !Ost->EncodingNeeded) CopyPacket(*Ost, Ist, *Packet);
  return 0;
}

void TTranscoder::EmulateRate(TInputStream &Ist) {
  if (!Ist.RateEmu) return;
  // Data is passed on no faster than it plays: the time it belongs to,
  // counted from the stream's first, against the wall clock since set-up.
  if (Ist.FrameCount == 0) Ist.FirstPts = Ist.Pts;
  const int64_t Target = Ist.Pts - Ist.FirstPts;
  const int64_t Elapsed = LibAVUtil::av_gettime() - Ist.Start;
  if (Target - Elapsed > 50000) std::this_thread::sleep_for(std::chrono::microseconds(Target - Elapsed));
  ++Ist.FrameCount;
}

bool TTranscoder::BeforeTheStart(const TInputStream &Ist, const AVPacket &Packet) const {
  // With a start time the output's clock begins there. A copied picture
  // stream begins at the key frame before it, and the sound copied with it
  // keeps its time; with the pictures made anew, sound and subtitles that
  // are over by the start are left out, or they would come first and
  // shift the whole output by their time before the start.
  if (Packet.pts == AV_NOPTS_VALUE || FState.FInputFilesStart[Ist.FileIndex] == 0) return false;
  for (const auto &Ost : FOutputStreams)
    if (Ost->Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !Ost->EncodingNeeded) return false;
  const int64_t End = Packet.pts + std::max<int64_t>(Packet.duration, 0);
  return LibAVUtil::av_rescale_q(End, Ist.Stream->time_base, Microseconds) <= 0;
}

void TTranscoder::CopyPacket(TOutputStream &Ost, TInputStream &Ist, const AVPacket &Packet) {
  TOptionState &S = FState;
  // A cover kept as an attached file has its picture already, and no packets.
  if (Ost.Stream->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT) return;
  // A copy starts at a key frame: what comes before it cannot be decoded.
  if (Ost.FrameNumber == 0 && !(Packet.flags & AV_PKT_FLAG_KEY)) return;
  if (Ost.FrameNumber == 0 && Ist.Pts < -100000 && Ost.Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
    FTask.Log(0, Format("The copy starts at the key frame %.2f s before the start asked for: a copy can only "
                        "begin on a key frame",
                        static_cast<double>(-Ist.Pts) / 1000000.0));
  const AVMediaType Type = Ost.Stream->codecpar->codec_type;
  if (Type != AVMEDIA_TYPE_VIDEO && BeforeTheStart(Ist, Packet)) return;
  TPacketHolder Out(LibAVCodec::av_packet_alloc());
  if (!Out || LibAVCodec::av_packet_ref(Out.get(), &Packet) < 0) throw FFMpegException("av_mallocz fail");
  if (Type == AVMEDIA_TYPE_AUDIO)
    S.FAudioSize += Packet.size;
  else if (Type == AVMEDIA_TYPE_VIDEO) {
    S.FVideoSize += Packet.size;
    ++Ost.SyncOpts;
  }
  Out->stream_index = Ost.Index;
  const AVRational From = Ist.Stream->time_base, To = Ost.Stream->time_base;
  Out->pts = Packet.pts != AV_NOPTS_VALUE ? LibAVUtil::av_rescale_q(Packet.pts, From, To) : AV_NOPTS_VALUE;
  Out->dts = Packet.dts != AV_NOPTS_VALUE ? LibAVUtil::av_rescale_q(Packet.dts, From, To)
                                          : LibAVUtil::av_rescale_q(Ist.Pts, Microseconds, To);
  Out->duration = LibAVUtil::av_rescale_q(Packet.duration, From, To);
  if (Type == AVMEDIA_TYPE_SUBTITLE && Out->pts != AV_NOPTS_VALUE) {
    int64_t Start = LibAVUtil::av_rescale_q(Out->pts, To, Microseconds);
    int64_t End = Start + LibAVUtil::av_rescale_q(Out->duration, To, Microseconds);
    if (!FitSubtitle(Start, End, S.FRecordingTime)) return;
    if (Start != LibAVUtil::av_rescale_q(Out->pts, To, Microseconds)) {
      Out->pts = Out->dts = 0;
      Out->duration = LibAVUtil::av_rescale_q(End, Microseconds, To);
    }
  }
  WritePacket(Ost, *Out);
  ++Ost.FrameNumber;
}

void TTranscoder::DrainEncoders(TInputStream &Ist) {
  for (auto &OstHolder : FOutputStreams) {
    TOutputStream &Ost = *OstHolder;
    if (FInputStreams[Ost.SourceIndex].get() != &Ist || !Ost.EncodingNeeded || !Ost.Encoder) continue;
    if (Ost.Audio) {
      Ost.Audio->Finish();
    } else if (Ost.Video) {
      const int Written = Ost.Video->Finish();
      if (!FState.FVStatsFileName.empty() && Written > 0) WriteVideoStats(Ost, Written);
    } else {
      continue;  // subtitle encoders hold nothing back
    }
    // Then what the encoder still holds back.
    EncodeAndWrite(Ost, nullptr);
  }
}

}  // namespace korvane
