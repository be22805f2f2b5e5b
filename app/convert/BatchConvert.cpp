// Converting files with the component, several at once, with progress on
// standard error, Ctrl-C to stop, and a summary at the end.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "Commands.h"
#include "CoreShare.h"
#include "FFmpegVCL.h"
#include "OutputNaming.h"
#include "ProfileChoice.h"
#include "RowSetup.h"

namespace korvane::convert {

namespace {

std::atomic<bool> Interrupted{false};

void OnInterrupt(int) {
  Interrupted = true;
  signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the program at once
}

enum class TOutcome { Waiting, Running, Done, Failed, Stopped };

struct TFileState {
  std::string Input, Output;
  TOutcome Outcome = TOutcome::Waiting;
  std::string Message;
  TProgressInfo Progress;
  std::chrono::steady_clock::time_point Started;
};

// What the component's events tell, read by the main thread. The events come
// on the tasks' threads; they only write here and wake the main thread.
struct TBatch {
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<TFileState> Files;
  std::vector<int> TaskFiles;  // file of each task index
  bool AllEnded = false;
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

TLogLevel LevelNamed(const std::string &Name) {
  if (Name == "quiet") return llQuiet;
  if (Name == "info") return llInfo;
  if (Name == "debug") return llDebug;
  if (Name == "all") return llAll;
  return llError;
}

}  // namespace

int ConvertFiles(const TCommandLine &Command, const std::string &LibraryFolder) {
  TProfileForm Form = SelectProfile(Command.Profile);
  ApplyPicks(Command, Form);
  if (!WritableFolder(Command.OutputFolder))
    throw EUsageError("the output folder '" + Command.OutputFolder +
                      "' does not exist or cannot be written to");

  TBatch Batch;
  TFFmpegVCL Component;
  // Tasks send their own lines at every level; only those up to the chosen
  // one are shown (failures appear in the summary anyway).
  const TLogLevel Shown = LevelNamed(Command.LogLevel);
  Component.SetLogLevel(Shown);
  if (!Component.LoadMediaLibraries(LibraryFolder)) {
    std::fprintf(stderr, "Some files are missing. Please re-install this software\n%s\n",
                 Component.LastError().c_str());
    return 1;
  }
  std::mutex PrintLock;
  Component.OnLog = [&](int AIndex, TLogLevel Level, const std::string &Message) {
    if (Level == llQuiet || Level > Shown) return;
    std::string Name = "korvane";
    {
      std::lock_guard Guard(Batch.Lock);
      if (AIndex >= 0 && AIndex < static_cast<int>(Batch.TaskFiles.size()))
        Name = Batch.Files[static_cast<size_t>(Batch.TaskFiles[static_cast<size_t>(AIndex)])].Input;
    }
    std::lock_guard Guard(PrintLock);
    std::fprintf(stderr, "[%s] %s\n", Name.c_str(), Message.c_str());
  };
  Component.OnProgress = [&](int AIndex, int Frames, int FPS, int Duration, float Quality, float BitRate,
                             int64_t Size, int Total) {
    std::lock_guard Guard(Batch.Lock);
    if (AIndex < 0 || AIndex >= static_cast<int>(Batch.TaskFiles.size())) return;
    TFileState &F = Batch.Files[static_cast<size_t>(Batch.TaskFiles[static_cast<size_t>(AIndex)])];
    if (F.Outcome == TOutcome::Waiting) {
      F.Outcome = TOutcome::Running;
      F.Started = std::chrono::steady_clock::now();
    }
    F.Progress = {Frames, FPS, Duration, Quality, BitRate, Size, Total};
    Batch.Changed.notify_all();
  };
  Component.OnTerminate = [&](int AIndex, bool Finished, bool Exception, const std::string &Message) {
    std::lock_guard Guard(Batch.Lock);
    if (AIndex < 0) {
      Batch.AllEnded = true;
    } else if (AIndex < static_cast<int>(Batch.TaskFiles.size())) {
      TFileState &F = Batch.Files[static_cast<size_t>(Batch.TaskFiles[static_cast<size_t>(AIndex)])];
      F.Outcome = Exception ? TOutcome::Failed : Finished ? TOutcome::Done : TOutcome::Stopped;
      F.Message = Message;
    }
    Batch.Changed.notify_all();
  };

  // Each file becomes a task as the window sets a row up: the source, then
  // the profile's settings with volume and aspect, into a free output name.
  const int Volume = Command.Volume.value_or(DefaultVolumePosition);
  // The jobs share the cores: each task's codecs get their part, unless the
  // user's own "threads" line (which comes later) says otherwise.
  const TCoreShare Share =
      ShareCores(Command.Jobs, Command.Files.size(), std::thread::hardware_concurrency());
  std::string Extra = "threads=" + std::to_string(Share.ThreadsPerTask) + "\n";
  for (const std::string &Line : Command.Options) Extra += Line + "\n";
  Batch.Files.resize(Command.Files.size());
  for (size_t I = 0; I < Command.Files.size(); ++I) {
    TFileState &F = Batch.Files[I];
    F.Input = Command.Files[I];
    TFileRowTexts Row;
    if (Component.AVProbe().LoadFile(F.Input, "")) Row = FileRowTexts(Component.AVProbe());
    Component.AVProbe().CloseFile();
    TInputOptions Input;
    Input.FileName = F.Input;
    Input.StartTime = 0;
    const int Index = Component.AddTask(F.Input, &Input);
    if (Index < 0) {
      F.Outcome = TOutcome::Failed;
      F.Message = Component.LastError();
      continue;
    }
    F.Output = OutputFileName(Command.OutputFolder, F.Input, Form.OutputExtension, Command.Overwrite);
    TOutputOptions Output = RowOutputOptions(Form, Volume, Row.VideoSize, Row.DisplayAspect);
    Output.ExtOptions = Extra;
    Output.TimeRanges = Command.HookRanges;
    if (!Component.SetTaskOutput(Index, F.Output, &Output)) {
      F.Outcome = TOutcome::Failed;
      F.Message = Component.LastError();
      Component.RemoveTask(Index);
      continue;
    }
    Batch.TaskFiles.push_back(static_cast<int>(I));
  }

  const bool Terminal = isatty(STDERR_FILENO);
  Interrupted = false;
  signal(SIGINT, OnInterrupt);
  if (!Batch.TaskFiles.empty()) {
    Component.StartTasks(Share.Jobs);
    bool StopAsked = false;
    size_t Drawn = 0;  // lines of the last redraw on a terminal
    std::unique_lock Guard(Batch.Lock);
    while (!Batch.AllEnded) {
      Batch.Changed.wait_for(Guard, std::chrono::milliseconds(200));
      if (Interrupted && !StopAsked) {
        StopAsked = true;
        Guard.unlock();
        Component.StopAllTasks();
        Guard.lock();
        continue;
      }
      std::vector<std::string> Lines;
      for (const TFileState &F : Batch.Files)
        if (F.Outcome == TOutcome::Running) Lines.push_back(ProgressLine(F));
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
  }
  signal(SIGINT, SIG_DFL);

  // The summary, in the order the files were given.
  int Done = 0, Failed = 0, Stopped = 0;
  for (const TFileState &F : Batch.Files) {
    switch (F.Outcome) {
      case TOutcome::Done:
        ++Done;
        std::fprintf(stderr, "done     %s -> %s\n", F.Input.c_str(), F.Output.c_str());
        break;
      case TOutcome::Failed:
        ++Failed;
        std::fprintf(stderr, "failed   %s: %s\n", F.Input.c_str(), F.Message.c_str());
        break;
      default:
        ++Stopped;
        std::fprintf(stderr, "stopped  %s%s%s\n", F.Input.c_str(), F.Output.empty() ? "" : " -> ",
                     F.Output.c_str());
        break;
    }
  }
  std::fprintf(stderr, "%d done, %d failed, %d stopped\n", Done, Failed, Stopped);
  if (Interrupted) return 130;
  return Failed > 0 ? 1 : 0;
}

}  // namespace korvane::convert
