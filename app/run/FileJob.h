// SPDX-License-Identifier: GPL-3.0-or-later
// One file's conversion from its start to its end, the same in the window
// and in korvane-convert: where its output goes and under which name (a
// complete output skipped, one a stop left unfinished replaced in its
// place, both as the output folder's journal says), its set-up, its runs
// (one, or those a target size takes: each try measured, corrected and
// coded again), starting and stopping its task, and its end: how it went,
// why, and what the files weigh. A front end holds one job for each file
// it converts at a time; its scheduler only chooses which file comes next
// and how many run at once. It hands the job the task's end and hears of
// the job through a small sink.
//
// Everything here runs on the thread that drives the front end. No
// toolkit: the component is reached through TRunEngine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ConversionOutcome.h"
#include "MediaFiles.h"
#include "OptionRecords.h"
#include "RowSetup.h"

namespace korvane {

class TAVProbe;
class TOutputJournal;

// The component's operations a conversion uses.
class TRunEngine {
 public:
  virtual ~TRunEngine() = default;
  virtual void ClearTasks() = 0;
  virtual int AddTask(const std::string &FileName, TInputOptions &Options) = 0;
  virtual bool SetTaskOutput(int Index, const std::string &FileName, TOutputOptions &Options) = 0;
  virtual void RemoveTask(int Index) = 0;
  virtual void StartTasks(int ParallelCount) = 0;
  virtual void PauseAllTasks() = 0;
  virtual void ResumeAllTasks() = 0;
  virtual void StopAllTasks() = 0;
  // The reason the last add or output set-up gave for failing.
  virtual std::string LastError() const = 0;
};

// The runs of a file that takes more than one, each an ordinary
// conversion, the next chosen once the one before ended whole. A target
// size's passes are such runs; a pass that measures the source before it
// is converted would be another kind.
class TFileRuns {
 public:
  virtual ~TFileRuns() = default;
  // The next run (the first before any ran); none once the output is in
  // its place, or when it cannot be: Error() says why.
  virtual std::optional<TConversionSetup> Next() = 0;
  virtual std::string Error() const = 0;
  // How the runs went, once the output is in its place.
  virtual std::string Summary() const = 0;
};

// How a file ended.
struct TFileJobEnd {
  TOutcome Outcome = TOutcome::Stopped;
  // Failed or partial: the engine's reason, or the set-up's. Skipped: why
  // ("converted already", "not media: a still picture"). Empty otherwise.
  std::string Reason;
  // What a converted output left out of its source; empty otherwise.
  std::string Note;
  // The file the task wrote, or the complete output found; empty when no
  // task started.
  std::string Output;
  bool NotMedia = false;     // skipped: its content is no sound or film
  int64_t Bytes = -1;        // the output's size; -1 without one, or when it failed
  int64_t SourceBytes = -1;  // the source's size; -1 when it cannot be read
};

// What a job tells its front end, and asks of it.
class TFileJobSink {
 public:
  virtual ~TFileJobSink() = default;
  // The facts the set-up reads of the file (its picture, length and sound
  // tracks), asked once its output is not complete already. Anything but
  // Media ends the file here with Reason: skipped as no media, or failed.
  virtual TMediaKind ReadFile(TFileRowTexts &Row, std::string &Reason) = 0;
  // A line for the file's log ("note: ..." with advice on its target size).
  virtual void Log(const std::string &Line) = 0;
  // The output is in its place at its size: how its runs got there ("2
  // passes, coded again once: 24.1 MB for 25 MB").
  virtual void SizeReached(const std::string &Summary) = 0;
  // The file's task exists: Output is its name from now on, and no other
  // file's.
  virtual void OutputClaimed(const std::string &) {}
  // Run number Run (from 1) starts now; its task's events follow.
  virtual void RunStarting(int Run, const std::string &Output) = 0;
  // The file's end, told once.
  virtual void Ended(const TFileJobEnd &End) = 0;
  // Whether the run was asked to stop: a file between two runs stops, and
  // one whose input gave up opening counts as stopped.
  virtual bool StopAsked() const = 0;
  // The journal cannot be written; Error says why.
  virtual void JournalFailed(const std::string &) {}
};

// What the jobs of one run share: the output folder's journal, which notes
// the outputs left incomplete in every run; with Skipping, complete outputs
// are skipped, the journal is read and kept as the run goes, and Probe
// measures the outputs it does not know.
struct TFileJobShared {
  TOutputJournal *Journal = nullptr;
  TAVProbe *Probe = nullptr;
  bool Skipping = false;
  bool KeptDate = false;  // the outputs take their sources' dates
};

// The file a job converts, and how.
struct TFileJobPlan {
  std::string Input;
  // Choices.OutputFolder is the run's; the output goes to Subfolder below it.
  TConversionChoices Choices;
  std::string Subfolder;
  TRowChoices Pick;
  // Its output's name planned for the whole batch; empty: it is named as it
  // is set up (as its input, when complete outputs are skipped).
  std::string Planned;
  // Its picture at this time, as PNG, instead of a conversion.
  std::optional<int64_t> PreviewMs;
  // The names other files of the run write, which this one never takes.
  std::function<bool(const std::string &)> Taken;
};

class TFileJob {
 public:
  // Idle until Begin; Ready: its first task is made, to start; Running: a
  // run's task is under way; BetweenRuns: one of several runs ended
  // whole, the next one waits for the task list's end; Ended: told.
  enum class TState { Idle, Ready, Running, BetweenRuns, Ended };

  TFileJob(TRunEngine &Engine, const TFileJobShared &Shared, TFileJobSink &Sink);
  ~TFileJob();
  TFileJob(const TFileJob &) = delete;
  TFileJob &operator=(const TFileJob &) = delete;

  // Finds the output (a complete one ends the file skipped), reads the
  // file, makes its folder, sets it up and makes the first run's task:
  // Ready, or Ended when any of that failed. Faults other than a target
  // the file cannot meet are raised, the state as far as it got (Ready
  // once the task exists).
  TState Begin(TFileJobPlan Plan);
  // Starts the task made; false when the file ended instead (a stop was
  // asked meanwhile, or it is not Ready).
  bool Start();
  // The end of the running task, as its front end judges it (OutcomeOf).
  // One of several runs that ended whole waits for NextRun; any other
  // end ends the file.
  TState TaskEnded(TOutcome Outcome, const std::string &Message, const std::string &Note);
  // After BetweenRuns, once the engine's task list has ended: clears it and
  // starts the next run (true), or ends the file with its output in place,
  // or failed or stopped (false).
  bool NextRun();
  // Ends the file with Outcome and Reason, whatever it was doing (the front
  // end caught a fault of its own).
  void Abandon(TOutcome Outcome, const std::string &Reason);

  TState State() const { return FState; }
  // The file's output, once it has a name.
  const std::string &Output() const { return FOutput; }
  // How it ended, once Ended.
  TOutcome Outcome() const { return FOutcome; }

 private:
  // Where the output goes, before the set-up names it; empty: named by the
  // set-up. False when it is complete already (the file ended skipped).
  bool ChooseOutput(const std::string &Folder, std::string &Output);
  // The set-up of the file's conversion; false when it ended here.
  bool SetUp(const std::string &Folder, const TFileRowTexts &Row, TConversionSetup &Setup);
  // Makes Run's task and its output; false when the file ended here.
  bool MakeTask(TConversionSetup &Run);
  // Starts the task made; false when a stop was asked meanwhile (the file
  // ended stopped).
  bool StartRun();
  void Finish(TOutcome Outcome, const std::string &Reason, const std::string &Note = "");

  TRunEngine &FEngine;
  const TFileJobShared FShared;
  TFileJobSink &FSink;
  TFileJobPlan FPlan;
  TState FState = TState::Idle;
  TOutcome FOutcome = TOutcome::Waiting;
  std::string FOutput;
  bool FStarted = false;  // its first run's task has started: the output is its own
  bool FNotMedia = false;
  int FStarts = 0;  // runs started
  // The runs of a file that takes several, while they last; the shortfall
  // and note of the run that ended last.
  std::unique_ptr<TFileRuns> FRuns;
  std::string FShortfall, FNote;
};

}  // namespace korvane
