// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConversionRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>
#include <utility>

#include "AVProbe.h"
#include "CompleteOutputs.h"
#include "CoreShare.h"
#include "FFMpegException.h"
#include "FailureReasons.h"
#include "RowSetup.h"

namespace korvane {

namespace {

std::string Trimmed(const std::string &Text) {
  const size_t First = Text.find_first_not_of(" \t");
  if (First == std::string::npos) return {};
  return Text.substr(First, Text.find_last_not_of(" \t") - First + 1);
}

// A row's "Duration" in milliseconds: "00:01:05" is 65000. An empty text
// (a file that could not be read, which fails at once) counts as nothing;
// "Unknown" and anything else as -1.
int64_t DurationMs(const std::string &Text) {
  if (Trimmed(Text).empty()) return 0;
  int Hours = 0, Minutes = 0, Seconds = 0;
  char End = 0;
  if (std::sscanf(Text.c_str(), "%d:%d:%d%c", &Hours, &Minutes, &Seconds, &End) != 3 || Hours < 0 ||
      Minutes < 0 || Seconds < 0)
    return -1;
  return ((int64_t(Hours) * 60 + Minutes) * 60 + Seconds) * 1000;
}

}  // namespace

const char *const TConversionRun::NoFilesText = "Please Add Files To Convert!";
const char *const TConversionRun::NoFolderText = "Please select an output folder!";
const char *const TConversionRun::CompletedText = "All Conversions Completed";
const char *const TConversionRun::AddFailedText = "Fail to add file to list!";
const char *const TConversionRun::NothingCheckedText = "No file was converted: no row is checked.";
const char *const TConversionRun::StoppingText = "Stopping...";
const char *const TConversionRun::StoppedText = "Conversions stopped";
const char *const TConversionRun::SkippedText = "Skipped";
const char *const TConversionRun::SizeRefusedText =
    "These files cannot be converted to the size chosen. Choose a larger size, or uncheck them:";

TConversionRun::TConversionRun(TRunWindow &Window, TRunEngine &Engine) : FWindow(Window) {
  FLanes.emplace_back(*this, &Engine);
}

TConversionRun::~TConversionRun() = default;

std::string TConversionRun::EndText() const {
  const int Tried = FOutcomes.Ended();
  if (Tried == 0) return NothingCheckedText;
  if (Tried == FOutcomes.Done) return CompletedText;
  // Rows skipped because their outputs are complete are named only where
  // there are any, as the partial ones are.
  const std::string Skipped =
      FOutcomes.Skipped > 0 ? ", " + std::to_string(FOutcomes.Skipped) + " skipped (converted already)" : "";
  // Files that fell short are named only where there are any, so the
  // message of a run without them reads as it always has.
  const std::string Partial =
      FOutcomes.Partial > 0 ? std::to_string(FOutcomes.Partial) + " partial, " : std::string();
  return "Conversions finished: " + std::to_string(FOutcomes.Done) + " converted, " + Partial +
         std::to_string(FOutcomes.Failed) + " failed, " + std::to_string(FOutcomes.Stopped) + " stopped" +
         Skipped + ".";
}

std::string TConversionRun::SizesText() const {
  if (FSizes.Files == 0) return {};
  const int64_t Change = FSizes.Outputs - FSizes.Sources;
  return std::to_string(FSizes.Files) + (FSizes.Files == 1 ? " file, " : " files, ") +
         ByteSizeText(double(FSizes.Sources)) + " \u2192 " + ByteSizeText(double(FSizes.Outputs)) + " (" +
         ByteSizeText(double(std::abs(Change))) + (Change > 0 ? " added)" : " saved)");
}

void TConversionRun::SetExtraEngines(const std::vector<TRunEngine *> &Engines) {
  while (FLanes.size() > 1) FLanes.pop_back();
  for (TRunEngine *Engine : Engines) FLanes.emplace_back(*this, Engine);
}

bool TConversionRun::Converting() const {
  return std::any_of(FLanes.begin(), FLanes.end(), [](const TLane &L) { return L.Busy(); });
}

TConversionRun::TLane *TConversionRun::LaneAt(int Lane) {
  return Lane >= 0 && size_t(Lane) < FLanes.size() ? &FLanes[size_t(Lane)] : nullptr;
}

void TConversionRun::SetOutcome(TLane &Lane, TOutcome Outcome, const std::string &Reason) {
  // Counted even when its row has been removed: the file was tried.
  FOutcomes.Count(Outcome);
  if (Lane.Row < 0 || Lane.Row >= FWindow.RowCount()) return;
  FWindow.SetRowProgress(Lane.Row, RowOutcomeText(Outcome));
  if (!Reason.empty())
    FWindow.SetRowReason(Lane.Row, ExplainedFailure(Reason, Trimmed(FWindow.RowCaption(Lane.Row))));
}

std::string TConversionRun::MissingFolderText(const std::string &Folder) {
  // The line breaks are line feed then carriage return, as the message has
  // always had them.
  return "The output folder \"" + Folder +
         "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.";
}

std::string TConversionRun::ReadOnlyFolderText(const std::string &Folder) {
  return "The output folder \"" + Folder +
         "\" cannot be written to.\nPlease choose an output folder you can write to.";
}

void TConversionRun::ConvertClick(bool Adding) {
  // A run, or the stop of one, is under way: no second run starts beside it.
  if (Adding || FPhase != TRunPhase::Idle) return;
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
  // The folder is checked before anything starts: a folder that cannot
  // take outputs would fail every row one after another.
  if (const TFolderState State = OutputFolderState(Trimmed(Choices.OutputFolder));
      State != TFolderState::Usable) {
    FWindow.ShowInformation(State == TFolderState::Missing ? MissingFolderText(Choices.OutputFolder)
                                                           : ReadOnlyFolderText(Choices.OutputFolder));
    FWindow.BrowseForFolder();
    return;
  }
  if (!TargetsFit(Choices)) return;
  FActiveLanes = std::clamp(Choices.FilesAtOnce, 1, int(FLanes.size()));
  for (TLane &Lane : FLanes) Lane.Reset();
  FWindow.SetTimerEnabled(true);
  FPhase = TRunPhase::Converting;
  FUserAbort = false;
  FOutcomes = {};
  FSizes = {};
  FJournal = std::make_unique<TOutputJournal>(Trimmed(Choices.OutputFolder));
  FProbe.reset();
  FSkipComplete = Choices.SkipComplete;
  FKeepFileDate = Choices.KeepFileDate;
  if (FSkipComplete) FProbe = std::make_unique<TAVProbe>();
  FWindow.DisableWindow();
  FWalk = -1;
  FHandedOut = 0;
  // Every lane starts at once, each with the next checked row.
  for (int I = 0; I < FActiveLanes && FPhase == TRunPhase::Converting; ++I) QueueStep(FLanes[size_t(I)]);
}

void TConversionRun::QueueStep(TLane &Lane) {
  Lane.Phase = TLanePhase::SettingUp;
  Lane.Engine->ClearTasks();
  Lane.Percent = 0;
  Lane.DoneMs = Lane.TotalMs = Lane.Size = 0;
  if (FActiveLanes == 1) FWindow.SetProgressBar(0);

  bool Ready = false;
  for (;;) {
    // The next checked row, or the last row checked or not. Check boxes are
    // read now, so rows checked or unchecked during the run count from here.
    const int Rows = FWindow.RowCount();
    int Row = FWalk + 1;
    while (Row < Rows - 1 && !FWindow.RowChecked(Row)) ++Row;
    FWalk = Lane.Row = Row;
    Lane.Job.reset();
    if (Row >= Rows - 1) FPhase = TRunPhase::Finishing;

    if (Row >= Rows || !FWindow.RowChecked(Row)) {
      // Only the last row can be unchecked here: nothing to start.
      Lane.Phase = TLanePhase::Idle;
      break;
    }
    Lane.Ordinal = ++FHandedOut;
    if (BeginRow(Lane) == TFileJob::TState::Ready) {
      Ready = true;
      break;
    }
    // A row whose output is complete takes no time: the next row follows
    // at once, not after the timer's pause between rows.
    if (Lane.Job->Outcome() == TOutcome::Skipped && FPhase == TRunPhase::Converting) continue;
    RowWithoutTask(Lane);
    return;
  }

  try {
    // Without a row the engine's empty task list ends at once.
    if (!Ready)
      Lane.Engine->StartTasks(1);
    else if (!Lane.Job->Start())
      RowWithoutTask(Lane);
  } catch (...) {
    // Nothing runs: end the run rather than leave the window waiting for an
    // end that will not come. The row did not convert, and the run says so.
    if (Ready && Lane.Row < FWindow.RowCount() && FWindow.RowChecked(Lane.Row))
      Lane.Job->Abandon(TOutcome::Failed, HandledExceptionText());
    for (int I = 0; I < FActiveLanes; ++I) FLanes[size_t(I)].Engine->StopAllTasks();
    FinishRun(TRunEnd::Worked);
  }
}

TFileJob::TState TConversionRun::BeginRow(TLane &Lane) {
  const TRunChoices Choices = FWindow.Choices();
  TFileJobPlan Plan;
  Plan.Input = Trimmed(FWindow.RowCaption(Lane.Row));
  Plan.Choices = Choices;
  Plan.Choices.OutputFolder = Trimmed(Choices.OutputFolder);
  // Each output in the folder below the output folder that its file had
  // below the folder it was added with.
  if (Choices.KeepFolders) Plan.Subfolder = FWindow.RowSubfolder(Lane.Row);
  Plan.Pick = FWindow.RowChoices(Lane.Row);
  // Files side by side share the cores, as korvane-convert's jobs do.
  if (FActiveLanes > 1)
    Plan.Choices.CodecThreads =
        ShareCores(FActiveLanes, size_t(FActiveLanes), std::thread::hardware_concurrency()).ThreadsPerTask;
  // Files converted side by side never write one output, even when
  // overwriting (two files of one name from different folders).
  Plan.Taken = [this, &Lane](const std::string &Name) {
    return std::any_of(FLanes.begin(), FLanes.end(), [&](const TLane &Other) {
      return &Other != &Lane && Other.Busy() && Other.Job && Other.Job->Output() == Name;
    });
  };
  Lane.Job = std::make_unique<TFileJob>(
      *Lane.Engine, TFileJobShared{FJournal.get(), FProbe.get(), FSkipComplete, FKeepFileDate}, Lane);
  try {
    return Lane.Job->Begin(std::move(Plan));
  } catch (...) {
    // A task that was made is started all the same: it fails on its own,
    // with its reason.
    FWindow.ShowInformation(AddFailedText);
    if (Lane.Job->State() != TFileJob::TState::Ready)
      Lane.Job->Abandon(TOutcome::Failed, HandledExceptionText());
    return Lane.Job->State();
  }
}

void TConversionRun::EndRow(TLane &Lane, const TFileJobEnd &End) {
  if (End.Outcome == TOutcome::Skipped) {
    FWindow.SetRowProgress(Lane.Row, SkippedText);
    FWindow.SetRowReason(Lane.Row, "Converted already: " + End.Output);
    FOutcomes.Count(TOutcome::Skipped);
    return;
  }
  const std::string &Note = End.Note;
  SetOutcome(Lane, End.Outcome,
             Note.empty()         ? End.Reason
             : End.Reason.empty() ? Note
                                  : End.Reason + "\n" + Note);
  if (Lane.Row < 0 || Lane.Row >= FWindow.RowCount()) return;
  if (!Note.empty()) FWindow.AppendRowLog(Lane.Row, "note: " + Note);
  if (!Converted(End.Outcome) || End.Bytes < 0) return;
  FWindow.SetRowOutputSize(Lane.Row, End.Bytes);
  if (End.SourceBytes < 0) return;
  ++FSizes.Files;
  FSizes.Sources += End.SourceBytes;
  FSizes.Outputs += End.Bytes;
}

void TConversionRun::TLane::Reset() {
  Phase = TLanePhase::Idle;
  Row = -1;
  TickCounter = Percent = Ordinal = 0;
  DoneMs = TotalMs = Size = 0;
  Started = {};
  Job.reset();
}

TMediaKind TConversionRun::TLane::ReadFile(TFileRowTexts &Texts, std::string &) {
  Texts = Owner.RowTexts(Row);
  return TMediaKind::Media;
}

void TConversionRun::TLane::Log(const std::string &Line) {
  if (Row >= 0 && Row < Owner.FWindow.RowCount()) Owner.FWindow.AppendRowLog(Row, Line);
}

void TConversionRun::TLane::SizeReached(const std::string &Summary) { Log("Size: " + Summary); }

void TConversionRun::TLane::RunStarting(int Run, const std::string &) {
  if (Run > 1) {
    Percent = 0;
    DoneMs = TotalMs = Size = 0;
    return;
  }
  Phase = TLanePhase::Running;
  Started = TClock::now();
  Owner.ShowLanes();
}

bool TConversionRun::TargetsFit(const TRunChoices &Choices) {
  if (Choices.TargetBytes == 0 &&
      !(Choices.Profile && FileSizeItemBytes(Choices.Profile->ComboVideoBitrate.Text())))
    return true;
  TConversionChoices Conversion = Choices;
  Conversion.OutputFolder = Trimmed(Choices.OutputFolder);
  constexpr int Named = 10;  // files named in the message; the rest are counted
  std::string Lines;
  int Refused = 0;
  for (int Row = 0; Row < FWindow.RowCount(); ++Row) {
    // A file that could not be read fails in its turn, as always.
    if (!FWindow.RowChecked(Row) || Trimmed(FWindow.RowDuration(Row)).empty()) continue;
    try {
      (void)SetUpRowConversion(Row, Conversion, {});
    } catch (const ESizeRefused &E) {
      if (++Refused <= Named) Lines += "\n" + Trimmed(FWindow.RowCaption(Row)) + ": " + E.what();
    } catch (...) {
      // Any other fault of the set-up fails the row in its turn, with its reason.
    }
  }
  if (Refused == 0) return true;
  if (Refused > Named) Lines += "\nand " + std::to_string(Refused - Named) + " more";
  FWindow.ShowInformation(SizeRefusedText + Lines);
  return false;
}

TFileRowTexts TConversionRun::RowTexts(int RowIndex) const {
  // The source's picture as the row shows it: the shape "Original" keeps
  // where its pixels are not square, the size the letterbox fits, and
  // whether it is shown turned; its length and sound tracks, which a
  // target size is shared over.
  TFileRowTexts Row;
  Row.Picture = FWindow.RowPicture(RowIndex);
  const TFileDetails Details = FWindow.RowDetails(RowIndex);
  Row.LengthUs = Details.LengthMs >= 0 ? Details.LengthMs * 1000 : -1;
  Row.AudioTracks = int(std::count_if(Details.Tracks.begin(), Details.Tracks.end(),
                                      [](const TTrackInfo &Track) { return Track.Audio; }));
  return Row;
}

TConversionSetup TConversionRun::SetUpRowConversion(
    int RowIndex, const TConversionChoices &Choices,
    const std::function<bool(const std::string &)> &Taken) const {
  return SetUpConversion(Trimmed(FWindow.RowCaption(RowIndex)), RowTexts(RowIndex), Choices, Taken,
                         FWindow.RowChoices(RowIndex));
}

TConversionSetup TConversionRun::RowSetup(int Row) const {
  TConversionChoices Choices = FWindow.Choices();
  Choices.OutputFolder = Trimmed(Choices.OutputFolder);
  return SetUpRowConversion(Row, Choices, {});
}

void TConversionRun::RowWithoutTask(TLane &Lane) {
  Lane.TickCounter = 0;
  Lane.Phase = TLanePhase::Waiting;
  // After the last row the run ends now, unless another lane still runs:
  // its end finishes the run through the timer.
  if (FPhase == TRunPhase::Finishing && !Converting()) {
    Lane.Engine->StopAllTasks();
    FinishRun(TRunEnd::Worked);
  }
}

void TConversionRun::BeginStop() {
  FPhase = TRunPhase::Stopping;
  FWindow.SetTimerEnabled(false);
  for (int I = 0; I < FActiveLanes; ++I) FLanes[size_t(I)].Engine->StopAllTasks();
  // The files still name what is being finished; the window stays locked.
  FWindow.SetStatusText(StoppingText);
  FWindow.SetStatusPace("");
  if (!Converting()) FinishRun(TRunEnd::Stopped);
}

void TConversionRun::FinishRun(TRunEnd End) {
  FPhase = TRunPhase::Idle;
  FWindow.SetTimerEnabled(false);
  for (int I = 0; I < FActiveLanes; ++I) {
    TLane &Lane = FLanes[size_t(I)];
    // A task given up finishes its output and reports its end later ("Abort").
    if (End == TRunEnd::GivenUp)
      Lane.Engine->StopAllTasks();
    else
      Lane.Engine->ClearTasks();
    Lane.Phase = TLanePhase::Idle;
  }
  // The bars say how the run ended before its message comes: a batch worked
  // through is full, a stopped one empty, and the status keeps the end
  // rather than the last file's size.
  const bool Worked = End == TRunEnd::Worked;
  FWindow.SetProgressBar(Worked && FHandedOut > 0 ? 100 : 0);
  FWindow.SetStatusText(Worked ? EndText() : StoppedText);
  FWindow.SetStatusFile("");
  FWindow.SetStatusPace("");
  if (End != TRunEnd::GivenUp)
    FWindow.ShowRunEnd(EndText(), FOutcomes.Done + FOutcomes.Partial > 0, SizesText());
  FWindow.EnableWindow();
}

void TConversionRun::TimerTick() {
  if (FPhase == TRunPhase::Idle || FPhase == TRunPhase::Stopping) return;
  if (FPhase == TRunPhase::Finishing) {
    if (!Converting()) FinishRun(TRunEnd::Worked);
    return;
  }
  for (int I = 0; I < FActiveLanes && FPhase == TRunPhase::Converting; ++I) {
    TLane &Lane = FLanes[size_t(I)];
    if (Lane.Busy() || ++Lane.TickCounter < 2) continue;
    Lane.TickCounter = 0;
    QueueStep(Lane);
  }
}

int TConversionRun::RowsToCome(int64_t &Milliseconds) const {
  int Count = 0;
  Milliseconds = 0;
  for (int Row = FWalk + 1; Row < FWindow.RowCount(); ++Row) {
    if (!FWindow.RowChecked(Row)) continue;
    ++Count;
    const int64_t Length = DurationMs(FWindow.RowDuration(Row));
    Milliseconds = Length < 0 || Milliseconds < 0 ? -1 : Milliseconds + Length;
  }
  return Count;
}

void TConversionRun::ShowLanes() {
  // While a stop is under way the status says so.
  if (FPhase == TRunPhase::Stopping) return;
  int Sum = 0, Known = 0;
  double Speed = 0;      // of the files together
  int64_t Longest = -1;  // the time left of the file that ends last
  int64_t LeftMs = 0;    // of the files that run; -1 when one length is unknown
  int64_t Size = 0;
  std::vector<int> Ordinals;
  std::string Files;
  const TClock::time_point Now = TClock::now();
  for (int I = 0; I < FActiveLanes; ++I) {
    const TLane &Lane = FLanes[size_t(I)];
    if (!Lane.Busy() || Lane.Row < 0 || Lane.Row >= FWindow.RowCount()) continue;
    Ordinals.push_back(Lane.Ordinal);
    Size += Lane.Size;
    if (Lane.Percent >= 0) Sum += Lane.Percent, ++Known;
    const std::string Caption = Trimmed(FWindow.RowCaption(Lane.Row));
    Files += (Files.empty() ? "" : ", ") + Caption.substr(Caption.find_last_of('/') + 1);
    const double Elapsed = std::chrono::duration<double>(Now - Lane.Started).count();
    const TPace Pace = MeasurePace(Lane.DoneMs, Lane.TotalMs, Elapsed);
    Speed += Pace.Speed;
    Longest = std::max(Longest, Pace.SecondsLeft);
    LeftMs = Lane.TotalMs <= 0 || LeftMs < 0 ? -1 : LeftMs + std::max<int64_t>(Lane.TotalMs - Lane.DoneMs, 0);
  }
  if (Ordinals.empty()) return;
  std::sort(Ordinals.begin(), Ordinals.end());
  int64_t ToComeMs = 0;
  const int ToCome = RowsToCome(ToComeMs);
  // The batch's time left, where files follow those that run: all that is
  // left of every file at the speed the files make together.
  const int64_t BatchLeft = ToCome > 0 ? BatchSecondsLeft(LeftMs, ToComeMs, Speed) : -1;
  FWindow.SetStatusFile(Files);
  FWindow.SetStatusText("File Size : " + std::to_string(Size) + " Bytes" +
                        (Ordinals.size() > 1 ? " (" + std::to_string(Ordinals.size()) + " files)" : ""));
  FWindow.SetStatusPace(BatchText(Ordinals, FHandedOut + ToCome, PaceText({Speed, Longest}), BatchLeft));
  if (FActiveLanes > 1) FWindow.SetProgressBar(Known ? Sum / Known : -1);
}

void TConversionRun::Progress(const TProgressInfo &Info, int LaneIndex) {
  TLane *Lane = LaneAt(LaneIndex);
  if (!Lane || Lane->Row < 0 || Lane->Row >= FWindow.RowCount()) return;
  // A row that has its outcome keeps it.
  if (!Lane->Busy() && FPhase != TRunPhase::Idle) return;
  FWindow.MakeRowVisible(Lane->Row);
  // Without a known length there is no honest percentage: the row then
  // shows the frames alone and the bar only that work goes on.
  const bool Known = Info.TotalOutputDuration > 0;
  const int64_t Percent =
      Known ? std::max<int64_t>(0, int64_t(Info.CurrentDuration) * 100 / Info.TotalOutputDuration) : -1;
  Lane->Percent = Known ? int(std::min<int64_t>(Percent, 100)) : -1;
  Lane->DoneMs = Info.CurrentDuration;
  Lane->TotalMs = Info.TotalOutputDuration;
  Lane->Size = Info.CurrentSize;
  FWindow.SetRowProgress(Lane->Row, Known ? std::to_string(Lane->Percent) + "%" : "");
  FWindow.SetRowFrames(Lane->Row, Info.FrameNumber == -1 ? " " : std::to_string(Info.FrameNumber));
  // The late progress of a stopped task goes to its row only: the bars
  // keep the run's end, or the stop under way.
  if (FPhase == TRunPhase::Idle || FPhase == TRunPhase::Stopping) return;
  if (FActiveLanes == 1) FWindow.SetProgressBar(Lane->Percent);
  ShowLanes();
}

void TConversionRun::Terminate(int Index, const TTaskEnd &End, int LaneIndex) {
  TLane *Lane = LaneAt(LaneIndex);
  if (!Lane) return;
  TFileJob *Job = Lane->Job.get();
  // The component holds only the lane's current row's task. A run of a
  // row aimed at a size that ran to its end: the row goes on with its next
  // run once the task list has ended too.
  if (Index >= 0 && Job &&
      Job->TaskEnded(OutcomeOf(End, FUserAbort), End.Message, End.Note) == TFileJob::TState::BetweenRuns &&
      Lane->Busy())
    return;
  if (Index < 0 && Job && Job->State() == TFileJob::TState::BetweenRuns && Job->NextRun()) return;
  if (Lane->Busy()) Lane->Phase = TLanePhase::Waiting;
  if (FPhase != TRunPhase::Converting && Index < 0) {
    Lane->Engine->ClearTasks();
    // After the last row the run's end sets the bar; after a stop it is empty.
    if (FPhase == TRunPhase::Idle && !Converting()) FWindow.SetProgressBar(0);
  }
  // A stop is over once the last stopped task has ended: its output is
  // complete by then.
  if (FPhase == TRunPhase::Stopping && !Converting()) {
    FinishRun(TRunEnd::Stopped);
    return;
  }
  ShowLanes();
}

void TConversionRun::Log(int Index, const std::string &Line, int LaneIndex) {
  const TLane *Lane = LaneAt(LaneIndex);
  if (Index >= 0 && Lane && Lane->Row >= 0 && Lane->Row < FWindow.RowCount())
    FWindow.AppendRowLog(Lane->Row, Line);
}

void TConversionRun::RowRemoved(int Row) {
  for (TLane &Lane : FLanes) {
    if (Row < 0 || Row == Lane.Row)
      Lane.Row = -1;
    else if (Row < Lane.Row)
      --Lane.Row;
  }
  if (Row < 0)
    FWalk = -1;
  else if (Row <= FWalk)
    --FWalk;
}

void TConversionRun::StopClick() {
  // Asked and answered already: the tasks are ending.
  if (FPhase == TRunPhase::Stopping) return;
  if (Converting()) {
    for (int I = 0; I < FActiveLanes; ++I) FLanes[size_t(I)].Engine->PauseAllTasks();
    // The queue waits for the answer: no tick of the timer starts the next
    // row or ends the run while the question is open.
    FWindow.SetTimerEnabled(false);
    if (!FWindow.ConfirmStop()) {
      for (int I = 0; I < FActiveLanes; ++I) FLanes[size_t(I)].Engine->ResumeAllTasks();
      FWindow.SetTimerEnabled(true);
      return;
    }
    FUserAbort = true;
  }
  if (FPhase == TRunPhase::Idle)
    FinishRun(TRunEnd::GivenUp);
  else
    BeginStop();
}

void TConversionRun::Stop() {
  if (Converting()) FUserAbort = true;
  FinishRun(TRunEnd::GivenUp);
}

}  // namespace korvane
