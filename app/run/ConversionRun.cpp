#include "ConversionRun.h"

#include <sys/stat.h>

#include <algorithm>

#include "FailureReasons.h"
#include "OutputNaming.h"
#include "RowSetup.h"

namespace korvane {

namespace {

std::string Trimmed(const std::string &Text) {
  const size_t First = Text.find_first_not_of(" \t");
  if (First == std::string::npos) return {};
  return Text.substr(First, Text.find_last_not_of(" \t") - First + 1);
}

bool DirectoryExists(const std::string &Path) {
  struct stat Status {};
  return !Path.empty() && stat(Path.c_str(), &Status) == 0 && S_ISDIR(Status.st_mode);
}

}  // namespace

const char *const TConversionRun::NoFilesText = "Please Add Files To Convert!";
const char *const TConversionRun::NoFolderText = "Please select an output folder!";
const char *const TConversionRun::CompletedText = "All Conversions Completed";
const char *const TConversionRun::AddFailedText = "Fail to add file to list!";
const char *const TConversionRun::NothingCheckedText = "No file was converted: no row is checked.";

std::string TConversionRun::EndText() const {
  const int Tried = FOutcomes.Done + FOutcomes.Failed + FOutcomes.Stopped;
  if (Tried == 0) return NothingCheckedText;
  if (Tried == FOutcomes.Done) return CompletedText;
  return "Conversions finished: " + std::to_string(FOutcomes.Done) + " converted, " +
         std::to_string(FOutcomes.Failed) + " failed, " + std::to_string(FOutcomes.Stopped) + " stopped.";
}

void TConversionRun::SetOutcome(const std::string &Text, const std::string &Reason) {
  if (FCurrentRow < 0 || FCurrentRow >= FWindow.RowCount()) return;
  FWindow.SetRowProgress(FCurrentRow, Text);
  if (!Reason.empty()) FWindow.SetRowReason(FCurrentRow, ExplainedFailure(Reason));
  ++(Text == "Done" ? FOutcomes.Done : Text == "Abort" ? FOutcomes.Stopped : FOutcomes.Failed);
}

std::string TConversionRun::MissingFolderText(const std::string &Folder) {
  // The line breaks are line feed then carriage return, as the message has
  // always had them.
  return "The output folder \"" + Folder +
         "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.";
}

void TConversionRun::ConvertClick(bool Adding) {
  if (Adding) return;
  FWindow.ClearRowTexts();
  if (FWindow.RowCount() == 0) {
    FWindow.ShowInformation(NoFilesText);
    return;
  }
  const TRunChoices Choices = FWindow.Choices();
  if (Choices.OutputFolder.empty()) {
    FWindow.ShowInformation(NoFolderText);
    FWindow.BrowseForFolder();
    return;
  }
  if (!DirectoryExists(Trimmed(Choices.OutputFolder))) {
    FWindow.ShowInformation(MissingFolderText(Choices.OutputFolder));
    FWindow.BrowseForFolder();
    return;
  }
  FConverting = true;
  FWindow.SetTimerEnabled(true);
  FUserAbort = false;
  FOutcomes = {};
  FWindow.DisableWindow();
  FCurrentRow = -1;
  QueueStep();
}

void TConversionRun::QueueStep() {
  FEngine.ClearTasks();
  FWindow.SetProgressBar(0);
  FQueueFinished = false;

  // The next checked row, or the last row checked or not. Check boxes are
  // read now, so rows checked or unchecked during the run count from here.
  const int Rows = FWindow.RowCount();
  ++FCurrentRow;
  while (FCurrentRow < Rows - 1 && !FWindow.RowChecked(FCurrentRow)) ++FCurrentRow;
  FLastRow = FCurrentRow >= Rows - 1;

  if (FCurrentRow >= Rows || !FWindow.RowChecked(FCurrentRow)) {
    // Only the last row can be unchecked here: nothing to start.
    FConverting = false;
  } else {
    bool TaskMade = false;
    bool SetUp = false;
    try {
      SetUp = SetUpRow(TaskMade);
    } catch (...) {
      FWindow.ShowInformation(AddFailedText);
      SetUp = TaskMade;
      if (!TaskMade) {
        SetOutcome("Fail", HandledExceptionText());
        RowWithoutTask();
      }
    }
    if (!SetUp) return;
  }

  try {
    FEngine.StartTasks(1);
  } catch (...) {
    // Nothing runs: end the run rather than leave the window waiting for an
    // end that will not come. The row did not convert, and the run says so.
    if (FCurrentRow < FWindow.RowCount() && FWindow.RowChecked(FCurrentRow))
      SetOutcome("Fail", HandledExceptionText());
    FEngine.StopAllTasks();
    FWindow.SetTimerEnabled(false);
    FWindow.EnableWindow();
    FWindow.ShowInformation(EndText());
    FConverting = false;
    FQueueFinished = true;
    return;
  }
  if (FLastRow) FQueueFinished = true;
}

bool TConversionRun::SetUpRow(bool &TaskMade) {
  const TRunChoices Choices = FWindow.Choices();
  const std::string Input = Trimmed(FWindow.RowCaption(FCurrentRow));
  const std::string Output =
      OutputFileName(Trimmed(Choices.OutputFolder), Input, Choices.OutputExtension, Choices.Overwrite);

  TInputOptions InputOptions;
  InputOptions.FileName = Input;
  InputOptions.StartTime = 0;
  const int Index = FEngine.AddTask(Input, InputOptions);
  if (Index < 0) {
    SetOutcome("Fail", FEngine.LastError());
    RowWithoutTask();
    return false;
  }
  TaskMade = true;

  // The source's picture as the row shows it: the shape "Original" keeps
  // where its pixels are not square, the size the letterbox fits, and
  // whether it is shown turned.
  TOutputOptions Options = RowConversionOptions(
      *Choices.Profile, Choices.VolumePosition, FWindow.RowVideoSize(FCurrentRow),
      FWindow.RowDisplayAspect(FCurrentRow), FWindow.RowRotation(FCurrentRow), Choices.LetterBox);
  if (!FEngine.SetTaskOutput(Index, Output, Options)) {
    SetOutcome("Fail", FEngine.LastError());
    FEngine.RemoveTask(Index);
    RowWithoutTask();
    return false;
  }
  return true;
}

void TConversionRun::RowWithoutTask() {
  if (FLastRow) {
    FWindow.SetTimerEnabled(false);
    FWindow.ShowInformation(EndText());
    FEngine.StopAllTasks();
    FWindow.SetProgressBar(0);
    FWindow.EnableWindow();
    FConverting = false;
    FQueueFinished = true;
    return;
  }
  FTickCounter = 0;
  FConverting = false;
}

void TConversionRun::TimerTick() {
  if (FConverting) return;
  if (FQueueFinished) {
    FWindow.SetTimerEnabled(false);
    FEngine.ClearTasks();
    FWindow.ShowInformation(EndText());
    FWindow.SetProgressBar(0);
    FWindow.EnableWindow();
    FConverting = false;
    return;
  }
  if (++FTickCounter < 2) return;
  FTickCounter = 0;
  FConverting = true;
  QueueStep();
}

void TConversionRun::Progress(const TProgressInfo &Info) {
  if (FCurrentRow < 0 || FCurrentRow >= FWindow.RowCount()) return;
  FWindow.MakeRowVisible(FCurrentRow);
  // Without a known length there is no honest percentage: the row then
  // shows the frames alone and the bar only that work goes on.
  const bool Known = Info.TotalOutputDuration > 0;
  const int64_t Percent =
      Known ? std::max<int64_t>(0, int64_t(Info.CurrentDuration) * 100 / Info.TotalOutputDuration) : -1;
  FWindow.SetRowProgress(FCurrentRow, Known ? std::to_string(std::min<int64_t>(Percent, 100)) + "%" : "");
  FWindow.SetStatusText("File Size : " + std::to_string(Info.CurrentSize) + " Bytes");
  FWindow.SetRowFrames(FCurrentRow, Info.FrameNumber == -1 ? " " : std::to_string(Info.FrameNumber));
  FWindow.SetProgressBar(Known ? int(std::min<int64_t>(Percent, 100)) : -1);
}

void TConversionRun::Terminate(int Index, bool Exception, const std::string &Message) {
  FConverting = false;
  // The component holds only the current row's task.
  if (Index >= 0) SetOutcome(Exception ? "Fail" : FUserAbort ? "Abort" : "Done", Exception ? Message : "");
  if (FQueueFinished && Index < 0) {
    FEngine.ClearTasks();
    FWindow.SetProgressBar(0);
    FConverting = false;
  }
}

void TConversionRun::Log(int Index, const std::string &Line) {
  if (Index >= 0 && FCurrentRow >= 0 && FCurrentRow < FWindow.RowCount())
    FWindow.AppendRowLog(FCurrentRow, Line);
}

void TConversionRun::RowRemoved(int Row) {
  if (Row < 0 || Row == FCurrentRow)
    FCurrentRow = -1;
  else if (Row < FCurrentRow)
    --FCurrentRow;
}

void TConversionRun::StopClick() {
  if (FConverting) {
    FEngine.PauseAllTasks();
    // The queue waits for the answer: no tick of the timer starts the next
    // row or ends the run while the question is open.
    FWindow.SetTimerEnabled(false);
    if (!FWindow.ConfirmStop()) {
      FEngine.ResumeAllTasks();
      FWindow.SetTimerEnabled(true);
      return;
    }
    FUserAbort = true;
  }
  EndByStop();
}

void TConversionRun::Stop() {
  if (FConverting) FUserAbort = true;
  EndByStop();
}

void TConversionRun::EndByStop() {
  FQueueFinished = true;
  FWindow.SetTimerEnabled(false);
  FEngine.StopAllTasks();
  FWindow.SetProgressBar(0);
  FWindow.EnableWindow();
  FConverting = false;
}

}  // namespace korvane
