// A conversion run of the window: the checked rows of the file list are
// converted one after another into the output folder, one task at a time.
// This class holds the run's state (its flags, the row walk, the outcome
// texts, the output names) and decides every step; the window only shows
// what it says and drives it from its buttons, its 100 ms timer and the
// component's events, which it hands over on the UI thread.
//
// Everything here runs on the UI thread. No toolkit: the window and the
// component are reached through the two interfaces below.
#pragma once

#include <cstdint>
#include <string>

#include "FFmpeg.h"
#include "OptionRecords.h"
#include "ProfileOptions.h"

namespace korvane {

// The window's choices a row is set up with.
struct TRunChoices {
  std::string OutputFolder;     // as the folder field shows it
  bool Overwrite = false;       // replace a file of the output's name
  std::string OutputExtension;  // of the selected profile, upper case ("MP4")
  const TProfileForm *Profile = nullptr;
  int VolumePosition = 5;  // of the volume bar
  bool LetterBox = false;  // "Video Zoom" is "LetterBox"
};

// What the run needs of the window.
class TRunWindow {
 public:
  virtual ~TRunWindow() = default;

  virtual int RowCount() const = 0;
  virtual bool RowChecked(int Row) const = 0;
  virtual std::string RowCaption(int Row) const = 0;
  virtual std::string RowVideoSize(int Row) const = 0;
  // The display aspect the row's file was probed with where its pixels are
  // not square, else 0.
  virtual double RowDisplayAspect(int Row) const = 0;
  // The quarter turn clockwise (0, 90, 180, 270) the row's picture is shown
  // with; its "Video Size" is that of the turned picture.
  virtual int RowRotation(int Row) const = 0;
  virtual void SetRowProgress(int Row, const std::string &Text) = 0;
  virtual void SetRowFrames(int Row, const std::string &Text) = 0;
  // Why a row failed: the engine's reason, shown with the row.
  virtual void SetRowReason(int Row, const std::string &Text) = 0;
  // A line the row's conversion logged, kept for its log.
  virtual void AppendRowLog(int Row, const std::string &Line) = 0;
  // Empties "Progress" and "Frames" of every row.
  virtual void ClearRowTexts() = 0;
  virtual void MakeRowVisible(int Row) = 0;

  // The progress bar at Percent (0 .. 100); -1 when the length of the
  // output is not known, so the bar can only say that work goes on.
  virtual void SetProgressBar(int Percent) = 0;
  virtual void SetStatusText(const std::string &Text) = 0;
  // An "Information" box with an OK button.
  virtual void ShowInformation(const std::string &Text) = 0;
  // "Stop all conversions?"; true for Yes.
  virtual bool ConfirmStop() = 0;
  // Lets the user choose the output folder (unless a run is on).
  virtual void BrowseForFolder() = 0;
  virtual void DisableWindow() = 0;
  virtual void EnableWindow() = 0;
  virtual void SetTimerEnabled(bool Enabled) = 0;
  virtual TRunChoices Choices() const = 0;
};

// The component's operations the run uses.
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

class TConversionRun {
 public:
  TConversionRun(TRunWindow &Window, TRunEngine &Engine) : FWindow(Window), FEngine(Engine) {}

  // "Convert Now !": checks that there are rows and an output folder, then
  // locks the window and sets up the first checked row. Adding tells
  // whether files are still being added (the click is then ignored).
  void ConvertClick(bool Adding);
  // A stop button: pauses the task, asks, and stops the run on Yes.
  void StopClick();
  // Stops the run without asking (the user has already said so).
  void Stop();
  // A tick of the 100 ms timer: starts the next row two ticks after the
  // last one ended, or ends the run after the last one.
  void TimerTick();
  // The component's events, on the UI thread.
  void Progress(const TProgressInfo &Info);
  // Message: the reason of a task that failed (Exception).
  void Terminate(int Index, bool Exception, const std::string &Message = "");
  // A line the current row's task logged.
  void Log(int Index, const std::string &Line);
  // The window removed row Row (-1: every row). The current row is followed
  // by identity, so a late event of its task (after a stop) reaches the row
  // it belongs to, or none when that row is gone.
  void RowRemoved(int Row);

  bool Converting() const { return FConverting; }
  bool QueueFinished() const { return FQueueFinished; }
  bool UserAbort() const { return FUserAbort; }
  int CurrentRow() const { return FCurrentRow; }

  // The texts the message boxes of a run show.
  static const char *const NoFilesText;
  static const char *const NoFolderText;
  static const char *const CompletedText;
  static const char *const AddFailedText;
  static const char *const NothingCheckedText;
  // The message at the end of a run: "All Conversions Completed" when
  // every row tried was converted, else how many were converted, failed
  // and stopped, or that no row was checked.
  std::string EndText() const;
  static std::string MissingFolderText(const std::string &Folder);

 private:
  // Sets up the next checked row and starts its task.
  void QueueStep();
  // The set-up of the current row; false when it failed (the row then
  // says "Fail"). Whether a task was created is reported through TaskMade.
  bool SetUpRow(bool &TaskMade);
  // After a row that got no task: ends the run when it was the last row,
  // otherwise lets the timer move on.
  void RowWithoutTask();
  // The end of a run the user stopped: nothing more starts, the task is
  // stopped (its output so far finished), the window is unlocked.
  void EndByStop();
  // Writes the current row's outcome ("Done", "Fail", "Abort") and counts
  // it; a failure's reason goes with it.
  void SetOutcome(const std::string &Text, const std::string &Reason = "");

  TRunWindow &FWindow;
  TRunEngine &FEngine;

  bool FConverting = false;     // a row is being set up or its task runs
  bool FUserAbort = false;      // the user confirmed the stop
  bool FQueueFinished = false;  // no further row is to be started
  bool FLastRow = false;        // the current row is the list's last
  int FCurrentRow = -1;
  int FTickCounter = 0;  // ticks waited before the next row
  struct {
    int Done = 0, Failed = 0, Stopped = 0;
  } FOutcomes;  // of the rows tried in this run
};

}  // namespace korvane
