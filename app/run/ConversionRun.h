// SPDX-License-Identifier: GPL-3.0-or-later
// A conversion run of the window: the checked rows of the file list are
// converted into the output folder, one after another, or several at once
// on lanes of their own (one component each, one task at a time). This
// class holds the run's state (its flags, the row walk, the lanes, the
// outcome texts) and decides which row comes next and when the run ends;
// each lane converts its row through a file job (FileJob.h), as
// korvane-convert converts its files. The window only shows what it says
// and drives it from its buttons, its 100 ms timer and the components'
// events, which it hands over on the UI thread.
//
// Everything here runs on the UI thread. No toolkit: the window is reached
// through the interface below, the component through TRunEngine.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ConversionOutcome.h"
#include "FileJob.h"
#include "FileTracks.h"
#include "OptionRecords.h"
#include "ProgressInfo.h"
#include "RowSetup.h"

namespace korvane {

class TAVProbe;
class TOutputJournal;

// The window's choices a row is set up with: those of any front end (the
// output folder as its field shows it, the extension upper case, "MP4"),
// and how many rows are converted side by side.
struct TRunChoices : TConversionChoices {
  int FilesAtOnce = 1;
  // Each output in the folder below the output folder that its file had
  // below the folder it was added with (RowSubfolder).
  bool KeepFolders = false;
  // Rows whose outputs are complete already are skipped (see
  // CheckExistingOutput); the outputs converted whole are noted for that.
  bool SkipComplete = false;
};

// What the run needs of the window.
class TRunWindow {
 public:
  virtual ~TRunWindow() = default;

  virtual int RowCount() const = 0;
  virtual bool RowChecked(int Row) const = 0;
  virtual std::string RowCaption(int Row) const = 0;
  // The row's picture as its file was probed: size, shape and turn as
  // shown, and its HDR kind; none for a file of sound alone.
  virtual TSourcePicture RowPicture(int Row) const = 0;
  // The row's "Duration" ("00:01:05", "Unknown"), for the time a batch has left.
  virtual std::string RowDuration(int Row) const = 0;
  // The folder the row's file was found in, below the folder it was added
  // with ("2024/june"); empty for a file added by itself.
  virtual std::string RowSubfolder(int) const { return {}; }
  // What the user chose to convert of the row's file: its tracks and a
  // time range.
  virtual TRowChoices RowChoices(int) const { return {}; }
  // The tracks and length the row's file was probed with: a target size
  // is shared over them.
  virtual TFileDetails RowDetails(int) const { return {}; }
  virtual void SetRowProgress(int Row, const std::string &Text) = 0;
  virtual void SetRowFrames(int Row, const std::string &Text) = 0;
  // Why a row failed or fell short: the engine's reason, shown with the row.
  virtual void SetRowReason(int Row, const std::string &Text) = 0;
  // The size of the output the row's conversion wrote, in bytes.
  virtual void SetRowOutputSize(int, int64_t) {}
  // A line the row's conversion logged, kept for its log.
  virtual void AppendRowLog(int Row, const std::string &Line) = 0;
  // Empties "Progress" and "Frames" of every row.
  virtual void ClearRowTexts() = 0;
  virtual void MakeRowVisible(int Row) = 0;

  // The progress bar at Percent (0 .. 100); -1 when the length of the
  // output is not known, so the bar can only say that work goes on.
  virtual void SetProgressBar(int Percent) = 0;
  // The output's size while files convert; how the run ended after it.
  virtual void SetStatusText(const std::string &Text) = 0;
  // The files being converted, and where the batch is with its pace ("file
  // 3 of 12, 2.3x, 0:42 left, batch 5:10 left"); empty texts once nothing
  // runs.
  virtual void SetStatusFile(const std::string &Text) = 0;
  virtual void SetStatusPace(const std::string &Text) = 0;
  // An "Information" box with an OK button.
  virtual void ShowInformation(const std::string &Text) = 0;
  // The message at the end of a run; when a file was converted it also
  // offers to open the output folder, and Sizes says what the files
  // converted weigh before and after (see SizesText).
  virtual void ShowRunEnd(const std::string &Text, bool Converted, const std::string &Sizes) = 0;
  // "Stop all conversions?"; true for Yes.
  virtual bool ConfirmStop() = 0;
  // Lets the user choose the output folder (unless a run is on).
  virtual void BrowseForFolder() = 0;
  virtual void DisableWindow() = 0;
  virtual void EnableWindow() = 0;
  virtual void SetTimerEnabled(bool Enabled) = 0;
  virtual TRunChoices Choices() const = 0;
};

class TConversionRun {
 public:
  TConversionRun(TRunWindow &Window, TRunEngine &Engine);
  ~TConversionRun();

  // The engines of the lanes after the first, for runs that convert several
  // files at once; each lane has one. Set between runs.
  void SetExtraEngines(const std::vector<TRunEngine *> &Engines);

  // "Convert Now !": checks that there are rows and an output folder, then
  // locks the window and sets up the first checked row. Adding tells
  // whether files are still being added (the click is then ignored).
  void ConvertClick(bool Adding);
  // A stop button: pauses the task, asks, and on Yes stops the tasks. The
  // run ends once they have ended, their outputs so far complete: until
  // then the status says StoppingText and the window stays locked; then
  // the stopped rows say "Abort" and the end message counts them.
  void StopClick();
  // Stops the run without asking and without waiting for the tasks' ends
  // or showing an end message: the window closes.
  void Stop();
  // A tick of the 100 ms timer: starts the next row two ticks after the
  // last one ended, or ends the run after the last one.
  void TimerTick();
  // The events of the component of lane Lane, on the UI thread.
  void Progress(const TProgressInfo &Info, int Lane = 0);
  // The end of task Index (-1: of the lane's task list), as the engine
  // told it. A task that finished with less than its source holds (a
  // Message without an Exception) leaves its row "Partial", its output kept.
  void Terminate(int Index, const TTaskEnd &End, int Lane = 0);
  // A line the task of lane Lane logged.
  void Log(int Index, const std::string &Line, int Lane = 0);
  // The window removed row Row (-1: every row). The lanes' rows are followed
  // by identity, so a late event of a task (after a stop) reaches the row
  // it belongs to, or none when that row is gone.
  void RowRemoved(int Row);

  // The conversion of row Row as a run would set it up now, with the
  // window's choices; for its preview (MakePreview) and its estimate.
  // ESizeRefused when the row cannot be brought to the size chosen.
  TConversionSetup RowSetup(int Row) const;
  // What the window tells of row Row's file, as SetUpConversion takes it.
  TFileRowTexts RowTexts(int Row) const;

  // A row is being set up or converted on some lane.
  bool Converting() const;
  // The row of the first lane.
  int CurrentRow() const { return FLanes[0].Row; }
  // The row lane Lane converts, or -1.
  int LaneRow(int Lane) const { return FLanes.at(size_t(Lane)).Row; }

  // The texts the message boxes of a run show, and the row's outcome for
  // a file whose output is complete already.
  static const char *const NoFilesText;
  static const char *const NoFolderText;
  static const char *const CompletedText;
  static const char *const AddFailedText;
  static const char *const NothingCheckedText;
  static const char *const SkippedText;
  // The message at the end of a run: "All Conversions Completed" when
  // every row tried was converted, else how many were converted, partly
  // converted (when any were), failed, stopped and skipped (when any were),
  // or that no row was checked.
  std::string EndText() const;
  static std::string MissingFolderText(const std::string &Folder);
  // The message when the output folder exists but no file can be made in it.
  static std::string ReadOnlyFolderText(const std::string &Folder);
  // What the files the last run converted weighed before and after: "12
  // files, 1.4 GB → 380 MB (1.0 GB saved)"; empty when none was converted.
  std::string SizesText() const;
  // The head of the message that refuses files a target size cannot fit,
  // before a run starts; a line per file follows with why.
  static const char *const SizeRefusedText;
  // The status while stopped tasks finish their outputs, and after.
  static const char *const StoppingText;
  static const char *const StoppedText;

 private:
  using TClock = std::chrono::steady_clock;
  // Where a run is: none under way; handing rows to the lanes; every row
  // handed out, waiting for the lanes to end; stopped by the user, waiting
  // for the stopped tasks to end.
  enum class TRunPhase { Idle, Converting, Finishing, Stopping };
  // How a run ends: its rows worked through; stopped by the user, every
  // task ended; or given up at once (the window closes, or nothing ran),
  // the tasks told to stop and no message shown.
  enum class TRunEnd { Worked, Stopped, GivenUp };
  // Where a lane is: no row; setting its row up; its task runs; its row
  // ended, the next one starts on the second tick.
  enum class TLanePhase { Idle, SettingUp, Running, Waiting };
  // A place where one row at a time is converted: the job of its row, and
  // what the window shows of it. It is the job's sink.
  struct TLane : TFileJobSink {
    TLane(TConversionRun &AOwner, TRunEngine *AEngine) : Owner(AOwner), Engine(AEngine) {}
    bool Busy() const { return Phase == TLanePhase::SettingUp || Phase == TLanePhase::Running; }
    // No row, as a run starts.
    void Reset();

    TMediaKind ReadFile(TFileRowTexts &Texts, std::string &Reason) override;
    void Log(const std::string &Line) override;
    void SizeReached(const std::string &Summary) override;
    void RunStarting(int Run, const std::string &Output) override;
    void Ended(const TFileJobEnd &End) override { Owner.EndRow(*this, End); }
    bool StopAsked() const override { return Owner.FUserAbort || Owner.FPhase == TRunPhase::Idle; }

    TConversionRun &Owner;
    TRunEngine *Engine;
    TLanePhase Phase = TLanePhase::Idle;
    int Row = -1;         // the row it converts or last converted
    int TickCounter = 0;  // ticks waited before its next row
    int Percent = 0;      // of its row's run; -1 when the length is unknown
    int64_t DoneMs = 0, TotalMs = 0;
    int64_t Size = 0;  // of its output so far, in bytes
    int Ordinal = 0;   // its row's place among the files of the run, from 1
    TClock::time_point Started;
    std::unique_ptr<TFileJob> Job;  // of its row, from its set-up on
  };

  // Sets up the next checked row on lane Lane and starts its task.
  void QueueStep(TLane &Lane);
  // Makes the job of the lane's row and sets the row up: Ready when its
  // task is to start; Ended when it failed (the row then says "Fail") or
  // its output is complete already ("Skipped").
  TFileJob::TState BeginRow(TLane &Lane);
  // The set-up of row Row with Choices (output folder and threads
  // decided); Taken as SetUpConversion has it.
  TConversionSetup SetUpRowConversion(int Row, const TConversionChoices &Choices,
                                      const std::function<bool(const std::string &)> &Taken) const;
  // After a row that got no task: lets the timer move on, or finishes the
  // run when that was the last row and no other lane runs.
  void RowWithoutTask(TLane &Lane);
  // The end of the lane's row as its job tells it: its outcome and reason,
  // what the output left out (to the row's reason and log), and for an
  // output that was written its size.
  void EndRow(TLane &Lane, const TFileJobEnd &End);
  // Before a run with a target size: false (after saying which files and
  // why) when a checked row cannot be brought to it.
  bool TargetsFit(const TRunChoices &Choices);
  // The user's stop: every task is told to stop, and the run finishes
  // once the last of them has ended.
  void BeginStop();
  // The one end of every run (see TRunEnd): the status and, unless given
  // up, the message say how it went. The window is unlocked either way.
  void FinishRun(TRunEnd End);
  // Writes the lane's row outcome ("Done", "Partial", "Fail", "Abort") and
  // counts it; the reason of a failure or a shortfall goes with it.
  void SetOutcome(TLane &Lane, TOutcome Outcome, const std::string &Reason = "");
  // The bar, the status file, the size and the batch's pace from the lanes
  // that run.
  void ShowLanes();
  // The checked rows after the last one handed out, and their length in
  // milliseconds (-1 when one of them has no known length).
  int RowsToCome(int64_t &Milliseconds) const;
  TLane *LaneAt(int Lane);

  TRunWindow &FWindow;
  // Each lane's job is its sink, so the lanes never move.
  std::deque<TLane> FLanes;
  int FActiveLanes = 1;  // the lanes this run uses

  TRunPhase FPhase = TRunPhase::Idle;
  bool FUserAbort = false;   // the user confirmed the stop: late ends say "Abort"
  int FWalk = -1;            // the last row handed to a lane
  int FHandedOut = 0;        // rows handed to lanes in this run
  TOutcomeCounts FOutcomes;  // of the rows tried in this run
  struct {
    int Files = 0;
    int64_t Sources = 0, Outputs = 0;  // bytes
  } FSizes;                            // of the rows converted in this run
  // The output folder's journal, which notes the outputs a run leaves
  // incomplete; while complete outputs are skipped (FSkipComplete) it is
  // read and kept as the run goes, with a probe to measure outputs it does
  // not know.
  std::unique_ptr<TOutputJournal> FJournal;
  std::unique_ptr<TAVProbe> FProbe;
  bool FSkipComplete = false;
  bool FKeepFileDate = false;  // the outputs take their sources' dates
};

}  // namespace korvane
