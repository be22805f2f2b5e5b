// SPDX-License-Identifier: GPL-3.0-or-later
// What the window and korvane-convert both say of a conversion, by one
// rule: how a file's task ended, how many files ended each way, how fast a
// file converts and how long it has left, and whether the output folder
// can take outputs. No toolkit, so the command line links it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// How a file of a batch stands. Partial: finished, but the output holds
// much less than the source declares. Skipped: complete already, no media,
// a link loop or a folder that cannot be read: nothing to convert.
enum class TOutcome { Waiting, Running, Done, Partial, Failed, Stopped, Skipped };

// How the engine said a task ended.
struct TTaskEnd {
  bool Finished = true;    // it ran to its end; false: it was stopped
  bool Exception = false;  // it failed; Message says why
  // The failure, or for a finished task what its output fell short of.
  std::string Message;
  // What the output left out of its source because the container cannot
  // hold it ("the cover was left out: Opus files cannot hold one"). Said
  // with the row's end; a note leaves a done task done.
  std::string Note{};
};

// The outcome of an ended task. A failure is a failure even when the user
// stopped the run; a task stopped, or one whose run the user stopped, is
// stopped; a finished task with a shortfall is partial.
TOutcome OutcomeOf(const TTaskEnd &End, bool StoppedByUser = false);

// An output was written and is kept: done or partial.
inline bool Converted(TOutcome Outcome) { return Outcome == TOutcome::Done || Outcome == TOutcome::Partial; }

// What a row of the window's list shows in "Progress" for an outcome:
// "Done", "Partial", "Fail", "Abort", "Skipped"; empty while it waits or runs.
const char *RowOutcomeText(TOutcome Outcome);

// The files of a batch by how they ended.
struct TOutcomeCounts {
  int Done = 0, Partial = 0, Failed = 0, Stopped = 0, Skipped = 0;
  // Of the skipped, those whose content is no sound or film.
  int NotMedia = 0;
  void Count(TOutcome Outcome, bool IsNotMedia = false);
  int Ended() const { return Done + Partial + Failed + Stopped + Skipped; }
};

// How fast a file converts: times real time, and the seconds left of its
// length at that speed (-1 when the length is unknown). No speed (0) until
// a second of work tells.
struct TPace {
  double Speed = 0;
  int64_t SecondsLeft = -1;
};
TPace MeasurePace(int64_t DoneMs, int64_t TotalMs, double ElapsedSeconds);

// The seconds a batch has left: what is left of the files that run
// (LeftMs) and of those to come (ToComeMs), at the speed the files make
// together; -1 when a length or the speed is not known.
int64_t BatchSecondsLeft(int64_t LeftMs, int64_t ToComeMs, double Speed);

// "0:42", "4:00:02".
std::string TimeText(int64_t Seconds);
// "2.3x, 0:42 left"; without the time when it is not known, and empty
// before there is a speed.
std::string PaceText(const TPace &Pace);
// The status of a batch: which files of how many convert ("file 3 of 12",
// "files 3, 4 of 12"), the pace, and the time the whole batch has left
// when it is known (BatchSeconds >= 0).
std::string BatchText(const std::vector<int> &Files, int Total, const std::string &Pace,
                      int64_t BatchSeconds);

// Whether outputs can be written into a folder.
enum class TFolderState { Usable, Missing, ReadOnly };
TFolderState OutputFolderState(const std::string &Folder);

}  // namespace korvane
