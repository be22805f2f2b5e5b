// SPDX-License-Identifier: GPL-3.0-or-later
// The second half of a run: choosing the input that is most behind, reading
// its packets and handing each to its stream's decoder, and the end:
// draining, trailers, closing the files, the last report and the checks of
// what the outputs hold.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

// Closes the output files after their trailers, so that a failing last
// write is a failed run, not a quietly short file; the outputs take the
// first source's dates where the task keeps them (a clip stays filed under
// the day it was shot).
void CloseOutputFiles(TCustomFFmpeg &Task, const TOptionState &S) {
  struct stat Source {};
  const bool KeepDate = S.FKeepFileDate && S.FInputFileCount > 0 && stat(S.FInputFiles[0]->url, &Source) == 0;
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    AVFormatContext *Output = S.FOutputFiles[I].get();
    if ((Output->oformat->flags & AVFMT_NOFILE) || !Output->pb) continue;
    const int Result = LibAVFormat::avio_closep(&Output->pb);
    if (Result < 0)
      throw FFMpegException(
          Format("Could not close '%s': %s", Output->url, TAVProbe::ErrorDescription(Result).c_str()));
    const timespec Times[2] = {Source.st_atim, Source.st_mtim};
    if (KeepDate && utimensat(AT_FDCWD, Output->url, Times, 0) != 0)
      Task.Log(0, Format("The date of '%s' could not be set: %s", Output->url, std::strerror(errno)));
  }
}

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

int TTranscoder::ChooseInput(bool Timed) {
  const TOptionState &S = FState;
  double SmallestInput = 1e100, SmallestOutput = 1e100, FilmOutput = 1e100;
  int Chosen = -1;
  for (const auto &Ost : FOutputStreams) {
    const TMuxer &Mux = *Ost->Mux;
    const TStreamView &Ist = FInputStreams[Ost->SourceIndex]->View();
    const double OutputTime = Mux.OutputTime();
    const double InputTime = static_cast<double>(Ist.Pts);
    if (!FFiles[Ist.FileIndex].EofReached) {
      if (!Timed || Mux.FollowsFilm()) FilmOutput = std::min(FilmOutput, OutputTime);
      if (InputTime < SmallestInput) {
        SmallestInput = InputTime;
        if (S.FInputSync) Chosen = Ist.FileIndex;
      }
      if (OutputTime < SmallestOutput) {
        SmallestOutput = OutputTime;
        if (!S.FInputSync) Chosen = Ist.FileIndex;
      }
    }
    // A frame limit counts the film's pictures: a cover is no picture of it.
    const int Kind = std::clamp(static_cast<int>(Mux.Type()), 0, 3);
    if (Mux.Frames() >= S.FMaxFrames[Kind] && (Kind != AVMEDIA_TYPE_VIDEO || Mux.FollowsFilm())) return -1;
  }
  if (Chosen < 0) return -1;
  if (static_cast<double>(S.FRecordingTime) / 1000000.0 <= FilmOutput) return -1;
  if (S.FLimitFileSize != 0) {
    AVIOContext *IO = S.FOutputFiles[0]->pb;
    if (IO && LibAVFormat::avio_seek(IO, 0, SEEK_CUR) > S.FLimitFileSize) return -1;
  }
  return Chosen;
}

void TTranscoder::Loop() {
  TOptionState &S = FState;
  TPacketHolder Packet(LibAVCodec::av_packet_alloc());
  if (!Packet) throw FFMpegException("av_mallocz fail");
  FLastReport = S.FTimerStart;

  // The film's picture and sound set the pace; a subtitle track that ended
  // early must not hold the time limit off.
  bool Timed = false;
  for (const auto &Ost : FOutputStreams) Timed |= Ost->Mux->FollowsFilm();
  while (!FTask.FStopRequested) {
    if (!FTask.ContinueAfterPause()) break;
    const int Chosen = ChooseInput(Timed);
    if (Chosen < 0) break;
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
        FInputStreams[File.FirstStreamIndex + Packet->stream_index]->Used()) {
      TDecoder &Ist = *FInputStreams[File.FirstStreamIndex + Packet->stream_index];
      Ist.CorrectTimestamps(*Packet);
      if (Ist.Process(Packet.get()) < 0) {
        if (S.FVerbose >= 0)
          FTask.Log(
              1, Format("Error while decoding stream #%d.%d", Ist.View().FileIndex, Ist.View().StreamIndex));
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
  Finish();
}

void TTranscoder::Finish() {
  TOptionState &S = FState;
  // The end, also after a stop: flush what the codecs hold so the files are whole.
  for (auto &Ist : FInputStreams)
    if (Ist->Decodes()) Ist->Process(nullptr);
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    const int Result = LibAVFormat::av_write_trailer(S.FOutputFiles[I].get());
    if (Result < 0) throw FFMpegException(TAVProbe::OpenErrorText("av_write_trailer()", Result));
  }
  PrintReport(true);
  CloseOutputFiles(FTask, S);
  CloseCodecs();
  CheckSomethingWritten();
  FTask.FFinished = !FTask.FStopRequested;
  if (FTask.FFinished) {
    FTask.FShortfallText = Shortfall();
    if (!FTask.FShortfallText.empty()) FTask.Log(0, FTask.FShortfallText);
  }
}

}  // namespace korvane
