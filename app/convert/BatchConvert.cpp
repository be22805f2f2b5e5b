// SPDX-License-Identifier: GPL-3.0-or-later
// Converting a batch with the component, several files at once: the files
// and folders of the command line and its lists (folders walked), or the
// command's share of them, with progress and a line for each file as it
// ends (or JSON events), Ctrl-C to stop, complete outputs skipped on
// request, and the counts at the end.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <unordered_set>

#include "BatchList.h"
#include "BatchReport.h"
#include "Commands.h"
#include "CompleteOutputs.h"
#include "CoreShare.h"
#include "FFmpegVCL.h"
#include "FailureReasons.h"
#include "MediaFiles.h"
#include "OutputNaming.h"
#include "OutputPlan.h"
#include "ProfileChoice.h"
#include "RowSetup.h"
#include "SignalWatcher.h"
#include "SizedSetup.h"
#include "TextFormat.h"
#include "TrackChoice.h"

namespace korvane::convert {

namespace {

using TClock = std::chrono::steady_clock;

struct TFileState {
  TBatchEntry Entry;        // the file (Entry.Path), or what stands in its place
  std::string_view Output;  // kept in TBatch::Texts
  TOutcome Outcome = TOutcome::Waiting;
  std::string_view Message;  // the engine's reason, or why it is skipped (TBatch::Texts)
  std::string_view Note;     // what the output left out (TBatch::Texts)
  bool NotMedia = false;
  TProgressInfo Progress;
  TClock::time_point Started;       // its first progress, for the time it has left
  TClock::time_point Began, Ended;  // of its task
  bool Reported = false;            // its end is told
};

// What the components' events tell, read by the main thread. The events come
// on the tasks' threads; they only write here and wake the main thread.
struct TBatch {
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<TFileState> Files;
  int StopSignal = 0;  // SIGINT or SIGTERM once one asked the batch to stop
  // The texts kept to the end (output names, failure messages) come from a
  // pool of their own: kept among the memory each file's set-up takes and
  // frees, they would pin it, and a long batch would grow with every file.
  std::pmr::monotonic_buffer_resource Texts;
  std::string_view Keep(std::string_view Text) {
    char *Copy = static_cast<char *>(Texts.allocate(Text.size() + 1, 1));
    std::memcpy(Copy, Text.data(), Text.size());
    Copy[Text.size()] = '\0';
    return {Copy, Text.size()};
  }
};

// One job: a component that converts one file at a time, set up the way the
// window sets up a row (clear, add, output, start one). Files are handed to
// the slots as they free up, so a batch holds only what its running files
// need, whatever its length.
struct TSlot {
  std::unique_ptr<TFFmpegVCL> Component;
  int File = -1;  // the file it converts, -1 while free (Batch.Lock)
  // The runs of a file aimed at a size, while they last.
  std::unique_ptr<TSizedPasses> Passes;
};

// Turns a conversion into its preview, NAME.png beside where its output
// would go.
void AsPreview(TConversionSetup &Setup, const std::string &Input, int64_t Ms,
               const std::function<bool(const std::string &)> &Taken) {
  const std::string Folder = Setup.Output.substr(0, Setup.Output.find_last_of('/'));
  MakePreview(Setup, OutputFileName(Folder, Input, "png", false, Taken), Ms);
}

// Whether the engine turns pictures upright with these option lines: the
// last "autorotate" line decides, as in the engine.
bool TurnsPictures(const std::vector<std::string> &Lines) {
  bool On = true;
  for (const std::string &Line : Lines) {
    const size_t Equal = Line.find('=');
    if (Line.compare(0, Equal, "autorotate") != 0) continue;
    On = Equal == std::string::npos || std::strtol(Line.c_str() + Equal + 1, nullptr, 10) != 0;
  }
  return On;
}

// A failure as one line of the summary, after the file's name: the reason
// without the name again, its line breaks as spaces, and what it means.
std::string FailureLine(const std::string &Input, const std::string &Message) {
  std::string Line;
  for (const char C : ExplainedFailure(WithoutLeadingName(Message, Input), Input)) {
    const bool Break = C == '\r' || C == '\n';
    if (!Break)
      Line += C;
    else if (!Line.empty() && Line.back() != ' ')
      Line += ' ';
  }
  return Line;
}

// The folder an output goes to: Root, or its sub-folder Subfolder.
std::string OutputFolderOf(const std::string &Root, const std::string &Subfolder) {
  if (Subfolder.empty()) return Root;
  return Root.empty() || Root.back() == '/' ? Root + Subfolder : Root + "/" + Subfolder;
}

int64_t FileBytes(std::string_view Path) {
  struct stat Status {};
  if (Path.empty() || stat(std::string(Path).c_str(), &Status) != 0) return -1;
  return Status.st_size;
}

// Converts the files of one command line: each file becomes a task as the
// window sets a row up (SetUpConversion), handed to a job slot as one frees
// up; the main thread starts files, waits for the tasks' events, reports
// progress and ends with the summary.
class TBatchRun {
 public:
  // Entries: the whole batch, of which the command's share is converted.
  TBatchRun(const TCommandLine &Command, TProfileForm Form, std::vector<TBatchEntry> Entries);
  TBatchRun(const TBatchRun &) = delete;
  TBatchRun &operator=(const TBatchRun &) = delete;

  // Makes the job slots; false (after saying why) when the media libraries
  // cannot be loaded.
  bool MakeSlots(const std::string &LibraryFolder);
  // Raises EUsageError for a file whose tracks or length the choices do not
  // fit (a track it does not have, a start past its end), before any file
  // is converted.
  void CheckFilesFit();
  // Converts every file and prints the summary; the program's exit status.
  int Run();

 private:
  void ConnectEvents(TSlot &Slot);
  // Names the outputs of the whole batch, so that every share and every
  // run gives a file the same name.
  void PlanOutputs();
  void StartFile(TSlot &Slot, size_t File);
  // The output the file is written to; false when it is complete already
  // (or cannot have one), and its end is told.
  bool ChooseOutput(size_t File, const std::string &Folder, std::string &Output);
  // The picture of a file from its probe; false when it is no media or
  // cannot be read, and its end is told.
  bool ProbeFile(size_t File, TFileRowTexts &Row);
  // Waits for an event; false once the batch is over. Slots whose file
  // ended are freed for the next one.
  bool Poll();
  void ShowProgress();
  // Tells the end of a file that has ended, once.
  void Report(size_t File);
  TBatchCounts Counts();
  int Summary();

  void Stop(int Signal);
  int StopSignal();
  // Ends a file that got no task, with Message as its reason.
  void Settle(size_t File, TOutcome Outcome, const std::string &Message, const std::string &Output = "",
              bool NotMedia = false);
  void Finish(TSlot &Slot, size_t File, TOutcome Outcome, const std::string &Message);
  // Starts Setup as the slot's task for File; false (the file ended) when
  // it cannot.
  bool StartRun(TSlot &Slot, size_t File, TConversionSetup &Setup);
  // A slot whose run ended and whose file is aimed at a size goes on with
  // its next run; false when the file is over.
  bool NextPass(TSlot &Slot);
  void FreeSlot(TSlot &Slot);
  // Under FBatch.Lock: whether the slot's file has reported its end.
  bool SlotEnded(const TSlot &Slot) const;

  const TProfileForm FForm;
  TBatch FBatch;
  TBatchReport FReport;
  // Tasks send their own lines at every level; only those up to the chosen
  // one are shown (failures appear in the summary anyway). The level words
  // stand in the engine's order.
  static_assert(std::size(LogLevelNames) == llAll + 1);
  TLogLevel FShown;
  // The jobs share the cores: each task's codecs get their part, unless the
  // user's own "threads" line (which comes later) says otherwise.
  TCoreShare FShare;
  TConversionChoices FChoices;
  const TFileChoices FFileChoices;
  // The row describes the picture as the engine will have it: turned
  // upright unless the lines say otherwise.
  bool FTurned;
  std::pmr::set<std::string_view> FReserved;  // output names taken so far
  // The whole batch until its outputs are planned; this command's share of
  // it are FBatch.Files.
  std::vector<TBatchEntry> FWhole;
  std::vector<size_t> FShareOfWhole;
  // Names given in advance (--skip-existing, --shard): the output of each
  // file of the share, and every name of the whole batch.
  std::vector<std::string> FPlanned;
  std::unordered_set<std::string> FPlannedNames;
  // Notes the outputs a run leaves incomplete in every run; with
  // --skip-existing (FSkipping) it is read and kept as the run goes too.
  TOutputJournal FJournal;
  bool FSkipping = false;
  bool FJournalFailed = false;  // said so once
  std::vector<TSlot> FSlots;
  size_t FNext = 0;  // the first file not handed to a slot yet
};

TBatchRun::TBatchRun(const TCommandLine &Command, TProfileForm Form, std::vector<TBatchEntry> Entries)
    : FForm(std::move(Form)),
      FReport(Command.Json, FForm.ComboOutputFormat.Text()),
      FShown(static_cast<TLogLevel>(Command.LogLevel)),
      FFileChoices(Command.Choices),
      FTurned(TurnsPictures(Command.Options)),
      FReserved(&FBatch.Texts),
      FWhole(std::move(Entries)),
      FShareOfWhole(ShareOf(FWhole.size(), Command.ShardIndex, Command.ShardCount)),
      FJournal(Command.OutputFolder) {
  FShare = ShareCores(Command.Jobs, FShareOfWhole.size(), std::thread::hardware_concurrency());
  FBatch.Files.resize(FShareOfWhole.size());
  for (size_t I = 0; I < FShareOfWhole.size(); ++I) FBatch.Files[I].Entry = FWhole[FShareOfWhole[I]];
  FChoices.Profile = &FForm;
  FChoices.OutputFolder = Command.OutputFolder;
  FChoices.OutputExtension = FForm.OutputExtension;
  FChoices.Overwrite = Command.Overwrite;
  FChoices.KeepFileDate = Command.KeepFileDate;
  FChoices.VolumePosition = Command.Volume.value_or(DefaultVolumePosition);
  FChoices.CodecThreads = FShare.ThreadsPerTask;
  for (const std::string &Line : Command.Options) FChoices.ExtraOptions += Line + "\n";
  FChoices.TimeRanges = Command.HookRanges;
  FChoices.TargetBytes = Command.TargetBytes;
  FSkipping = Command.SkipExisting;
  if (!Command.SkipExisting && Command.ShardCount == 1) FWhole.clear();  // nothing to plan
}

bool TBatchRun::MakeSlots(const std::string &LibraryFolder) {
  // No more jobs than files.
  FSlots.resize(std::clamp<size_t>(FBatch.Files.size(), 1, static_cast<size_t>(FShare.Jobs)));
  for (TSlot &Slot : FSlots) {
    Slot.Component = std::make_unique<TFFmpegVCL>();
    Slot.Component->SetLogLevel(FShown);
    if (!Slot.Component->LoadMediaLibraries(LibraryFolder)) {
      std::fprintf(stderr, "Some files are missing. Please re-install this software\n%s\n",
                   Slot.Component->LastError().c_str());
      return false;
    }
    ConnectEvents(Slot);
  }
  return true;
}

void TBatchRun::ConnectEvents(TSlot &Slot) {
  // The file a slot's event is about; the slot's one task is always 0.
  const auto FileOf = [this, &Slot](int AIndex) -> TFileState * {
    if (AIndex != 0 || Slot.File < 0) return nullptr;
    return &FBatch.Files[static_cast<size_t>(Slot.File)];
  };
  // Every component hears every library line, with -1 where the line is
  // not from one of its own tasks: such lines are shown once, by the first
  // slot, and only when they come from this thread (the probe's).
  const bool ShowsOthers = &Slot == &FSlots.front();
  const pid_t MainThread = CurrentThreadID();
  TFFmpegVCL &Component = *Slot.Component;
  Component.OnLog = [this, FileOf, ShowsOthers, MainThread](int AIndex, TLogLevel Level,
                                                            const std::string &Message) {
    if (Level == llQuiet || Level > FShown) return;
    if (AIndex < 0 && !(ShowsOthers && CurrentThreadID() == MainThread)) return;
    std::string Name = "korvane";
    {
      std::lock_guard Guard(FBatch.Lock);
      if (const TFileState *F = FileOf(AIndex)) Name = F->Entry.Path;
    }
    FReport.Log(Name, Message);
  };
  Component.OnProgress = [this, FileOf](int AIndex, int Frames, int FPS, int Duration, float Quality,
                                        float BitRate, int64_t Size, int Total) {
    std::lock_guard Guard(FBatch.Lock);
    TFileState *F = FileOf(AIndex);
    if (!F) return;
    if (F->Outcome == TOutcome::Waiting) {
      F->Outcome = TOutcome::Running;
      F->Started = TClock::now();
    }
    F->Progress = {Frames, FPS, Duration, Quality, BitRate, Size, Total};
    FBatch.Changed.notify_all();
  };
  Component.OnTerminate = [this, FileOf](int AIndex, bool Finished, bool Exception,
                                         const std::string &Message, const std::string &Note) {
    std::lock_guard Guard(FBatch.Lock);
    TFileState *F = FileOf(AIndex);
    if (!F) return;
    F->Outcome = OutcomeOf({Finished, Exception, Message});
    F->Message = FBatch.Keep(Message);
    F->Note = Note.empty() ? std::string_view() : FBatch.Keep(Note);
    F->Ended = TClock::now();
    FBatch.Changed.notify_all();
  };
}

void TBatchRun::PlanOutputs() {
  if (FWhole.empty()) return;
  std::vector<TPlannedFile> Files(FWhole.size());
  for (size_t I = 0; I < FWhole.size(); ++I)
    Files[I] = {FWhole[I].Path, OutputFolderOf(FChoices.OutputFolder, FWhole[I].Subfolder)};
  // Files whose names meet are told apart by whether they are media, which
  // every share finds alike.
  TAVProbe &Probe = FSlots.front().Component->AVProbe();
  const auto IsMedia = [&](size_t I) {
    const TBatchEntry &Entry = FWhole[I];
    if (Entry.Kind != TBatchEntry::TKind::File) return false;
    if (!Entry.Found) return true;
    std::string Reason;
    const bool Media = ProbeMediaKind(Probe, Entry.Path, Reason) != TMediaKind::NotMedia;
    Probe.CloseFile();
    return Media;
  };
  const std::vector<std::string> Names = PlanOutputNames(Files, FChoices.OutputExtension, IsMedia);
  FPlannedNames.insert(Names.begin(), Names.end());
  FPlanned.resize(FShareOfWhole.size());
  for (size_t I = 0; I < FShareOfWhole.size(); ++I) FPlanned[I] = Names[FShareOfWhole[I]];
  FWhole = {};
}

// SIGINT (Ctrl-C) and SIGTERM both stop the batch: the runs finish their
// outputs so far, an input being opened gives up, nothing more starts.
void TBatchRun::Stop(int Signal) {
  {
    std::lock_guard Guard(FBatch.Lock);
    FBatch.StopSignal = Signal;
    FBatch.Changed.notify_all();
  }
  for (TSlot &Slot : FSlots) Slot.Component->StopAllTasks();
}

int TBatchRun::StopSignal() {
  std::lock_guard Guard(FBatch.Lock);
  return FBatch.StopSignal;
}

void TBatchRun::Settle(size_t File, TOutcome Outcome, const std::string &Message, const std::string &Output,
                       bool NotMedia) {
  {
    std::lock_guard Guard(FBatch.Lock);
    TFileState &F = FBatch.Files[File];
    F.Outcome = Outcome;
    F.Message = FBatch.Keep(Message);
    F.Output = FBatch.Keep(Output);
    F.NotMedia = NotMedia;
  }
  Report(File);
}

// Message by value: clearing the tasks clears the component's LastError.
// An output created for the file goes with the tasks while still empty.
void TBatchRun::Finish(TSlot &Slot, size_t File, TOutcome Outcome, const std::string &Message) {
  {
    std::lock_guard Guard(FBatch.Lock);
    FBatch.Files[File].Outcome = Outcome;
    FBatch.Files[File].Message = FBatch.Keep(Message);
  }
  FreeSlot(Slot);
}

// A slot whose file has ended takes the next one. Clearing its tasks waits
// for the run's thread, which may be delivering an event: outside the lock.
void TBatchRun::FreeSlot(TSlot &Slot) {
  Slot.Component->ClearTasks();
  int File;
  {
    std::lock_guard Guard(FBatch.Lock);
    File = Slot.File;
    Slot.File = -1;
  }
  if (File >= 0) Report(static_cast<size_t>(File));
}

bool TBatchRun::SlotEnded(const TSlot &Slot) const {
  if (Slot.File < 0) return false;
  const TOutcome Outcome = FBatch.Files[static_cast<size_t>(Slot.File)].Outcome;
  return Outcome != TOutcome::Waiting && Outcome != TOutcome::Running;
}

bool TBatchRun::ChooseOutput(size_t File, const std::string &Folder, std::string &Output) {
  if (FPlanned.empty()) return true;  // named as the file is set up
  const std::string &Input = FBatch.Files[File].Entry.Path;
  const std::string &Planned = FPlanned[File];
  // A name made unique stays clear of every name of the batch.
  const auto Taken = [this](const std::string &Name) {
    return FPlannedNames.count(Name) > 0 || FReserved.count(Name) > 0;
  };
  if (FSkipping) {
    TAVProbe &Probe = FSlots.front().Component->AVProbe();
    const TExistingOutput Existing =
        CheckExistingOutput(FJournal, Probe, Input, Planned, FChoices.Overwrite, Taken);
    if (Existing.Complete) {
      Settle(File, TOutcome::Skipped, "converted already", Existing.Output);
      return false;
    }
    Output = Existing.Output;
  } else if (FChoices.Overwrite || FileBytes(Planned) < 0) {
    Output = Planned;
  } else {
    Output = OutputFileName(Folder, Planned, FChoices.OutputExtension, false, Taken);
  }
  return true;
}

bool TBatchRun::ProbeFile(size_t File, TFileRowTexts &Row) {
  const TBatchEntry &Entry = FBatch.Files[File].Entry;
  TAVProbe &Probe = FSlots.front().Component->AVProbe();
  if (!Entry.Found) {
    // A file that was named is converted whatever it holds; converting it
    // says what is wrong with it.
    if (Probe.LoadFile(Entry.Path, "")) Row = FileRowTexts(Probe, FTurned);
    Probe.CloseFile();
    return true;
  }
  std::string Reason;
  const TMediaKind Kind = ProbeMediaKind(Probe, Entry.Path, Reason);
  if (Kind == TMediaKind::Media) Row = FileRowTexts(Probe, FTurned);
  Probe.CloseFile();
  if (Kind == TMediaKind::NotMedia) Settle(File, TOutcome::Skipped, "not media: " + Reason, "", true);
  if (Kind == TMediaKind::Failed) Settle(File, TOutcome::Failed, FailureLine(Entry.Path, Reason));
  return Kind == TMediaKind::Media;
}

void TBatchRun::StartFile(TSlot &Slot, size_t File) {
  TFFmpegVCL &Component = *Slot.Component;
  TFileState &F = FBatch.Files[File];
  switch (F.Entry.Kind) {
    case TBatchEntry::TKind::File: break;
    case TBatchEntry::TKind::NotMedia:
      Settle(File, TOutcome::Skipped, "not media: " + F.Entry.Reason, "", true);
      return;
    case TBatchEntry::TKind::Skipped: Settle(File, TOutcome::Skipped, F.Entry.Reason); return;
    case TBatchEntry::TKind::Failed: Settle(File, TOutcome::Failed, F.Entry.Reason); return;
  }
  const std::string &Input = F.Entry.Path;
  const std::string Folder = OutputFolderOf(FChoices.OutputFolder, F.Entry.Subfolder);
  std::string Output;
  TFileRowTexts Row;
  if (!ChooseOutput(File, Folder, Output) || !ProbeFile(File, Row)) return;
  // The tree below the output folder grows with the files that go there.
  if (std::error_code Error; !std::filesystem::create_directories(Folder, Error) && Error) {
    Settle(File, TOutcome::Failed, "cannot make the folder " + Folder + ": " + Error.message());
    return;
  }
  {
    std::lock_guard Guard(FBatch.Lock);
    Slot.File = static_cast<int>(File);
  }
  // The output's name is one no other file of the batch has; it is kept
  // once the file has a task.
  TConversionChoices Choices = FChoices;
  Choices.OutputFolder = Folder;
  const auto Taken = [this](const std::string &Name) {
    return FReserved.count(Name) > 0 || FPlannedNames.count(Name) > 0;
  };
  TConversionSetup Setup;
  try {
    Setup = SetUpConversion(Input, Row, Choices, Taken, FFileChoices.Pick);
  } catch (const ESizeRefused &E) {
    Finish(Slot, File, TOutcome::Failed, E.what());
    return;
  }
  if (!Output.empty()) Setup.Output = Output;
  if (FFileChoices.PreviewMs) {
    AsPreview(Setup, Input, *FFileChoices.PreviewMs, Taken);
    Setup.Size.reset();
  }
  // A size is reached by runs of their own, the last of which is moved to
  // the output's name.
  TConversionSetup Run = Setup;
  if (Setup.Size) {
    if (!Setup.Size->Advice.empty()) FReport.Log(Input, "note: " + Setup.Size->Advice);
    Slot.Passes = std::make_unique<TSizedPasses>(Setup);
    if (!Slot.Passes->Ready()) {
      Finish(Slot, File, TOutcome::Failed, Slot.Passes->Error());
      Slot.Passes.reset();
      return;
    }
    Run = *Slot.Passes->Next();
  }
  if (Component.AddTask(Input, &Run.Input) < 0) {
    Finish(Slot, File, StopSignal() ? TOutcome::Stopped : TOutcome::Failed, Component.LastError());
    return;
  }
  std::string_view Kept;
  {
    std::lock_guard Guard(FBatch.Lock);
    Kept = *FReserved.insert(FBatch.Keep(Setup.Output)).first;
  }
  // Noted before the output exists: whatever stops this run, the next one
  // knows the file for an unfinished one of its own.
  if (FSkipping && !FJournal.Begin(Input, Setup.Output) && !FJournalFailed) {
    FJournalFailed = true;
    FReport.Log("korvane", "outputs cannot be noted as complete: " + FJournal.Error());
  }
  if (!Component.SetTaskOutput(0, Run.Output, &Run.Options)) {
    Finish(Slot, File, TOutcome::Failed, Component.LastError());
    return;
  }
  if (StopSignal()) {
    Finish(Slot, File, TOutcome::Stopped, "");
    return;
  }
  {
    std::lock_guard Guard(FBatch.Lock);
    F.Output = Kept;
    F.Began = TClock::now();
  }
  FReport.Started(Input, Setup.Output);
  Component.StartTasks(1);
}

bool TBatchRun::StartRun(TSlot &Slot, size_t File, TConversionSetup &Setup) {
  TFFmpegVCL &Component = *Slot.Component;
  if (Component.AddTask(Setup.Input.FileName, &Setup.Input) < 0 ||
      !Component.SetTaskOutput(0, Setup.Output, &Setup.Options)) {
    Finish(Slot, File, TOutcome::Failed, Component.LastError());
    return false;
  }
  Component.StartTasks(1);
  return true;
}

bool TBatchRun::NextPass(TSlot &Slot) {
  if (!Slot.Passes) return false;
  const size_t File = static_cast<size_t>(Slot.File);
  TOutcome Outcome;
  {
    std::lock_guard Guard(FBatch.Lock);
    Outcome = FBatch.Files[File].Outcome;
  }
  // The files of the run ended are closed before the next run reads them.
  Slot.Component->ClearTasks();
  // A source cut short goes on through its passes too: the last try keeps
  // what could be read, and the file ends partial.
  const bool Ended = Outcome == TOutcome::Done || Outcome == TOutcome::Partial;
  const bool Stopping = Ended && StopSignal() != 0;
  std::optional<TConversionSetup> Run;
  if (Stopping) {
    // Stopped between two runs: the output is not there yet.
    std::lock_guard Guard(FBatch.Lock);
    FBatch.Files[File].Outcome = TOutcome::Stopped;
  } else if (Ended) {
    Run = Slot.Passes->Next();
  }
  if (!Run) {
    const bool Placed = Ended && !Stopping;
    const std::string Error = Placed ? Slot.Passes->Error() : "";
    if (Placed && Error.empty() && FShown >= llInfo)
      FReport.Log(FBatch.Files[File].Entry.Path, Slot.Passes->Summary());
    Slot.Passes.reset();
    if (!Error.empty()) Finish(Slot, File, TOutcome::Failed, Error);
    return !Error.empty();
  }
  {
    std::lock_guard Guard(FBatch.Lock);
    FBatch.Files[File].Outcome = TOutcome::Running;
    FBatch.Files[File].Message = {};
  }
  if (!StartRun(Slot, File, *Run)) Slot.Passes.reset();
  return true;
}

bool TBatchRun::Poll() {
  std::vector<TSlot *> Ended;
  {
    std::unique_lock Guard(FBatch.Lock);
    bool Busy = false;
    const auto Look = [&] {
      Ended.clear();
      Busy = false;
      for (TSlot &Slot : FSlots) {
        Busy |= Slot.File >= 0;
        if (SlotEnded(Slot)) Ended.push_back(&Slot);
      }
    };
    Look();
    if (!Busy && (FNext >= FBatch.Files.size() || FBatch.StopSignal)) return false;
    if (Ended.empty()) {
      FBatch.Changed.wait_for(Guard, std::chrono::milliseconds(200));
      Look();
    }
  }
  for (TSlot *Slot : Ended)
    if (!NextPass(*Slot)) FreeSlot(*Slot);
  return true;
}

void TBatchRun::ShowProgress() {
  std::vector<TFileProgress> Running;
  {
    std::lock_guard Guard(FBatch.Lock);
    for (const TSlot &Slot : FSlots) {
      if (Slot.File < 0) continue;
      const TFileState &F = FBatch.Files[static_cast<size_t>(Slot.File)];
      if (F.Outcome == TOutcome::Running)
        Running.push_back({static_cast<size_t>(Slot.File), F.Entry.Path, F.Progress, F.Started, F.Began});
    }
  }
  FReport.Progress(Running);
}

// A file's end, as soon as it ends: a file that hangs or takes long never
// hides the results of the others. A whole output is noted in the journal
// now that its task is gone and the file closed.
void TBatchRun::Report(size_t File) {
  TFileState &F = FBatch.Files[File];
  TFileEnd End;
  {
    std::lock_guard Guard(FBatch.Lock);
    if (F.Reported) return;
    F.Reported = true;
    End.Input = F.Entry.Path;
    End.Output = F.Output;
    End.Outcome =
        F.Outcome == TOutcome::Waiting || F.Outcome == TOutcome::Running ? TOutcome::Stopped : F.Outcome;
    End.NotMedia = F.NotMedia;
    if (End.Outcome == TOutcome::Failed || End.Outcome == TOutcome::Partial)
      End.Reason = FailureLine(F.Entry.Path, std::string(F.Message));
    else if (End.Outcome == TOutcome::Skipped)
      End.Reason = F.Message;
    if (Converted(End.Outcome)) End.Note = F.Note;
    if (F.Began != TClock::time_point())
      End.Seconds =
          std::chrono::duration<double>((F.Ended == TClock::time_point() ? TClock::now() : F.Ended) - F.Began)
              .count();
  }
  if (End.Outcome != TOutcome::Failed) End.Bytes = FileBytes(End.Output);
  End.SourceBytes = FileBytes(End.Input);
  if (!NoteOutputEnd(FJournal, End.Input, End.Output, End.Outcome, FSkipping, FChoices.KeepFileDate) &&
      FSkipping && !FJournalFailed) {
    FJournalFailed = true;
    FReport.Log("korvane", "outputs cannot be noted as complete: " + FJournal.Error());
  }
  FReport.Ended(End);
}

TBatchCounts TBatchRun::Counts() {
  TBatchCounts Counts;
  std::lock_guard Guard(FBatch.Lock);
  for (const TFileState &F : FBatch.Files) Counts.Count(F.Outcome, F.NotMedia);
  return Counts;
}

// The end: files never handed to a slot count as stopped and get their
// line now, then the counts.
int TBatchRun::Summary() {
  for (size_t I = 0; I < FBatch.Files.size(); ++I) Report(I);
  const TBatchCounts Totals = Counts();
  const int Status = Totals.ExitStatus(StopSignal());
  FReport.Summary(Totals, Status);
  return Status;
}

void TBatchRun::CheckFilesFit() {
  const TRowChoices &Pick = FFileChoices.Pick;
  const bool Tracks = !Pick.AudioTracks.empty() || !Pick.Subtitles.empty() || Pick.BurnSubtitle > 0;
  const int64_t Start = FFileChoices.PreviewMs.value_or(Pick.StartMs);
  const bool Sized = !FFileChoices.PreviewMs &&
                     (FChoices.TargetBytes != 0 || FileSizeItemBytes(FForm.ComboVideoBitrate.Text()));
  if (!Tracks && Start <= 0 && !Sized) return;
  TAVProbe &Probe = FSlots.front().Component->AVProbe();
  for (const TFileState &F : FBatch.Files) {
    if (F.NotMedia || !Probe.LoadFile(F.Entry.Path, "")) continue;  // it fails or is skipped in its turn
    const AVFormatContext *Input = Probe.FormatContext();
    try {
      // A size the file cannot be brought to is refused before any work.
      if (Sized) (void)SetUpConversion(F.Entry.Path, FileRowTexts(Probe, FTurned), FChoices, {}, Pick);
      for (const auto &[Type, Text] : {std::pair{AVMEDIA_TYPE_AUDIO, Pick.AudioTracks},
                                       std::pair{AVMEDIA_TYPE_SUBTITLE, Pick.Subtitles}})
        if (!Text.empty())
          for (const int Number : TrackNumbers(Text)) TrackStream(Input, Type, Number);
      if (Pick.BurnSubtitle > 0) TrackStream(Input, AVMEDIA_TYPE_SUBTITLE, Pick.BurnSubtitle);
    } catch (const ESizeRefused &E) {
      Probe.CloseFile();
      throw EUsageError(F.Entry.Path + ": " + E.what());
    } catch (const std::exception &E) {
      Probe.CloseFile();
      throw EUsageError(E.what());
    }
    const int64_t Length = Input->duration != AV_NOPTS_VALUE ? Input->duration / 1000 : -1;
    Probe.CloseFile();
    if (Length >= 0 && Start >= Length)
      throw EUsageError(Format("%s is %.1f s long: %.1f s is past its end", F.Entry.Path.c_str(),
                               static_cast<double>(Length) / 1000, static_cast<double>(Start) / 1000));
  }
}

int TBatchRun::Run() {
  const TSignalWatcher Watcher([this](int Signal) { Stop(Signal); },
                               [this](int Signal) {
                                 // The program ends at once: the JSON reader still gets its summary.
                                 if (FReport.Json()) FReport.LastSummary(Counts(), 128 + Signal);
                               });
  PlanOutputs();
  for (;;) {
    for (TSlot &Slot : FSlots)
      while (Slot.File < 0 && FNext < FBatch.Files.size() && !StopSignal()) StartFile(Slot, FNext++);
    if (!Poll()) break;
    ShowProgress();
  }
  return Summary();
}

}  // namespace

int ConvertFiles(const TCommandLine &Command, const std::string &LibraryFolder) {
  TProfileForm Form = SelectProfile(Command.Profile);
  ApplyPicks(Command, Form);
  if (OutputFolderState(Command.OutputFolder) != TFolderState::Usable)
    throw EUsageError("the output folder '" + Command.OutputFolder +
                      "' does not exist or cannot be written to");
  TBatchRun Batch(Command, std::move(Form), CollectBatch(Command));
  if (!Batch.MakeSlots(LibraryFolder)) {
    if (Command.Json) PrintJsonError("the media libraries cannot be loaded", 1);
    return 1;
  }
  Batch.CheckFilesFit();
  return Batch.Run();
}

}  // namespace korvane::convert
