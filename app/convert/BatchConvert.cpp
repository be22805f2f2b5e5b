// SPDX-License-Identifier: GPL-3.0-or-later
// Converting files with the component, several at once, with progress on
// standard error, Ctrl-C to stop, and a summary at the end.
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

namespace korvane::convert {

namespace {

sigset_t StopSignals() {
  sigset_t Signals;
  sigemptyset(&Signals);
  sigaddset(&Signals, SIGINT);
  sigaddset(&Signals, SIGTERM);
  return Signals;
}

// Takes SIGINT and SIGTERM on a thread of its own while it lives, so that
// stopping is ordinary code rather than a signal handler: the first signal
// calls OnStop, a second one ends the program at once. A repeat within a
// second is the same request: timeout(1) and service managers send their
// signal to the process and to its process group alike. The signals are
// blocked in every thread (BlockStopSignals) and read from a signalfd; an
// eventfd wakes the thread the moment the batch ends, so that the program's
// exit never waits for it.
class TSignalWatcher {
 public:
  explicit TSignalWatcher(std::function<void(int Signal)> OnStop) : FOnStop(std::move(OnStop)) {
    const sigset_t Signals = StopSignals();
    FSignals = signalfd(-1, &Signals, SFD_CLOEXEC);
    FWake = eventfd(0, EFD_CLOEXEC);
    if (FSignals < 0 || FWake < 0) {
      Close();
      throw std::runtime_error(std::string("cannot watch for stop signals: ") + std::strerror(errno));
    }
    FThread = std::thread([this] { Watch(); });
  }
  ~TSignalWatcher() {
    const uint64_t One = 1;
    while (write(FWake, &One, sizeof One) < 0 && errno == EINTR) {
    }
    FThread.join();
    Close();
  }
  TSignalWatcher(const TSignalWatcher &) = delete;
  TSignalWatcher &operator=(const TSignalWatcher &) = delete;

 private:
  void Watch() {
    constexpr std::chrono::seconds RepeatGrace{1};
    bool Stopping = false;
    std::chrono::steady_clock::time_point FirstAt;
    for (;;) {
      pollfd Waits[] = {{FSignals, POLLIN, 0}, {FWake, POLLIN, 0}};
      if (poll(Waits, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (Waits[1].revents) return;  // the batch has ended
      signalfd_siginfo Info{};
      if (read(FSignals, &Info, sizeof Info) != static_cast<ssize_t>(sizeof Info)) continue;
      const int Signal = static_cast<int>(Info.ssi_signo);
      const auto Now = std::chrono::steady_clock::now();
      if (Stopping) {
        if (Now - FirstAt < RepeatGrace) continue;
        // The second signal: the default action, now.
        signal(Signal, SIG_DFL);
        UnblockStopSignals();
        raise(Signal);
      }
      Stopping = true;
      FirstAt = Now;
      FOnStop(Signal);
    }
  }
  void Close() {
    if (FSignals >= 0) close(FSignals);
    if (FWake >= 0) close(FWake);
    FSignals = FWake = -1;
  }

  std::function<void(int)> FOnStop;
  int FSignals = -1, FWake = -1;
  std::thread FThread;
};

enum class TOutcome { Waiting, Running, Done, Failed, Stopped };

struct TFileState {
  std::string Input;
  std::string_view Output;  // kept in TBatch::Texts
  TOutcome Outcome = TOutcome::Waiting;
  std::string_view Message;  // kept in TBatch::Texts
  TProgressInfo Progress;
  std::chrono::steady_clock::time_point Started;
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

TLogLevel LevelNamed(const std::string &Name) {
  if (Name == "quiet") return llQuiet;
  if (Name == "info") return llInfo;
  if (Name == "debug") return llDebug;
  if (Name == "all") return llAll;
  return llError;
}

}  // namespace

void BlockStopSignals() {
  const sigset_t Signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &Signals, nullptr);
}

void UnblockStopSignals() {
  const sigset_t Signals = StopSignals();
  pthread_sigmask(SIG_UNBLOCK, &Signals, nullptr);
}

int ConvertFiles(const TCommandLine &Command, const std::string &LibraryFolder) {
  TProfileForm Form = SelectProfile(Command.Profile);
  ApplyPicks(Command, Form);
  if (!WritableFolder(Command.OutputFolder))
    throw EUsageError("the output folder '" + Command.OutputFolder +
                      "' does not exist or cannot be written to");

  TBatch Batch;
  Batch.Files.resize(Command.Files.size());
  for (size_t I = 0; I < Command.Files.size(); ++I) Batch.Files[I].Input = Command.Files[I];
  // Tasks send their own lines at every level; only those up to the chosen
  // one are shown (failures appear in the summary anyway).
  const TLogLevel Shown = LevelNamed(Command.LogLevel);
  // The jobs share the cores: each task's codecs get their part, unless the
  // user's own "threads" line (which comes later) says otherwise.
  const TCoreShare Share =
      ShareCores(Command.Jobs, Command.Files.size(), std::thread::hardware_concurrency());
  // No more jobs than files.
  const size_t Jobs = std::clamp<size_t>(Command.Files.size(), 1, static_cast<size_t>(Share.Jobs));
  std::mutex PrintLock;
  std::vector<TSlot> Slots(Jobs);
  for (TSlot &Slot : Slots) {
    Slot.Component = std::make_unique<TFFmpegVCL>();
    TFFmpegVCL &Component = *Slot.Component;
    Component.SetLogLevel(Shown);
    if (!Component.LoadMediaLibraries(LibraryFolder)) {
      std::fprintf(stderr, "Some files are missing. Please re-install this software\n%s\n",
                   Component.LastError().c_str());
      return 1;
    }
    // The file a slot's event is about; the slot's one task is always 0.
    const auto FileOf = [&Batch, &Slot](int AIndex) -> TFileState * {
      if (AIndex != 0 || Slot.File < 0) return nullptr;
      return &Batch.Files[static_cast<size_t>(Slot.File)];
    };
    // Every component hears every library line, with -1 where the line is
    // not from one of its own tasks: such lines are shown once, by the first
    // slot, and only when they come from this thread (the probe's).
    const bool ShowsOthers = &Slot == &Slots.front();
    const pid_t MainThread = CurrentThreadID();
    Component.OnLog = [&, FileOf, ShowsOthers, MainThread](int AIndex, TLogLevel Level,
                                                           const std::string &Message) {
      if (Level == llQuiet || Level > Shown) return;
      if (AIndex < 0 && !(ShowsOthers && CurrentThreadID() == MainThread)) return;
      std::string Name = "korvane";
      {
        std::lock_guard Guard(Batch.Lock);
        if (const TFileState *F = FileOf(AIndex)) Name = F->Input;
      }
      std::lock_guard Guard(PrintLock);
      std::fprintf(stderr, "[%s] %s\n", Name.c_str(), Message.c_str());
    };
    Component.OnProgress = [&, FileOf](int AIndex, int Frames, int FPS, int Duration, float Quality,
                                       float BitRate, int64_t Size, int Total) {
      std::lock_guard Guard(Batch.Lock);
      TFileState *F = FileOf(AIndex);
      if (!F) return;
      if (F->Outcome == TOutcome::Waiting) {
        F->Outcome = TOutcome::Running;
        F->Started = std::chrono::steady_clock::now();
      }
      F->Progress = {Frames, FPS, Duration, Quality, BitRate, Size, Total};
      Batch.Changed.notify_all();
    };
    Component.OnTerminate = [&, FileOf](int AIndex, bool Finished, bool Exception,
                                        const std::string &Message) {
      std::lock_guard Guard(Batch.Lock);
      TFileState *F = FileOf(AIndex);
      if (!F) return;
      F->Outcome = Exception ? TOutcome::Failed : Finished ? TOutcome::Done : TOutcome::Stopped;
      F->Message = Batch.Keep(Message);
      Batch.Changed.notify_all();
    };
  }
  TAVProbe &Probe = Slots.front().Component->AVProbe();

  // SIGINT (Ctrl-C) and SIGTERM both stop the batch: the runs finish their
  // outputs so far, an input being opened gives up, nothing more starts.
  const TSignalWatcher Watcher([&](int Signal) {
    {
      std::lock_guard Guard(Batch.Lock);
      Batch.StopSignal = Signal;
      Batch.Changed.notify_all();
    }
    for (TSlot &Slot : Slots) Slot.Component->StopAllTasks();
  });
  const auto StopSignal = [&Batch] {
    std::lock_guard Guard(Batch.Lock);
    return Batch.StopSignal;
  };
  const auto Finish = [&Batch](size_t File, TOutcome Outcome, const std::string &Message) {
    std::lock_guard Guard(Batch.Lock);
    Batch.Files[File].Outcome = Outcome;
    Batch.Files[File].Message = Batch.Keep(Message);
  };
  // A slot whose file has ended takes the next one. Clearing its tasks waits
  // for the run's thread, which may be delivering an event: outside the lock.
  const auto FreeSlot = [&Batch](TSlot &Slot) {
    Slot.Component->ClearTasks();
    std::lock_guard Guard(Batch.Lock);
    Slot.File = -1;
  };
  // Under Batch.Lock: whether the slot's file has reported its end.
  const auto SlotEnded = [&Batch](const TSlot &Slot) {
    if (Slot.File < 0) return false;
    const TOutcome Outcome = Batch.Files[static_cast<size_t>(Slot.File)].Outcome;
    return Outcome != TOutcome::Waiting && Outcome != TOutcome::Running;
  };

  // Each file becomes a task as the window sets a row up: the source, then
  // the profile's settings with volume and aspect, into an output name no
  // other file of the batch has. The row describes the picture as the
  // engine will have it: turned upright unless the lines say otherwise.
  const int Volume = Command.Volume.value_or(DefaultVolumePosition);
  const bool Turned = TurnsPictures(Command.Options);
  std::string Extra = "threads=" + std::to_string(Share.ThreadsPerTask) + "\n";
  for (const std::string &Line : Command.Options) Extra += Line + "\n";
  std::pmr::set<std::string_view> Reserved(&Batch.Texts);  // under Batch.Lock
  const auto StartFile = [&](TSlot &Slot, size_t File) {
    TFFmpegVCL &Component = *Slot.Component;
    TFileState &F = Batch.Files[File];
    TFileRowTexts Row;
    if (Probe.LoadFile(F.Input, "")) Row = FileRowTexts(Probe, Turned);
    Probe.CloseFile();
    {
      std::lock_guard Guard(Batch.Lock);
      Slot.File = static_cast<int>(File);
    }
    // Message by value: clearing the tasks clears the component's LastError.
    // An output created for the file goes with the tasks while still empty.
    const auto Release = [&](TOutcome Outcome, std::string Message) {
      Finish(File, Outcome, Message);
      FreeSlot(Slot);
    };
    TInputOptions Input;
    Input.FileName = F.Input;
    Input.StartTime = 0;
    if (Component.AddTask(F.Input, &Input) < 0) {
      Release(StopSignal() ? TOutcome::Stopped : TOutcome::Failed, Component.LastError());
      return;
    }
    std::string_view Output;
    {
      std::lock_guard Guard(Batch.Lock);
      Output = *Reserved
                    .insert(Batch.Keep(OutputFileName(
                        Command.OutputFolder, F.Input, Form.OutputExtension, Command.Overwrite,
                        [&Reserved](const std::string &Name) { return Reserved.count(Name) > 0; })))
                    .first;
    }
    TOutputOptions Options =
        RowConversionOptions(Form, Volume, Row.VideoSize, Row.DisplayAspect, Row.Rotation, false);
    Options.ExtOptions += Extra;
    Options.TimeRanges = Command.HookRanges;
    if (!Component.SetTaskOutput(0, std::string(Output), &Options)) {
      Release(TOutcome::Failed, Component.LastError());
      return;
    }
    if (StopSignal()) {
      Release(TOutcome::Stopped, "");
      return;
    }
    {
      std::lock_guard Guard(Batch.Lock);
      F.Output = Output;
    }
    Component.StartTasks(1);
  };

  const bool Terminal = isatty(STDERR_FILENO);
  size_t Next = 0;   // the first file not handed to a slot yet
  size_t Drawn = 0;  // lines of the last redraw on a terminal
  for (;;) {
    for (TSlot &Slot : Slots)
      while (Slot.File < 0 && Next < Batch.Files.size() && !StopSignal()) StartFile(Slot, Next++);

    std::vector<TSlot *> Ended;
    bool Busy = false;
    {
      std::unique_lock Guard(Batch.Lock);
      const auto Look = [&] {
        Ended.clear();
        Busy = false;
        for (TSlot &Slot : Slots) {
          Busy |= Slot.File >= 0;
          if (SlotEnded(Slot)) Ended.push_back(&Slot);
        }
      };
      Look();
      if (!Busy && (Next >= Batch.Files.size() || Batch.StopSignal)) break;
      if (Ended.empty()) {
        Batch.Changed.wait_for(Guard, std::chrono::milliseconds(200));
        Look();
      }
    }
    for (TSlot *Slot : Ended) FreeSlot(*Slot);

    std::vector<std::string> Lines;
    {
      std::lock_guard Guard(Batch.Lock);
      for (const TSlot &Slot : Slots)
        if (Slot.File >= 0 && Batch.Files[static_cast<size_t>(Slot.File)].Outcome == TOutcome::Running)
          Lines.push_back(ProgressLine(Batch.Files[static_cast<size_t>(Slot.File)]));
    }
    std::lock_guard Print(PrintLock);
    if (Terminal) {
      if (Drawn) std::fprintf(stderr, "\x1b[%zuA", Drawn);
      for (const std::string &Line : Lines) std::fprintf(stderr, "\x1b[2K%s\n", Line.c_str());
      if (Lines.size() < Drawn) std::fprintf(stderr, "\x1b[J");
      Drawn = Lines.size();
    } else {
      for (const std::string &Line : Lines) std::fprintf(stderr, "%s\n", Line.c_str());
    }
  }

  // The summary, in the order the files were given; files never handed to a
  // slot count as stopped.
  int Done = 0, Failed = 0, Stopped = 0;
  for (const TFileState &F : Batch.Files) {
    switch (F.Outcome) {
      case TOutcome::Done:
        ++Done;
        std::fprintf(stderr, "done     %s -> %s\n", F.Input.c_str(), F.Output.data());
        break;
      case TOutcome::Failed:
        ++Failed;
        std::fprintf(stderr, "failed   %s: %s\n", F.Input.c_str(),
                     FailureLine(F.Input, std::string(F.Message)).c_str());
        break;
      default:
        ++Stopped;
        std::fprintf(stderr, "stopped  %s%s%s\n", F.Input.c_str(), F.Output.empty() ? "" : " -> ",
                     F.Output.empty() ? "" : F.Output.data());
        break;
    }
  }
  std::fprintf(stderr, "%d done, %d failed, %d stopped\n", Done, Failed, Stopped);
  if (const int Signal = StopSignal()) return 128 + Signal;  // 130 for SIGINT, 143 for SIGTERM
  return Failed > 0 ? 1 : 0;
}

}  // namespace korvane::convert
