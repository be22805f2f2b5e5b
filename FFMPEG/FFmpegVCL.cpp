// SPDX-License-Identifier: GPL-3.0-or-later
// The transcoding component: its task list, adding tasks and outputs,
// starting them one after another or side by side, stop, pause and resume,
// and the dispatchers that turn the tasks' callbacks into events.
#include "FFmpegVCL.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "AVLibraries.h"
#include "ScopeExit.h"
#include "TextFormat.h"

namespace korvane {

namespace {

// The delay of a main-thread run's start timer.
constexpr std::chrono::milliseconds StartTimerDelay{100};
// How long freeing tasks waits for their runs to end.
constexpr std::chrono::milliseconds ReleaseWait{1000};

TLogLevel ToLogLevel(int EngineLevel) {
  if (EngineLevel < 0) return llQuiet;
  if (EngineLevel > 3) return llAll;
  return static_cast<TLogLevel>(EngineLevel + 1);
}

}  // namespace

// ---- Task list ----

int TFFmpegList::Add(std::shared_ptr<TFFmpeg> Task) {
  Task->FTaskIndex = Count();
  FItems.push_back(std::move(Task));
  return Count() - 1;
}

const std::shared_ptr<TFFmpeg> &TFFmpegList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) throw std::out_of_range(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

std::shared_ptr<TFFmpeg> TFFmpegList::Extract(int Index) {
  std::shared_ptr<TFFmpeg> Task = Get(Index);
  FItems.erase(FItems.begin() + Index);
  for (int I = Index; I < Count(); ++I) FItems[static_cast<size_t>(I)]->FTaskIndex = I;
  return Task;
}

std::vector<std::shared_ptr<TFFmpeg>> TFFmpegList::ExtractAll() { return std::exchange(FItems, {}); }

TFFmpeg *TFFmpegList::FindByThreadID(pid_t ThreadID) const {
  for (const auto &Task : FItems)
    if (Task->FThreadID == ThreadID && Task->FRunning) return Task.get();
  return nullptr;
}

TFFmpeg *TFFmpegList::Find(const TCustomFFmpeg *Task) const {
  for (const auto &Item : FItems)
    if (Item.get() == Task) return Item.get();
  return nullptr;
}

// ---- Locks and thread leases ----

class TCustomFFmpegVCL::TLease : public TThreadLease {
 public:
  explicit TLease(TCustomFFmpegVCL &Owner) : FOwner(Owner) {
    std::lock_guard Guard(FOwner.FThreadsLock);
    ++FOwner.FLiveThreads;
  }
  // Announced under the lock: once the count is 0 the component may go.
  ~TLease() override {
    std::lock_guard Guard(FOwner.FThreadsLock);
    if (--FOwner.FLiveThreads == 0) FOwner.FThreadsEnded.notify_all();
  }

 private:
  TCustomFFmpegVCL &FOwner;
};

TThreadLeaseHolder TCustomFFmpegVCL::NewLease() { return std::make_unique<TLease>(*this); }

// ---- Life ----

TCustomFFmpegVCL::TCustomFFmpegVCL() {
  FLogSinkID = RegisterLogSink([this](pid_t ThreadID, int Level, const std::string &Line) {
    RouteLibraryLine(ThreadID, Level, Line);
  });
}

TCustomFFmpegVCL::~TCustomFFmpegVCL() { Shutdown(); }

void TCustomFFmpegVCL::Shutdown() {
  if (FShutDown) return;
  FShutDown = true;
  UnregisterLogSink(FLogSinkID);
  std::vector<std::shared_ptr<TFFmpeg>> Tasks;
  {
    TGuard Guard(FLock);
    if (FAdding) FAdding->RequestStop();
    FRoundActive = false;
    FRunningTasks.clear();
    FTimers.clear();
    Tasks = FTasks.ExtractAll();
    for (const auto &Task : Tasks) Task->FQueueState = TQueueState::Idle;
  }
  ReleaseTasks(std::move(Tasks));
  // A thread still running calls back into this object: wait for it, however
  // long it takes, rather than leave it freed memory.
  std::unique_lock Guard(FThreadsLock);
  FThreadsEnded.wait(Guard, [this] { return FLiveThreads == 0; });
}

void TCustomFFmpegVCL::ReleaseTasks(std::vector<std::shared_ptr<TFFmpeg>> Tasks) {
  for (const auto &Task : Tasks) Task->RequestStop();
  const auto Deadline = std::chrono::steady_clock::now() + ReleaseWait;
  for (const auto &Task : Tasks) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    Task->StopAndWait(std::max(Left, std::chrono::milliseconds(0)));
  }
}

// ---- Properties ----

TLogLevel TCustomFFmpegVCL::LogLevel() const {
  TGuard Guard(FLock);
  return FLogLevel;
}

void TCustomFFmpegVCL::SetLogLevel(TLogLevel Level) {
  {
    TGuard Guard(FLock);
    FLogLevel = Level;
  }
  if (AVLibrariesLoaded()) SetLibraryLogLevel(static_cast<int>(Level) - 1);
}

int TCustomFFmpegVCL::ProgressInterval() const {
  TGuard Guard(FLock);
  return FProgressInterval;
}

void TCustomFFmpegVCL::SetProgressInterval(int Milliseconds) {
  TGuard Guard(FLock);
  FProgressInterval = std::max(Milliseconds, 100);
}

TConvertPriority TCustomFFmpegVCL::ThreadPriority() const {
  TGuard Guard(FLock);
  return FThreadPriority;
}

void TCustomFFmpegVCL::SetThreadPriority(TConvertPriority Priority) {
  TGuard Guard(FLock);
  FThreadPriority = Priority;
}

int TCustomFFmpegVCL::TaskCount() const {
  TGuard Guard(FLock);
  return FTasks.Count();
}

std::shared_ptr<TFFmpeg> TCustomFFmpegVCL::Task(int Index) const {
  TGuard Guard(FLock);
  return FTasks.Get(Index);
}

// ---- Libraries, tasks and outputs ----

bool TCustomFFmpegVCL::LoadMediaLibraries(const std::string &Directory, bool UseVersionNumbers) {
  const bool Loaded = LoadAVLibraries(Directory, UseVersionNumbers);
  if (Loaded) {
    InstallLogCallback();
    SetLibraryLogLevel(static_cast<int>(LogLevel()) - 1);
  } else {
    FLastError = AVLibrariesError();
  }
  return Loaded;
}

void TCustomFFmpegVCL::ConnectCallbacks(TFFmpeg &Task) {
  // Only TFFmpeg tasks of this component are connected, so the casts hold.
  Task.FOnLog = [this](TCustomFFmpeg &T, int Level, const std::string &Text) {
    DoLog(static_cast<TFFmpeg *>(&T), Level, Text);
  };
  Task.FOnProgress = [this](TCustomFFmpeg &T, const TProgressInfo &Info) {
    DoProgress(static_cast<TFFmpeg *>(&T), Info);
  };
  Task.FOnTerminate = [this](TCustomFFmpeg &T) { DoTerminate(static_cast<TFFmpeg *>(&T)); };
}

int TCustomFFmpegVCL::AddTask(const std::string &FileName, TInputOptions *InputOptions) {
  try {
    auto Task = std::make_shared<TFFmpeg>();
    Task->PrepareOptions();
    Task->SetVerbosity(static_cast<int>(LogLevel()) - 1);
    if (InputOptions) {
      if (InputOptions->FileName.empty()) InputOptions->FileName = FileName;
      Task->ApplyInputOptions(*InputOptions);
    }
    // Opening may wait on a source that never answers: a stop reaches it
    // while it waits, and the task gives up after the probe's time limit.
    {
      TGuard Guard(FLock);
      FAdding = Task;
    }
    const TScopeExit Added([this] {
      TGuard Guard(FLock);
      FAdding.reset();
    });
    if (!Task->OpenInputFile(FileName)) {
      FLastError = Task->State().FErrorText;
      return -1;
    }
    TGuard Guard(FLock);
    if (Task->FStopRequested) {
      FLastError = TCustomFFmpeg::StoppedOpenText(FileName);
      return -1;
    }
    ConnectCallbacks(*Task);
    return FTasks.Add(std::move(Task));
  } catch (const std::exception &E) {
    FLastError = E.what();
    return -1;
  }
}

bool TCustomFFmpegVCL::SetTaskOutput(int Index, const std::string &FileName, TOutputOptions *OutputOptions) {
  try {
    std::shared_ptr<TFFmpeg> Task;
    {
      TGuard Guard(FLock);
      Task = FTasks.Get(Index);
    }
    if (OutputOptions) {
      if (OutputOptions->FileName.empty()) OutputOptions->FileName = FileName;
      Task->ApplyOutputOptions(*OutputOptions);
      if (OutputOptions->CustomHook) {
        Task->FOnCustomHook = [this](TCustomFFmpeg &T, TRGBPicture &Picture, int FrameNumber, int64_t PTS,
                                     bool &Update, bool &StopHook) {
          DoCustomHook(static_cast<TFFmpeg *>(&T), Picture, FrameNumber, PTS, Update, StopHook);
        };
      } else if (OutputOptions->BeforeHook) {
        Task->FOnBeforeHook = [this](TCustomFFmpeg &T, int64_t PTS, THookAction &Action) {
          DoBeforeHook(static_cast<TFFmpeg *>(&T), PTS, Action);
        };
      }
    } else {
      Task->FOutputOptions = TOutputOptions{};
    }
    if (!Task->OpenOutputFile(FileName)) {
      FLastError = Task->State().FErrorText;
      return false;
    }
    return true;
  } catch (const std::exception &E) {
    FLastError = E.what();
    return false;
  }
}

void TCustomFFmpegVCL::RemoveTask(int Index) {
  std::shared_ptr<TFFmpeg> Removed;
  {
    TGuard Guard(FLock);
    Removed = FTasks.Extract(Index);
    // A start still planned for it is off, and its slot is free again. A
    // task under way keeps its slot until its run ends (DoTerminate).
    const auto Planned = std::find_if(FTimers.begin(), FTimers.end(),
                                      [&](const TPendingTimer &T) { return T.Task == Removed; });
    if (Planned != FTimers.end()) {
      FTimers.erase(Planned);
      Removed->FQueueState = TQueueState::Idle;
      std::erase(FRunningTasks, Removed.get());
    } else if (Removed->FQueueState == TQueueState::Queued) {
      Removed->FQueueState = TQueueState::Idle;
    }
    if (FRoundActive) FillSlots();
  }
  ReleaseTasks({std::move(Removed)});
}

void TCustomFFmpegVCL::ClearTasks() {
  std::vector<std::shared_ptr<TFFmpeg>> Removed;
  {
    TGuard Guard(FLock);
    Removed = FTasks.ExtractAll();
    // The round ends with its tasks: runs still ending are no longer counted.
    for (const auto &Task : Removed) Task->FQueueState = TQueueState::Idle;
    FParallelCount = 0;
    FRunningTasks.clear();
    FRoundActive = false;
    FStopping = false;
    FTimers.clear();
  }
  FLastError.clear();
  ReleaseTasks(std::move(Removed));
}

// ---- Starting ----

void TCustomFFmpegVCL::StartTasks(int ParallelCount) {
  // Under the lock: a task that ends at once reports (and starts the next
  // one) from its own thread while this is still starting the others.
  TGuard Guard(FLock);
  ClearLogList();
  FParallelCount = ParallelCount;
  FStopping = false;
  FRoundActive = true;
  for (int I = 0; I < FTasks.Count(); ++I) {
    TFFmpeg &Task = *FTasks.Get(I);
    if (Task.FQueueState != TQueueState::Running && !Task.FRunning && !Task.FTerminated)
      Task.FQueueState = TQueueState::Queued;
  }
  FillSlots();
}

void TCustomFFmpegVCL::FillSlots() {
  // A start that fails ends inside LaunchTask, and that end comes back here:
  // the outer call goes on with the loop instead.
  if (FFillingSlots) return;
  FFillingSlots = true;
  while (FRoundActive && !FStopping && static_cast<int>(FRunningTasks.size()) < std::max(FParallelCount, 1)) {
    std::shared_ptr<TFFmpeg> Next;
    for (int I = 0; I < FTasks.Count() && !Next; ++I)
      if (FTasks.Get(I)->FQueueState == TQueueState::Queued) Next = FTasks.Get(I);
    if (!Next) break;
    Next->FQueueState = TQueueState::Running;
    FRunningTasks.push_back(Next.get());
    if (FParallelCount <= 0)
      FTimers.push_back({std::chrono::steady_clock::now() + StartTimerDelay, Next});
    else
      LaunchTask(Next);
  }
  FFillingSlots = false;

  if (!FRoundActive || !FRunningTasks.empty()) return;
  for (int I = 0; I < FTasks.Count(); ++I)
    if (FTasks.Get(I)->FQueueState == TQueueState::Queued) return;
  FRoundActive = false;
  DoTerminate(nullptr);
}

void TCustomFFmpegVCL::LaunchTask(const std::shared_ptr<TFFmpeg> &Task) {
  {
    TGuard Guard(FLock);
    // Removed, stopped or cleared since the start was planned.
    if (!FTasks.Find(Task.get()) || Task->FQueueState != TQueueState::Running) return;
    Task->FProgressIntervalUS = int64_t{FProgressInterval} * 1000;
    Task->SetVerbosity(static_cast<int>(FLogLevel) - 1);
    if (FParallelCount > 0) {
      Task->SetPaused(FPaused);
      Task->FThreadID = Task->StartRun(true, FThreadPriority, NewLease());
      if (Task->FThreadID != 0) Task->ResumeThread();
      return;
    }
    Task->FThreadID = CurrentThreadID();
  }
  Task->StartRun(false, ThreadPriority());
}

bool TCustomFFmpegVCL::ProcessTimers() {
  std::vector<std::shared_ptr<TFFmpeg>> Due;
  {
    TGuard Guard(FLock);
    const auto Now = std::chrono::steady_clock::now();
    for (auto It = FTimers.begin(); It != FTimers.end();) {
      if (It->Due <= Now) {
        Due.push_back(It->Task);
        It = FTimers.erase(It);
      } else {
        ++It;
      }
    }
  }
  for (const auto &Task : Due) LaunchTask(Task);
  TGuard Guard(FLock);
  return !FTimers.empty();
}

// ---- Stop, pause, resume ----

void TCustomFFmpegVCL::StopAllTasks() {
  TGuard Guard(FLock);
  if (FAdding) FAdding->RequestStop();
  FStopping = true;
  // A stop ends a pause too: nobody is left to resume the stopped tasks,
  // and a task started later must not start held.
  FPaused = false;
  // A copy: a stop report made right here may run a handler that changes the list.
  std::vector<std::shared_ptr<TFFmpeg>> Tasks;
  for (int I = 0; I < FTasks.Count(); ++I) Tasks.push_back(FTasks.Get(I));
  // Every task that has not ended reports its end, and the round ends after
  // the last of those reports.
  bool Pending = false;
  for (const auto &Task : Tasks) {
    if (Task->FTerminated) continue;
    Pending = true;
    if (Task->FQueueState == TQueueState::Idle) Task->FQueueState = TQueueState::Queued;
  }
  if (Pending) FRoundActive = true;
  for (const auto &Task : Tasks) Task->StopTask(NewLease());
}

void TCustomFFmpegVCL::PauseAllTasks() {
  TGuard Guard(FLock);
  FPaused = true;
  for (int I = 0; I < FTasks.Count(); ++I)
    if (FTasks.Get(I)->RunsOnWorkerThread()) FTasks.Get(I)->SetPaused(true);
}

void TCustomFFmpegVCL::ResumeAllTasks() {
  TGuard Guard(FLock);
  FPaused = false;
  for (int I = 0; I < FTasks.Count(); ++I) FTasks.Get(I)->SetPaused(false);
}

// ---- Dispatchers ----

void TCustomFFmpegVCL::RouteLibraryLine(pid_t ThreadID, int Level, const std::string &Line) {
  // Every library line of the process comes here: without a handler to give
  // it to, it does not wait for this component's lock.
  if (!OnLog) return;
  TGuard Guard(FLock);
  DoLog(FTasks.FindByThreadID(ThreadID), Level, Line);
}

void TCustomFFmpegVCL::DoLog(TFFmpeg *Task, int Level, const std::string &Text) {
  if (!OnLog) return;  // connected before any task runs, so read without the lock
  TGuard Guard(FLock);
  if (Task && !FTasks.Find(Task)) return;  // removed: its events ended with it
  OnLog(Task ? Task->FTaskIndex.load() : -1, ToLogLevel(Level), Text);
}

void TCustomFFmpegVCL::DoProgress(TFFmpeg *Task, const TProgressInfo &Info) {
  TGuard Guard(FLock);
  if (!OnProgress || !Task || !FTasks.Find(Task)) return;
  OnProgress(Task->FTaskIndex, Info.FrameNumber, Info.FPS, Info.CurrentDuration, Info.Quality, Info.BitRate,
             Info.CurrentSize, Info.TotalOutputDuration);
}

void TCustomFFmpegVCL::DoBeforeHook(TFFmpeg *Task, int64_t PTS, THookAction &Action) {
  if (OnBeforeHook) OnBeforeHook(Task ? Task->FTaskIndex.load() : -1, PTS, Action);
}

void TCustomFFmpegVCL::DoCustomHook(TFFmpeg *Task, TRGBPicture &Picture, int FrameNumber, int64_t PTS,
                                    bool &Update, bool &StopHook) {
  if (OnCustomHook)
    OnCustomHook(Task ? Task->FTaskIndex.load() : -1, Picture, FrameNumber, PTS, Update, StopHook);
}

void TCustomFFmpegVCL::DoTerminate(TFFmpeg *Task) {
  TGuard Guard(FLock);
  if (!Task) {
    try {
      if (OnTerminate) OnTerminate(-1, true, false, "", "");
    } catch (...) {
    }
    ClearLogList();
    return;
  }
  // The queue knows the task by what it is, not by where it stands: a task
  // removed while it ran still frees its slot here.
  const bool Counted = std::erase(FRunningTasks, Task) > 0;
  const bool Queued = Task->FQueueState == TQueueState::Queued;
  const TQueueState End = Task->FExceptionRaised ? TQueueState::Failed
                          : Task->FFinished      ? TQueueState::Done
                                                 : TQueueState::Stopped;
  if (Counted || Queued) Task->FQueueState = End;
  if (FTasks.Find(Task)) {  // a removed task's events ended with it
    const int Index = Task->FTaskIndex;
    const bool Finished = Task->FFinished, Exception = Task->FExceptionRaised;
    // A finished run that is not whole says why with its end; an output
    // kept says what it left out.
    const std::string Message = Exception ? Task->FExceptionMessage : Finished ? Task->FShortfallText : "";
    std::string Note;
    if (!Exception)
      for (const std::string &Line : Task->FNotes) Note += (Note.empty() ? "" : "; ") + Line;
    // The queue goes on whatever the handler does.
    try {
      if (OnTerminate) OnTerminate(Index, Finished, Exception, Message, Note);
    } catch (...) {
    }
  }
  if (Counted || Queued) FillSlots();
}

}  // namespace korvane
