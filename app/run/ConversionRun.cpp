// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConversionRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <utility>

#include "AVProbe.h"
#include "CompleteOutputs.h"
#include "CoreShare.h"
#include "FFMpegException.h"
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
  FLanes.emplace_back(&Engine);
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
  FLanes.erase(FLanes.begin() + 1, FLanes.end());
  for (TRunEngine *Engine : Engines) FLanes.emplace_back(Engine);
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
  for (TLane &Lane : FLanes) Lane = TLane(Lane.Engine);
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

  for (;;) {
    // The next checked row, or the last row checked or not. Check boxes are
    // read now, so rows checked or unchecked during the run count from here.
    const int Rows = FWindow.RowCount();
    int Row = FWalk + 1;
    while (Row < Rows - 1 && !FWindow.RowChecked(Row)) ++Row;
    FWalk = Lane.Row = Row;
    if (Row >= Rows - 1) FPhase = TRunPhase::Finishing;

    if (Row >= Rows || !FWindow.RowChecked(Row)) {
      // Only the last row can be unchecked here: nothing to start.
      Lane.Phase = TLanePhase::Idle;
      break;
    }
    Lane.Ordinal = ++FHandedOut;
    bool TaskMade = false;
    bool SetUp = false;
    FRowSkipped = false;
    try {
      SetUp = SetUpRow(Lane, TaskMade);
    } catch (...) {
      FWindow.ShowInformation(AddFailedText);
      SetUp = TaskMade;
      if (!TaskMade) {
        SetOutcome(Lane, TOutcome::Failed, HandledExceptionText());
        RowWithoutTask(Lane);
      }
    }
    // A row whose output is complete takes no time: the next row follows
    // at once, not after the timer's pause between rows.
    if (FRowSkipped && FPhase == TRunPhase::Converting) continue;
    if (FRowSkipped) RowWithoutTask(Lane);
    if (!SetUp) return;
    Lane.Phase = TLanePhase::Running;
    Lane.Started = TClock::now();
    ShowLanes();
    break;
  }

  try {
    Lane.Engine->StartTasks(1);
  } catch (...) {
    // Nothing runs: end the run rather than leave the window waiting for an
    // end that will not come. The row did not convert, and the run says so.
    if (Lane.Row < FWindow.RowCount() && FWindow.RowChecked(Lane.Row))
      SetOutcome(Lane, TOutcome::Failed, HandledExceptionText());
    for (int I = 0; I < FActiveLanes; ++I) FLanes[size_t(I)].Engine->StopAllTasks();
    FinishRun(TRunEnd::Worked);
  }
}

bool TConversionRun::SetUpRow(TLane &Lane, bool &TaskMade) {
  const TRunChoices Choices = FWindow.Choices();
  // Files converted side by side never write one output, even when
  // overwriting (two files of one name from different folders).
  const auto Taken = [this, &Lane](const std::string &Name) {
    return std::any_of(FLanes.begin(), FLanes.end(), [&](const TLane &Other) {
      return &Other != &Lane && Other.Busy() && Other.Output == Name;
    });
  };
  TConversionChoices Conversion = Choices;
  std::string Output;
  if (!PlaceOutput(Lane, Choices, Conversion.OutputFolder, Output)) return false;
  // Files side by side share the cores, as korvane-convert's jobs do.
  if (FActiveLanes > 1)
    Conversion.CodecThreads =
        ShareCores(FActiveLanes, size_t(FActiveLanes), std::thread::hardware_concurrency()).ThreadsPerTask;
  TConversionSetup Setup;
  try {
    Setup = SetUpRowConversion(Lane.Row, Conversion, Taken);
  } catch (const ESizeRefused &E) {
    // Checked before the run; a row whose file changed since says so here.
    SetOutcome(Lane, TOutcome::Failed, E.what());
    RowWithoutTask(Lane);
    return false;
  }
  if (!Output.empty()) Setup.Output = Output;
  Lane.Output = Setup.Output;
  std::optional<TConversionSetup> Run = Setup;
  if (Setup.Size) {
    // A size is reached by runs of their own in a folder beside the
    // output; the last of them is moved to the output's name.
    if (!Setup.Size->Advice.empty()) FWindow.AppendRowLog(Lane.Row, "note: " + Setup.Size->Advice);
    Lane.Passes = std::make_unique<TSizedPasses>(Setup);
    Run = Lane.Passes->Next();
    if (!Run) SetOutcome(Lane, TOutcome::Failed, Lane.Passes->Error());
  }
  if (Run && StartTask(Lane, *Run, TaskMade)) return true;
  RowWithoutTask(Lane);
  return false;
}

bool TConversionRun::StartTask(TLane &Lane, TConversionSetup &Setup, bool &TaskMade) {
  const int Index = Lane.Engine->AddTask(Setup.Input.FileName, Setup.Input);
  if (Index < 0) {
    SetOutcome(Lane, TOutcome::Failed, Lane.Engine->LastError());
    return false;
  }
  TaskMade = true;
  // Noted before the output exists, so that a stop or a crash leaves a
  // file the next run knows as unfinished, and replaces.
  if (FSkipComplete && (!Lane.Passes || Lane.Passes->Runs() == 1))
    FJournal->Begin(Trimmed(FWindow.RowCaption(Lane.Row)), Lane.Output);
  if (!Lane.Engine->SetTaskOutput(Index, Setup.Output, Setup.Options)) {
    SetOutcome(Lane, TOutcome::Failed, Lane.Engine->LastError());
    Lane.Engine->RemoveTask(Index);
    return false;
  }
  return true;
}

bool TConversionRun::NextPass(TLane &Lane) {
  const bool Stopped = FUserAbort || FPhase == TRunPhase::Idle;
  try {
    // The files of the run that ended are closed before the next run
    // reads them.
    Lane.Engine->ClearTasks();
    std::optional<TConversionSetup> Run;
    if (!Stopped) Run = Lane.Passes->Next();
    bool TaskMade = false;
    if (Run && StartTask(Lane, *Run, TaskMade)) {
      Lane.Engine->StartTasks(1);
      Lane.Percent = 0;
      Lane.DoneMs = Lane.TotalMs = Lane.Size = 0;
      return true;
    }
    if (Stopped) {
      SetOutcome(Lane, TOutcome::Stopped);
    } else if (!Run && !Lane.Passes->Error().empty()) {
      SetOutcome(Lane, TOutcome::Failed, Lane.Passes->Error());
    } else if (!Run) {
      if (Lane.Row >= 0 && Lane.Row < FWindow.RowCount())
        FWindow.AppendRowLog(Lane.Row, "Size: " + Lane.Passes->Summary());
      EndRow(Lane, Lane.PassShortfall.empty() ? TOutcome::Done : TOutcome::Partial, Lane.PassShortfall,
             Lane.PassNote);
    }
  } catch (...) {
    SetOutcome(Lane, TOutcome::Failed, HandledExceptionText());
  }
  Lane.Passes.reset();
  return false;
}

void TConversionRun::EndRow(TLane &Lane, TOutcome Outcome, const std::string &Reason,
                            const std::string &Note) {
  const bool Noted = Converted(Outcome) && !Note.empty();
  SetOutcome(Lane, Outcome, Noted ? (Reason.empty() ? Note : Reason + "\n" + Note) : Reason);
  if (Lane.Row < 0 || Lane.Row >= FWindow.RowCount()) return;
  if (Noted) FWindow.AppendRowLog(Lane.Row, "note: " + Note);
  const std::string Input = Trimmed(FWindow.RowCaption(Lane.Row));
  // The output is closed by now: a whole one is noted as complete, one
  // left incomplete as such.
  if (FJournal) NoteOutputEnd(*FJournal, Input, Lane.Output, Outcome, FSkipComplete, FKeepFileDate);
  if (!Converted(Outcome)) return;
  std::error_code SourceError, OutputError;
  const auto Source = std::filesystem::file_size(Input, SourceError);
  const auto Written = std::filesystem::file_size(Lane.Output, OutputError);
  if (OutputError) return;
  FWindow.SetRowOutputSize(Lane.Row, int64_t(Written));
  if (SourceError) return;
  ++FSizes.Files;
  FSizes.Sources += int64_t(Source);
  FSizes.Outputs += int64_t(Written);
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

bool TConversionRun::PlaceOutput(TLane &Lane, const TRunChoices &Choices, std::string &Folder,
                                 std::string &Output) {
  Folder = Trimmed(Choices.OutputFolder);
  if (const std::string Below = Choices.KeepFolders ? FWindow.RowSubfolder(Lane.Row) : ""; !Below.empty())
    Folder += (Folder.back() == '/' ? "" : "/") + Below;
  if (FSkipComplete) {
    const std::string Input = Trimmed(FWindow.RowCaption(Lane.Row));
    const auto Taken = [this, &Lane](const std::string &Name) {
      return std::any_of(FLanes.begin(), FLanes.end(), [&](const TLane &Other) {
        return &Other != &Lane && Other.Busy() && Other.Output == Name;
      });
    };
    const TExistingOutput Existing = CheckExistingOutput(
        *FJournal, *FProbe, Input, OutputFileName(Folder, Input, Choices.OutputExtension, true),
        Choices.Overwrite, Taken);
    if (Existing.Complete) {
      Lane.Output = Existing.Output;
      FWindow.SetRowProgress(Lane.Row, SkippedText);
      FWindow.SetRowReason(Lane.Row, "Converted already: " + Existing.Output);
      FOutcomes.Count(TOutcome::Skipped);
      FRowSkipped = true;
      return false;
    }
    Output = Existing.Output;
  }
  if (std::error_code Error; !std::filesystem::create_directories(Folder, Error) && Error) {
    SetOutcome(Lane, TOutcome::Failed, "cannot make the folder " + Folder + ": " + Error.message());
    RowWithoutTask(Lane);
    return false;
  }
  return true;
}

void TConversionRun::RowWithoutTask(TLane &Lane) {
  Lane.Passes.reset();
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
  const TOutcome Outcome = OutcomeOf(End, FUserAbort);
  // A run of a row aimed at a size that ran to its end: the row goes on
  // with its next run once the task list has ended too.
  if (Index >= 0 && Lane->Passes && Lane->Busy() && Converted(Outcome)) {
    Lane->PassEnded = true;
    Lane->PassShortfall = End.Message;
    Lane->PassNote = End.Note;
    return;
  }
  if (Index < 0 && std::exchange(Lane->PassEnded, false) && NextPass(*Lane)) return;
  if (Lane->Busy()) Lane->Phase = TLanePhase::Waiting;
  // The component holds only the lane's current row's task. A task that
  // ran to its end with a reason wrote less than its source holds: its
  // output is kept, and the row says it is partial.
  if (Index >= 0) {
    // A row aimed at a size that failed or was stopped leaves no output:
    // its runs' folder goes.
    Lane->Passes.reset();
    EndRow(*Lane, Outcome, Outcome == TOutcome::Failed || Outcome == TOutcome::Partial ? End.Message : "",
           End.Note);
  }
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
