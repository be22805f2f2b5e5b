// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileJob.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "CompleteOutputs.h"
#include "FFMpegException.h"
#include "OutputNaming.h"
#include "SizedSetup.h"

namespace korvane {

namespace {

int64_t FileBytes(const std::string &Path) {
  struct stat Status {};
  if (Path.empty() || stat(Path.c_str(), &Status) != 0) return -1;
  return Status.st_size;
}

// The folder an output goes to: Root, or its sub-folder Subfolder.
std::string OutputFolderOf(const std::string &Root, const std::string &Subfolder) {
  if (Subfolder.empty()) return Root;
  return Root.empty() || Root.back() == '/' ? Root + Subfolder : Root + "/" + Subfolder;
}

// A target size's passes and tries.
class TSizeRuns final : public TFileRuns {
 public:
  explicit TSizeRuns(TConversionSetup Setup) : FPasses(std::move(Setup)) {}
  std::optional<TConversionSetup> Next() override { return FPasses.Next(); }
  std::string Error() const override { return FPasses.Error(); }
  std::string Summary() const override { return FPasses.Summary(); }

 private:
  TSizedPasses FPasses;
};

// The runs Setup takes; none when one run converts it.
std::unique_ptr<TFileRuns> RunsOf(const TConversionSetup &Setup) {
  if (Setup.Size) return std::make_unique<TSizeRuns>(Setup);
  return nullptr;
}

}  // namespace

TFileJob::TFileJob(TRunEngine &Engine, const TFileJobShared &Shared, TFileJobSink &Sink)
    : FEngine(Engine), FShared(Shared), FSink(Sink) {}

TFileJob::~TFileJob() = default;

TFileJob::TState TFileJob::Begin(TFileJobPlan Plan) {
  FPlan = std::move(Plan);
  const std::string Folder = OutputFolderOf(FPlan.Choices.OutputFolder, FPlan.Subfolder);
  std::string Output;
  if (!ChooseOutput(Folder, Output)) return FState;
  TFileRowTexts Row;
  std::string Reason;
  if (const TMediaKind Kind = FSink.ReadFile(Row, Reason); Kind != TMediaKind::Media) {
    FNotMedia = Kind == TMediaKind::NotMedia;
    Finish(FNotMedia ? TOutcome::Skipped : TOutcome::Failed, FNotMedia ? "not media: " + Reason : Reason);
    return FState;
  }
  // The tree below the output folder grows with the files that go there.
  if (std::error_code Error; !std::filesystem::create_directories(Folder, Error) && Error) {
    Finish(TOutcome::Failed, "cannot make the folder " + Folder + ": " + Error.message());
    return FState;
  }
  TConversionSetup Setup;
  if (!SetUp(Folder, Row, Setup)) return FState;
  if (!Output.empty()) Setup.Output = Output;
  if (FPlan.PreviewMs) {
    // NAME.png beside where the output would go.
    const std::string Beside = Setup.Output.substr(0, Setup.Output.find_last_of('/'));
    MakePreview(Setup, OutputFileName(Beside, FPlan.Input, "png", false, FPlan.Taken), *FPlan.PreviewMs);
    Setup.Size.reset();
  }
  FOutput = Setup.Output;
  // A size is reached by runs of their own in a folder beside the output;
  // the last of them is moved to the output's name.
  if (Setup.Size && !Setup.Size->Advice.empty()) FSink.Log("note: " + Setup.Size->Advice);
  FRuns = RunsOf(Setup);
  std::optional<TConversionSetup> Run = FRuns ? FRuns->Next() : std::optional(Setup);
  if (!Run) {
    Finish(TOutcome::Failed, FRuns->Error());
    return FState;
  }
  MakeTask(*Run);
  return FState;
}

bool TFileJob::ChooseOutput(const std::string &Folder, std::string &Output) {
  const TConversionChoices &Choices = FPlan.Choices;
  std::string Planned = FPlan.Planned;
  if (Planned.empty() && FShared.Skipping)
    Planned = OutputFileName(Folder, FPlan.Input, Choices.OutputExtension, true);
  if (Planned.empty()) return true;  // named as the file is set up
  if (FShared.Skipping) {
    const TExistingOutput Existing = CheckExistingOutput(*FShared.Journal, *FShared.Probe, FPlan.Input,
                                                         Planned, Choices.Overwrite, FPlan.Taken);
    if (Existing.Complete) {
      FOutput = Existing.Output;
      Finish(TOutcome::Skipped, "converted already");
      return false;
    }
    Output = Existing.Output;
  } else if (Choices.Overwrite || FileBytes(Planned) < 0) {
    Output = Planned;
  } else {
    // A name made unique stays clear of every name of the batch.
    Output = OutputFileName(Folder, Planned, Choices.OutputExtension, false, FPlan.Taken);
  }
  return true;
}

bool TFileJob::SetUp(const std::string &Folder, const TFileRowTexts &Row, TConversionSetup &Setup) {
  TConversionChoices Choices = FPlan.Choices;
  Choices.OutputFolder = Folder;
  try {
    Setup = SetUpConversion(FPlan.Input, Row, Choices, FPlan.Taken, FPlan.Pick);
  } catch (const ESizeRefused &E) {
    // Checked before the run; a file that changed since says so here.
    Finish(TOutcome::Failed, E.what());
    return false;
  }
  return true;
}

bool TFileJob::MakeTask(TConversionSetup &Run) {
  const int Index = FEngine.AddTask(Run.Input.FileName, Run.Input);
  if (Index < 0) {
    // An input that gave up opening because the run stops is stopped.
    Finish(FSink.StopAsked() ? TOutcome::Stopped : TOutcome::Failed, FEngine.LastError());
    return false;
  }
  FState = TState::Ready;
  if (FStarts == 0) {
    FSink.OutputClaimed(FOutput);
    // Noted before the output exists, so that a stop or a crash leaves a
    // file the next run knows as unfinished, and replaces.
    if (FShared.Skipping && !FShared.Journal->Begin(FPlan.Input, FOutput))
      FSink.JournalFailed(FShared.Journal->Error());
  }
  if (!FEngine.SetTaskOutput(Index, Run.Output, Run.Options)) {
    const std::string Error = FEngine.LastError();
    FEngine.RemoveTask(Index);
    Finish(TOutcome::Failed, Error);
    return false;
  }
  return true;
}

bool TFileJob::Start() {
  if (FState != TState::Ready) return false;
  return StartRun();
}

bool TFileJob::StartRun() {
  // A stop asked while the run was set up: nothing more of it is written.
  if (FSink.StopAsked()) {
    Finish(TOutcome::Stopped, "");
    return false;
  }
  ++FStarts;
  FStarted = true;
  FState = TState::Running;
  FSink.RunStarting(FStarts, FOutput);
  FEngine.StartTasks(1);
  return true;
}

TFileJob::TState TFileJob::TaskEnded(TOutcome Outcome, const std::string &Message, const std::string &Note) {
  if (FState != TState::Running) return FState;
  // One of several runs that ran to its end: the next one follows once
  // the task list has ended too. A source cut short goes on through its
  // runs as well: the last try of a size keeps what could be read, and the
  // file ends partial.
  if (FRuns && Converted(Outcome)) {
    FShortfall = Message;
    FNote = Note;
    FState = TState::BetweenRuns;
    return FState;
  }
  // A task that ran to its end with a reason wrote less than its source
  // holds: its output is kept, and the file is partial. One aimed at a size
  // that failed or was stopped leaves no output: its runs' folder goes.
  Finish(Outcome, Outcome == TOutcome::Failed || Outcome == TOutcome::Partial ? Message : "", Note);
  return FState;
}

bool TFileJob::NextRun() {
  if (FState != TState::BetweenRuns) return FState == TState::Running;
  TOutcome Outcome = TOutcome::Failed;
  std::string Reason;
  try {
    // The files of the run that ended are closed before the next run
    // reads them.
    FEngine.ClearTasks();
    if (FSink.StopAsked()) {
      // Stopped between two runs: the output is not there yet.
      Outcome = TOutcome::Stopped;
    } else if (std::optional<TConversionSetup> Run = FRuns->Next()) {
      return MakeTask(*Run) && StartRun();
    } else if (!FRuns->Error().empty()) {
      Reason = FRuns->Error();
    } else {
      FSink.SizeReached(FRuns->Summary());
      Outcome = FShortfall.empty() ? TOutcome::Done : TOutcome::Partial;
      Reason = FShortfall;
    }
  } catch (...) {
    Outcome = TOutcome::Failed;
    Reason = HandledExceptionText();
  }
  Finish(Outcome, Reason, FNote);
  return false;
}

void TFileJob::Abandon(TOutcome Outcome, const std::string &Reason) { Finish(Outcome, Reason); }

void TFileJob::Finish(TOutcome Outcome, const std::string &Reason, const std::string &Note) {
  if (FState == TState::Ended) return;
  FRuns.reset();
  FState = TState::Ended;
  FOutcome = Outcome;
  TFileJobEnd End;
  End.Outcome = Outcome;
  End.Reason = Reason;
  if (Converted(Outcome)) End.Note = Note;
  if (FStarted || Outcome == TOutcome::Skipped) End.Output = FOutput;
  End.NotMedia = FNotMedia;
  // The output is closed by now: a whole one is noted as complete, one
  // left incomplete as such.
  if (FStarted && FShared.Journal &&
      !NoteOutputEnd(*FShared.Journal, FPlan.Input, FOutput, Outcome, FShared.Skipping, FShared.KeptDate))
    FSink.JournalFailed(FShared.Journal->Error());
  if (Outcome != TOutcome::Failed) End.Bytes = FileBytes(End.Output);
  End.SourceBytes = FileBytes(FPlan.Input);
  FSink.Ended(End);
}

}  // namespace korvane
