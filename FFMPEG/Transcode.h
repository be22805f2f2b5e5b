// SPDX-License-Identifier: GPL-3.0-or-later
// The run of one task: the scheduler that wires the input streams'
// decoders, the audio and video paths and the output streams' muxers, and
// runs the loop that feeds them. Everything here lives for one call of
// TCustomFFmpeg::Transcode and is used only on the thread that runs the task.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AudioPath.h"
#include "Decoder.h"
#include "FFmpeg.h"
#include "Muxer.h"
#include "VideoHooks.h"
#include "VideoPath.h"

namespace korvane {

struct TInputFile {
  bool EofReached = false;
  int FirstStreamIndex = 0;  // index of the file's stream 0 in the input stream table
  int StreamCount = 0;
};

// One output stream as the run wires it: the input stream that feeds it,
// the one whose clock it keeps in step with, its audio or video path where
// it is encoded (none for subtitles and copies) and its muxer.
struct TOutputStream {
  TStreamRef Source;    // the input stream it was made for, if any
  int SourceIndex = 0;  // entry of the input stream table that feeds it
  const TDecoder *SyncInput = nullptr;
  std::unique_ptr<TMuxer> Mux;
  std::unique_ptr<TAudioPath> Audio;
  std::unique_ptr<TVideoPath> Video;
};

class TTranscoder {
 public:
  explicit TTranscoder(TCustomFFmpeg &Task) : FTask(Task), FState(Task.State()) {}
  void Setup();
  void Loop();
  // Ends and frees the encoders, then the decoders; may be called again.
  void CloseCodecs();

 private:
  // Set-up steps
  void BuildInputTables();
  void MapStreams();
  // The input stream that feeds output stream N; -1 when there is none.
  int FindSource(size_t N);
  void DeriveParameters(TOutputStream &Ost, int Position);
  // An encoded stream's path (audio or video) and pass log.
  void StartEncoding(TOutputStream &Ost, const TDecoder &Ist, int Position);
  void OpenCodecs();

  // The loop: the input file to read next (-1: the run is over), and the
  // end, also after a stop: draining, trailers, the checks of the outputs.
  int ChooseInput(bool Timed);
  void Finish();

  // The outputs' checks
  // Raises the failure of a run that wrote no packet to an output (a
  // stopped one only has its outputs discarded).
  void CheckSomethingWritten();
  // Throws when output file File got no picture from a source that has one.
  void CheckPicturesWritten(int File);
  // Why a finished run's outputs hold much less than the sources declare
  // ("only 2.2 s of 6.0 s could be read; ..."), or empty when they do not.
  std::string Shortfall() const;

  // Progress; also publishes the run's totals in the option state.
  void PrintReport(bool IsLastReport);

  TCustomFFmpeg &FTask;
  TOptionState &FState;
  TVideoHooks FVideoHooks{FTask, FState};
  std::vector<TInputFile> FFiles;
  std::vector<std::unique_ptr<TDecoder>> FInputStreams;
  std::vector<std::unique_ptr<TOutputStream>> FOutputStreams;
  int64_t FLastReport = 0;
};

}  // namespace korvane
