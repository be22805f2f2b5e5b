// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchRunner.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <utility>

#include "AVProbe.h"
#include "FailureReasons.h"
#include "OutputPlan.h"
#include "SignalWatcher.h"
#include "SizeTarget.h"
#include "TextFormat.h"
#include "TrackChoice.h"

namespace korvane::convert {

namespace {

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

}  // namespace

TBatchRunner::TBatchRunner(const TCommandLine &Command, TProfileForm Form, std::vector<TBatchEntry> Entries,
                           TBatchProbe &Probe)
    : FForm(std::move(Form)),
      FReport(Command.Json, FForm.ComboOutputFormat.Text()),
      FProbe(Probe),
      FShown(static_cast<TLogLevel>(Command.LogLevel)),
      FFileChoices(Command.Choices),
      FTurned(TurnsPictures(Command.Options)),
      FReserved(&FBatch.Texts),
      FWhole(std::move(Entries)),
      FShareOfWhole(ShareOf(FWhole.size(), Command.ShardIndex, Command.ShardCount)),
      FJournal(Command.OutputFolder) {
  // The level words stand in the engine's order.
  static_assert(std::size(LogLevelNames) == llAll + 1);
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

size_t TBatchRunner::SlotsWanted() const {
  return std::clamp<size_t>(FBatch.Files.size(), 1, static_cast<size_t>(FShare.Jobs));
}

void TBatchRunner::AddSlot(TRunEngine &Engine) { FSlots.emplace_back(*this, Engine); }

TBatchRunner::TFileState *TBatchRunner::FileOf(size_t SlotIndex, int Index) {
  // The slot's one task is always 0.
  if (Index != 0 || SlotIndex >= FSlots.size() || FSlots[SlotIndex].File < 0) return nullptr;
  return &FSlots[SlotIndex].FileState();
}

void TBatchRunner::Log(size_t Slot, int Index, TLogLevel Level, const std::string &Message) {
  if (Level == llQuiet || Level > FShown) return;
  std::string Name = "korvane";
  {
    std::lock_guard Guard(FBatch.Lock);
    if (const TFileState *F = FileOf(Slot, Index)) Name = F->Entry.Path;
  }
  FReport.Log(Name, Message);
}

void TBatchRunner::Progress(size_t Slot, int Index, const TProgressInfo &Info) {
  std::lock_guard Guard(FBatch.Lock);
  TFileState *F = FileOf(Slot, Index);
  if (!F) return;
  if (F->Outcome == TOutcome::Waiting) {
    F->Outcome = TOutcome::Running;
    F->Started = TClock::now();
  }
  F->Progress = Info;
  FBatch.Changed.notify_all();
}

void TBatchRunner::Terminate(size_t Slot, int Index, const TTaskEnd &End) {
  std::lock_guard Guard(FBatch.Lock);
  TFileState *F = FileOf(Slot, Index);
  if (!F) return;
  F->Outcome = OutcomeOf(End);
  F->Message = FBatch.Keep(End.Message);
  F->Note = End.Note.empty() ? std::string_view() : FBatch.Keep(End.Note);
  F->Ended = TClock::now();
  FBatch.Changed.notify_all();
}

void TBatchRunner::PlanOutputs() {
  if (FWhole.empty()) return;
  std::vector<TPlannedFile> Files(FWhole.size());
  for (size_t I = 0; I < FWhole.size(); ++I)
    Files[I] = {FWhole[I].Path, OutputFolderOf(FChoices.OutputFolder, FWhole[I].Subfolder)};
  // Files whose names meet are told apart by whether they are media, which
  // every share finds alike.
  const auto IsMedia = [&](size_t I) {
    const TBatchEntry &Entry = FWhole[I];
    if (Entry.Kind != TBatchEntry::TKind::File) return false;
    if (!Entry.Found) return true;
    TFileRowTexts Row;
    std::string Reason;
    return FProbe.Read(Entry.Path, true, FTurned, Row, Reason) != TMediaKind::NotMedia;
  };
  const std::vector<std::string> Names = PlanOutputNames(Files, FChoices.OutputExtension, IsMedia);
  FPlannedNames.insert(Names.begin(), Names.end());
  FPlanned.resize(FShareOfWhole.size());
  for (size_t I = 0; I < FShareOfWhole.size(); ++I) FPlanned[I] = Names[FShareOfWhole[I]];
  FWhole = {};
}

void TBatchRunner::Stop(int Signal) {
  {
    std::lock_guard Guard(FBatch.Lock);
    FBatch.StopSignal = Signal;
    FBatch.Changed.notify_all();
  }
  for (TSlot &Slot : FSlots) Slot.Engine.StopAllTasks();
}

int TBatchRunner::StopSignal() {
  std::lock_guard Guard(FBatch.Lock);
  return FBatch.StopSignal;
}

TOutcome TBatchRunner::Outcome(size_t File) {
  std::lock_guard Guard(FBatch.Lock);
  return FBatch.Files.at(File).Outcome;
}

void TBatchRunner::Settle(size_t File, TOutcome Outcome, const std::string &Message, bool NotMedia) {
  {
    std::lock_guard Guard(FBatch.Lock);
    TFileState &F = FBatch.Files[File];
    F.Outcome = Outcome;
    F.Message = FBatch.Keep(Message);
    F.NotMedia = NotMedia;
  }
  Report(File);
}

bool TBatchRunner::SlotEnded(const TSlot &Slot) const {
  if (Slot.File < 0) return false;
  const TOutcome Outcome = Slot.FileState().Outcome;
  return Outcome != TOutcome::Waiting && Outcome != TOutcome::Running;
}

void TBatchRunner::JournalFailed(const std::string &Error) {
  if (!FSkipping || FJournalFailed) return;
  FJournalFailed = true;
  FReport.Log("korvane", "outputs cannot be noted as complete: " + Error);
}

void TBatchRunner::StartFile(TSlot &Slot, size_t File) {
  const TBatchEntry &Entry = FBatch.Files[File].Entry;
  switch (Entry.Kind) {
    case TBatchEntry::TKind::File: break;
    case TBatchEntry::TKind::NotMedia:
      Settle(File, TOutcome::Skipped, "not media: " + Entry.Reason, true);
      return;
    case TBatchEntry::TKind::Skipped: Settle(File, TOutcome::Skipped, Entry.Reason); return;
    case TBatchEntry::TKind::Failed: Settle(File, TOutcome::Failed, Entry.Reason); return;
  }
  {
    std::lock_guard Guard(FBatch.Lock);
    Slot.File = static_cast<int>(File);
  }
  TFileJobPlan Plan;
  Plan.Input = Entry.Path;
  Plan.Choices = FChoices;
  Plan.Subfolder = Entry.Subfolder;
  Plan.Pick = FFileChoices.Pick;
  Plan.PreviewMs = FFileChoices.PreviewMs;
  if (!FPlanned.empty()) Plan.Planned = FPlanned[File];
  // The output's name is one no other file of the batch has; it is kept
  // once the file has a task.
  Plan.Taken = [this](const std::string &Name) {
    return FReserved.count(Name) > 0 || FPlannedNames.count(Name) > 0;
  };
  Slot.Job = std::make_unique<TFileJob>(
      Slot.Engine, TFileJobShared{&FJournal, &FProbe.Probe(), FSkipping, FChoices.KeepFileDate}, Slot);
  if (Slot.Job->Begin(std::move(Plan)) == TFileJob::TState::Ready) Slot.Job->Start();
}

bool TBatchRunner::Poll() {
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
  for (TSlot *Slot : Ended) TaskOver(*Slot);
  return true;
}

void TBatchRunner::TaskOver(TSlot &Slot) {
  // Clearing the slot's tasks waits for the run's thread, which may be
  // delivering an event: outside the lock. Its files are closed after it,
  // for the next run to read and for the end to measure.
  Slot.Engine.ClearTasks();
  TOutcome Outcome;
  std::string Message, Note;
  {
    std::lock_guard Guard(FBatch.Lock);
    const TFileState &F = Slot.FileState();
    Outcome = F.Outcome;
    Message = F.Message;
    Note = F.Note;
  }
  if (Slot.Job->TaskEnded(Outcome, Message, Note) == TFileJob::TState::BetweenRuns) Slot.Job->NextRun();
}

void TBatchRunner::ShowProgress() {
  std::vector<TFileProgress> Running;
  {
    std::lock_guard Guard(FBatch.Lock);
    for (const TSlot &Slot : FSlots) {
      if (Slot.File < 0) continue;
      const TFileState &F = Slot.FileState();
      if (F.Outcome == TOutcome::Running)
        Running.push_back({static_cast<size_t>(Slot.File), F.Entry.Path, F.Progress, F.Started, F.Began});
    }
  }
  FReport.Progress(Running);
}

// A file's end, as soon as it ends: a file that hangs or takes long never
// hides the results of the others.
void TBatchRunner::Report(size_t File) {
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
    End.Bytes = F.Bytes;
    End.SourceBytes = F.SourceBytes;
    if (F.Began != TClock::time_point())
      End.Seconds =
          std::chrono::duration<double>((F.Ended == TClock::time_point() ? TClock::now() : F.Ended) - F.Began)
              .count();
  }
  FReport.Ended(End);
}

TBatchCounts TBatchRunner::Counts() {
  TBatchCounts Counts;
  std::lock_guard Guard(FBatch.Lock);
  for (const TFileState &F : FBatch.Files) Counts.Count(F.Outcome, F.NotMedia);
  return Counts;
}

// The end: files never handed to a slot count as stopped and get their
// line now, then the counts.
int TBatchRunner::Summary() {
  for (size_t I = 0; I < FBatch.Files.size(); ++I) Report(I);
  const TBatchCounts Totals = Counts();
  const int Status = Totals.ExitStatus(StopSignal());
  FReport.Summary(Totals, Status);
  return Status;
}

void TBatchRunner::CheckFilesFit() {
  const TRowChoices &Pick = FFileChoices.Pick;
  const bool Tracks = !Pick.AudioTracks.empty() || !Pick.Subtitles.empty() || Pick.BurnSubtitle > 0;
  const int64_t Start = FFileChoices.PreviewMs.value_or(Pick.StartMs);
  const bool Sized = !FFileChoices.PreviewMs &&
                     (FChoices.TargetBytes != 0 || FileSizeItemBytes(FForm.ComboVideoBitrate.Text()));
  if (!Tracks && Start <= 0 && !Sized) return;
  TAVProbe &Probe = FProbe.Probe();
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

int TBatchRunner::Run() {
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

// ---- A slot as its file's job sees it ----

TMediaKind TBatchRunner::TSlot::ReadFile(TFileRowTexts &Row, std::string &Reason) {
  const TBatchEntry &Entry = FileState().Entry;
  // A file that was named is converted whatever it holds; converting it
  // says what is wrong with it.
  const TMediaKind Kind = Owner.FProbe.Read(Entry.Path, Entry.Found, Owner.FTurned, Row, Reason);
  if (Kind == TMediaKind::Failed) Reason = FailureLine(Entry.Path, Reason);
  return Kind;
}

void TBatchRunner::TSlot::Log(const std::string &Line) { Owner.FReport.Log(FileState().Entry.Path, Line); }

void TBatchRunner::TSlot::SizeReached(const std::string &Summary) {
  if (Owner.FShown >= llInfo) Log(Summary);
}

void TBatchRunner::TSlot::OutputClaimed(const std::string &Output) {
  std::lock_guard Guard(Owner.FBatch.Lock);
  Claimed = *Owner.FReserved.insert(Owner.FBatch.Keep(Output)).first;
}

void TBatchRunner::TSlot::RunStarting(int Run, const std::string &Output) {
  {
    std::lock_guard Guard(Owner.FBatch.Lock);
    TFileState &F = FileState();
    if (Run > 1) {
      F.Outcome = TOutcome::Running;
      F.Message = {};
      return;
    }
    F.Output = Claimed;
    F.Began = TClock::now();
  }
  Owner.FReport.Started(FileState().Entry.Path, Output);
}

// The slot takes the next file. An output created for the file goes with
// the tasks while still empty.
void TBatchRunner::TSlot::Ended(const TFileJobEnd &End) {
  Engine.ClearTasks();
  size_t Ended;
  {
    std::lock_guard Guard(Owner.FBatch.Lock);
    TFileState &F = FileState();
    F.Outcome = End.Outcome;
    if (F.Message != End.Reason) F.Message = Owner.FBatch.Keep(End.Reason);
    if (F.Note != End.Note) F.Note = Owner.FBatch.Keep(End.Note);
    if (F.Output != End.Output) F.Output = Owner.FBatch.Keep(End.Output);
    F.NotMedia = End.NotMedia;
    F.Bytes = End.Bytes;
    F.SourceBytes = End.SourceBytes;
    Ended = static_cast<size_t>(File);
    File = -1;
  }
  Owner.Report(Ended);
}

}  // namespace korvane::convert
