// SPDX-License-Identifier: GPL-3.0-or-later
// Converting files with the component, several at once, with progress on
// standard error, Ctrl-C to stop, a line for each file as it ends and the
// counts at the end.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "Commands.h"
#include "CoreShare.h"
#include "FFmpegVCL.h"
#include "FailureReasons.h"
#include "OutputNaming.h"
#include "ProfileChoice.h"
#include "RowSetup.h"
#include "SignalWatcher.h"

namespace korvane::convert {

namespace {

// Partial: finished, but the output holds much less than the source declares.
enum class TOutcome { Waiting, Running, Done, Partial, Failed, Stopped };

struct TFileState {
  std::string Input;
  std::string_view Output;  // kept in TBatch::Texts
  TOutcome Outcome = TOutcome::Waiting;
  std::string_view Message;  // kept in TBatch::Texts
  TProgressInfo Progress;
  std::chrono::steady_clock::time_point Started;
  bool Reported = false;  // its end line is printed
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
};

std::string Megabytes(int64_t Bytes) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.1fMB", static_cast<double>(Bytes) / (1024.0 * 1024.0));
  return Text;
}

std::string ProgressLine(const TFileState &F) {
  const TProgressInfo &P = F.Progress;
  const double Fraction = P.TotalOutputDuration > 0
                              ? std::min(1.0, static_cast<double>(P.CurrentDuration) / P.TotalOutputDuration)
                              : 0;
  const double Elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - F.Started).count();
  std::string ETA = "--:--";
  if (Fraction > 0.01) {
    const int Left = static_cast<int>(Elapsed * (1 - Fraction) / Fraction);
    char Text[16];
    std::snprintf(Text, sizeof Text, "%02d:%02d", Left / 60, Left % 60);
    ETA = Text;
  }
  char Text[512];
  std::snprintf(Text, sizeof Text, "%-32.32s %3d%% frames=%d fps=%d size=%s eta %s", F.Input.c_str(),
                static_cast<int>(Fraction * 100), std::max(P.FrameNumber, 0), std::max(P.FPS, 0),
                Megabytes(P.CurrentSize).c_str(), ETA.c_str());
  return Text;
}

bool WritableFolder(const std::string &Folder) {
  struct stat Status {};
  return stat(Folder.c_str(), &Status) == 0 && S_ISDIR(Status.st_mode) &&
         access(Folder.c_str(), W_OK | X_OK) == 0;
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
  for (const char C : ExplainedFailure(WithoutLeadingName(Message, Input))) {
    const bool Break = C == '\r' || C == '\n';
    if (!Break)
      Line += C;
    else if (!Line.empty() && Line.back() != ' ')
      Line += ' ';
  }
  return Line;
}

// Converts the files of one command line: each file becomes a task as the
// window sets a row up (SetUpConversion), handed to a job slot as one frees
// up; the main thread starts files, waits for the tasks' events, redraws the
// progress lines and ends with the summary.
class TBatchRun {
 public:
  TBatchRun(const TCommandLine &Command, TProfileForm Form);
  TBatchRun(const TBatchRun &) = delete;
  TBatchRun &operator=(const TBatchRun &) = delete;

  // Makes the job slots; false (after saying why) when the media libraries
  // cannot be loaded.
  bool MakeSlots(const std::string &LibraryFolder);
  // Converts every file and prints the summary; the program's exit status.
  int Run();

 private:
  void ConnectEvents(TSlot &Slot);
  void StartFile(TSlot &Slot, size_t File);
  // Waits for an event; false once the batch is over. Slots whose file
  // ended are freed for the next one.
  bool Poll();
  void Redraw();
  // Prints the end line of a file that has ended, once.
  void Report(size_t File);
  int Summary();

  void Stop(int Signal);
  int StopSignal();
  void Finish(TSlot &Slot, size_t File, TOutcome Outcome, const std::string &Message);
  void FreeSlot(TSlot &Slot);
  // Under FBatch.Lock: whether the slot's file has reported its end.
  bool SlotEnded(const TSlot &Slot) const;

  const TProfileForm FForm;
  TBatch FBatch;
  std::mutex FPrintLock;
  // Tasks send their own lines at every level; only those up to the chosen
  // one are shown (failures appear in the summary anyway). The level words
  // stand in the engine's order.
  static_assert(std::size(LogLevelNames) == llAll + 1);
  TLogLevel FShown;
  // The jobs share the cores: each task's codecs get their part, unless the
  // user's own "threads" line (which comes later) says otherwise.
  TCoreShare FShare;
  TConversionChoices FChoices;
  // The row describes the picture as the engine will have it: turned
  // upright unless the lines say otherwise.
  bool FTurned;
  std::pmr::set<std::string_view> FReserved;  // output names taken so far
  std::vector<TSlot> FSlots;
  size_t FNext = 0;   // the first file not handed to a slot yet
  size_t FDrawn = 0;  // lines of the last redraw on a terminal
  const bool FTerminal = isatty(STDERR_FILENO);
};

TBatchRun::TBatchRun(const TCommandLine &Command, TProfileForm Form)
    : FForm(std::move(Form)),
      FShown(static_cast<TLogLevel>(Command.LogLevel)),
      FShare(ShareCores(Command.Jobs, Command.Files.size(), std::thread::hardware_concurrency())),
      FTurned(TurnsPictures(Command.Options)),
      FReserved(&FBatch.Texts) {
  FBatch.Files.resize(Command.Files.size());
  for (size_t I = 0; I < Command.Files.size(); ++I) FBatch.Files[I].Input = Command.Files[I];
  FChoices.Profile = &FForm;
  FChoices.OutputFolder = Command.OutputFolder;
  FChoices.OutputExtension = FForm.OutputExtension;
  FChoices.Overwrite = Command.Overwrite;
  FChoices.VolumePosition = Command.Volume.value_or(DefaultVolumePosition);
  FChoices.CodecThreads = FShare.ThreadsPerTask;
  for (const std::string &Line : Command.Options) FChoices.ExtraOptions += Line + "\n";
  FChoices.TimeRanges = Command.HookRanges;
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
      if (const TFileState *F = FileOf(AIndex)) Name = F->Input;
    }
    std::lock_guard Guard(FPrintLock);
    std::fprintf(stderr, "[%s] %s\n", Name.c_str(), Message.c_str());
  };
  Component.OnProgress = [this, FileOf](int AIndex, int Frames, int FPS, int Duration, float Quality,
                                        float BitRate, int64_t Size, int Total) {
    std::lock_guard Guard(FBatch.Lock);
    TFileState *F = FileOf(AIndex);
    if (!F) return;
    if (F->Outcome == TOutcome::Waiting) {
      F->Outcome = TOutcome::Running;
      F->Started = std::chrono::steady_clock::now();
    }
    F->Progress = {Frames, FPS, Duration, Quality, BitRate, Size, Total};
    FBatch.Changed.notify_all();
  };
  Component.OnTerminate = [this, FileOf](int AIndex, bool Finished, bool Exception,
                                         const std::string &Message) {
    std::lock_guard Guard(FBatch.Lock);
    TFileState *F = FileOf(AIndex);
    if (!F) return;
    F->Outcome = Exception  ? TOutcome::Failed
                 : Finished ? (Message.empty() ? TOutcome::Done : TOutcome::Partial)
                            : TOutcome::Stopped;
    F->Message = FBatch.Keep(Message);
    FBatch.Changed.notify_all();
  };
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

void TBatchRun::StartFile(TSlot &Slot, size_t File) {
  TFFmpegVCL &Component = *Slot.Component;
  TFileState &F = FBatch.Files[File];
  TAVProbe &Probe = FSlots.front().Component->AVProbe();
  TFileRowTexts Row;
  if (Probe.LoadFile(F.Input, "")) Row = FileRowTexts(Probe, FTurned);
  Probe.CloseFile();
  {
    std::lock_guard Guard(FBatch.Lock);
    Slot.File = static_cast<int>(File);
  }
  // The output's name is one no other file of the batch has; it is kept
  // once the file has a task.
  TConversionSetup Setup = SetUpConversion(
      F.Input, Row, FChoices, [this](const std::string &Name) { return FReserved.count(Name) > 0; });
  if (Component.AddTask(F.Input, &Setup.Input) < 0) {
    Finish(Slot, File, StopSignal() ? TOutcome::Stopped : TOutcome::Failed, Component.LastError());
    return;
  }
  std::string_view Output;
  {
    std::lock_guard Guard(FBatch.Lock);
    Output = *FReserved.insert(FBatch.Keep(Setup.Output)).first;
  }
  if (!Component.SetTaskOutput(0, Setup.Output, &Setup.Options)) {
    Finish(Slot, File, TOutcome::Failed, Component.LastError());
    return;
  }
  if (StopSignal()) {
    Finish(Slot, File, TOutcome::Stopped, "");
    return;
  }
  {
    std::lock_guard Guard(FBatch.Lock);
    F.Output = Output;
  }
  Component.StartTasks(1);
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
  for (TSlot *Slot : Ended) FreeSlot(*Slot);
  return true;
}

void TBatchRun::Redraw() {
  std::vector<std::string> Lines;
  {
    std::lock_guard Guard(FBatch.Lock);
    for (const TSlot &Slot : FSlots)
      if (Slot.File >= 0 && FBatch.Files[static_cast<size_t>(Slot.File)].Outcome == TOutcome::Running)
        Lines.push_back(ProgressLine(FBatch.Files[static_cast<size_t>(Slot.File)]));
  }
  std::lock_guard Print(FPrintLock);
  if (FTerminal) {
    if (FDrawn) std::fprintf(stderr, "\x1b[%zuA", FDrawn);
    for (const std::string &Line : Lines) std::fprintf(stderr, "\x1b[2K%s\n", Line.c_str());
    if (Lines.size() < FDrawn) std::fprintf(stderr, "\x1b[J");
    FDrawn = Lines.size();
  } else {
    for (const std::string &Line : Lines) std::fprintf(stderr, "%s\n", Line.c_str());
  }
}

// A file's end line, as soon as it ends: a file that hangs or takes long
// never hides the results of the others. On a terminal the progress lines
// go first and come back with the next redraw.
void TBatchRun::Report(size_t File) {
  TFileState &F = FBatch.Files[File];
  std::string Line;
  {
    std::lock_guard Guard(FBatch.Lock);
    if (F.Reported) return;
    F.Reported = true;
    const std::string Output = F.Output.empty() ? "" : " -> " + std::string(F.Output);
    switch (F.Outcome) {
      case TOutcome::Done: Line = "done     " + F.Input + Output; break;
      case TOutcome::Partial:
        Line = "partial  " + F.Input + Output + ": " + FailureLine(F.Input, std::string(F.Message));
        break;
      case TOutcome::Failed:
        Line = "failed   " + F.Input + ": " + FailureLine(F.Input, std::string(F.Message));
        break;
      default: Line = "stopped  " + F.Input + Output; break;
    }
  }
  std::lock_guard Print(FPrintLock);
  if (FTerminal && FDrawn) {
    std::fprintf(stderr, "\x1b[%zuA\x1b[J", FDrawn);
    FDrawn = 0;
  }
  std::fprintf(stderr, "%s\n", Line.c_str());
}

// The end: files never handed to a slot count as stopped and get their
// line now, then the counts.
int TBatchRun::Summary() {
  int Done = 0, Partial = 0, Failed = 0, Stopped = 0;
  for (size_t I = 0; I < FBatch.Files.size(); ++I) {
    Report(I);
    switch (FBatch.Files[I].Outcome) {
      case TOutcome::Done: ++Done; break;
      case TOutcome::Partial: ++Partial; break;
      case TOutcome::Failed: ++Failed; break;
      default: ++Stopped; break;
    }
  }
  if (Partial > 0)
    std::fprintf(stderr, "%d done, %d partial, %d failed, %d stopped\n", Done, Partial, Failed, Stopped);
  else
    std::fprintf(stderr, "%d done, %d failed, %d stopped\n", Done, Failed, Stopped);
  if (const int Signal = StopSignal()) return 128 + Signal;  // 130 for SIGINT, 143 for SIGTERM
  return Failed + Partial > 0 ? 1 : 0;
}

int TBatchRun::Run() {
  const TSignalWatcher Watcher([this](int Signal) { Stop(Signal); });
  for (;;) {
    for (TSlot &Slot : FSlots)
      while (Slot.File < 0 && FNext < FBatch.Files.size() && !StopSignal()) StartFile(Slot, FNext++);
    if (!Poll()) break;
    Redraw();
  }
  return Summary();
}

}  // namespace

int ConvertFiles(const TCommandLine &Command, const std::string &LibraryFolder) {
  TProfileForm Form = SelectProfile(Command.Profile);
  ApplyPicks(Command, Form);
  if (!WritableFolder(Command.OutputFolder))
    throw EUsageError("the output folder '" + Command.OutputFolder +
                      "' does not exist or cannot be written to");
  TBatchRun Batch(Command, std::move(Form));
  if (!Batch.MakeSlots(LibraryFolder)) return 1;
  return Batch.Run();
}

}  // namespace korvane::convert
