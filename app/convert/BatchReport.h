// SPDX-License-Identifier: GPL-3.0-or-later
// What korvane-convert tells of a batch: for people, progress lines and an
// end line per file on standard error, then the counts; with --json, one
// JSON object per line on standard output instead (start, progress, end,
// and the summary, always the last line). Log lines of the conversions go
// to standard error either way.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "ConversionOutcome.h"
#include "ProgressInfo.h"

namespace korvane::convert {

// A file as it ends.
struct TFileEnd {
  std::string Input, Output;  // Output empty when there is none
  TOutcome Outcome = TOutcome::Stopped;
  // Why it failed, fell short or was skipped, in one line; empty for none.
  std::string Reason;
  // What a converted output left out of its source ("the cover was left
  // out: Opus files cannot hold one"); empty for nothing.
  std::string Note;
  bool NotMedia = false;     // skipped: its content is no sound or film
  int64_t Bytes = -1;        // the output's size; -1 without an output
  int64_t SourceBytes = -1;  // the input's size; -1 when not known
  double Seconds = -1;       // how long it converted; -1 when it never started
};

// A file converting, for its progress line or event.
struct TFileProgress {
  size_t File = 0;  // its place in the batch
  std::string Input;
  TProgressInfo Progress;
  std::chrono::steady_clock::time_point Started;  // its first progress
  std::chrono::steady_clock::time_point Began;    // its task
};

// The files of a batch by how they ended; a file that never ended counts
// as stopped.
struct TBatchCounts : TOutcomeCounts {
  int Files = 0;
  void Count(TOutcome Outcome, bool NotMedia);
  // 0 all done, 1 a file failed or is partial, 128 + the signal when
  // stopped by one.
  int ExitStatus(int StopSignal) const;
};

// The summary event of --json, the last line of every request: the counts
// of the files the request went through (all 0 for one that takes none,
// or that was refused) and the program's exit status.
std::string JsonSummaryLine(const TBatchCounts &Counts, int ExitStatus);
// Under --json, what ends a request that was refused or could not go on:
// an "error" event with Message, then the summary with ExitStatus.
void PrintJsonError(const std::string &Message, int ExitStatus);

class TBatchReport {
 public:
  TBatchReport(bool Json, std::string Profile);

  bool Json() const { return FJson; }
  // A line a conversion logged, after the name of its file.
  void Log(const std::string &Name, const std::string &Message);
  void Started(const std::string &Input, const std::string &Output);
  // The files converting now: people get a line each, redrawn in place on
  // a terminal; --json gets a progress event of a file at most every half
  // second.
  void Progress(const std::vector<TFileProgress> &Files);
  void Ended(const TFileEnd &End);
  void Summary(const TBatchCounts &Counts, int ExitStatus);
  // The summary from the signal watcher's thread when a second signal ends
  // the program at once: written only when no other line is being written,
  // and the report takes no line after it.
  void LastSummary(const TBatchCounts &Counts, int ExitStatus);

 private:
  void Write(const std::string &Line, FILE *To);
  void ClearProgress();
  std::string SummaryLine(const TBatchCounts &Counts, int ExitStatus) const;

  const bool FJson;
  const std::string FProfile;
  const bool FTerminal;
  std::timed_mutex FLock;  // one line at a time, from any thread
  size_t FDrawn = 0;       // progress lines on the terminal now (FLock)
  // The files converted (done or partly) and their sizes before and after (FLock).
  int FConverted = 0;
  double FSourceBytes = 0, FOutputBytes = 0;
  std::unordered_map<size_t, std::chrono::steady_clock::time_point> FLastSent;  // (FLock)
};

}  // namespace korvane::convert
