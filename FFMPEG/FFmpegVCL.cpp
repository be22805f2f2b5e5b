// The transcoding component: its task list, adding tasks and outputs,
// starting them one after another or side by side, stop, pause and resume,
// and the dispatchers that turn the tasks' callbacks into events.
#include "FFmpegVCL.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "AVLibraries.h"
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

class TCustomFFmpegVCL::TEventLock {
 public:
  explicit TEventLock(const TCustomFFmpegVCL &Owner) : FList(LogSinkListLock()), FOwn(Owner.FLock) {}

 private:
  std::lock_guard<std::recursive_mutex> FList;
  std::lock_guard<std::recursive_mutex> FOwn;
};

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
    TEventLock Guard(*this);
    FRemainingCount = 0;
    FTimers.clear();
    Tasks = FTasks.ExtractAll();
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
  TEventLock Guard(*this);
  return FLogLevel;
}

void TCustomFFmpegVCL::SetLogLevel(TLogLevel Level) {
  {
    TEventLock Guard(*this);
    FLogLevel = Level;
  }
  if (AVLibrariesLoaded()) SetLibraryLogLevel(static_cast<int>(Level) - 1);
}

int TCustomFFmpegVCL::ProgressInterval() const {
  TEventLock Guard(*this);
  return FProgressInterval;
}

void TCustomFFmpegVCL::SetProgressInterval(int Milliseconds) {
  TEventLock Guard(*this);
  FProgressInterval = std::max(Milliseconds, 100);
}

TConvertPriority TCustomFFmpegVCL::ThreadPriority() const {
  TEventLock Guard(*this);
  return FThreadPriority;
}

void TCustomFFmpegVCL::SetThreadPriority(TConvertPriority Priority) {
  TEventLock Guard(*this);
  FThreadPriority = Priority;
}

int TCustomFFmpegVCL::TaskCount() const {
  TEventLock Guard(*this);
  return FTasks.Count();
}

std::shared_ptr<TFFmpeg> TCustomFFmpegVCL::Task(int Index) const {
  TEventLock Guard(*this);
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
    if (!Task->OpenInputFile(FileName)) {
      FLastError = Task->State().FErrorText;
      return -1;
    }
    ConnectCallbacks(*Task);
    TEventLock Guard(*this);
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
      TEventLock Guard(*this);
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
    TEventLock Guard(*this);
    Removed = FTasks.Extract(Index);
  }
  ReleaseTasks({std::move(Removed)});
}

void TCustomFFmpegVCL::ClearTasks() {
  std::vector<std::shared_ptr<TFFmpeg>> Removed;
  {
    TEventLock Guard(*this);
    Removed = FTasks.ExtractAll();
    FParallelCount = 0;
    // A start still planned would take whatever task is added next.
    FRemainingCount = 0;
    FTimers.clear();
  }
  FLastError.clear();
  ReleaseTasks(std::move(Removed));
}

// ---- Starting ----

void TCustomFFmpegVCL::StartTasks(int ParallelCount) {
  // Under the lock: a task that ends at once reports (and starts the next
  // one) from its own thread while this is still starting the others.
  TEventLock Guard(*this);
  ClearLogList();
  FNextTask = 0;
  FFinishedCount = 0;
  FParallelCount = ParallelCount;
  FRemainingCount = FTasks.Count();
  for (int I = 0; I < std::max(ParallelCount, 1) && FRemainingCount > 0; ++I) StartNext();
}

void TCustomFFmpegVCL::StartNext() {
  if (FRemainingCount <= 0) return;
  --FRemainingCount;
  // Moved on before the launch: a task that cannot start reports its end
  // inside LaunchTask, and that report starts the next one.
  const int Index = FNextTask++;
  if (FParallelCount <= 0)
    FTimers.push_back({std::chrono::steady_clock::now() + StartTimerDelay, Index});
  else
    LaunchTask(Index);
}

void TCustomFFmpegVCL::LaunchTask(int Index) {
  std::shared_ptr<TFFmpeg> Task;  // keeps a main-thread run's task alive while it runs
  {
    TEventLock Guard(*this);
    if (Index < 0 || Index >= FTasks.Count()) return;  // the list changed since the start was planned
    Task = FTasks.Get(Index);
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
  std::vector<int> Due;
  {
    TEventLock Guard(*this);
    const auto Now = std::chrono::steady_clock::now();
    for (auto It = FTimers.begin(); It != FTimers.end();) {
      if (It->Due <= Now) {
        Due.push_back(It->Tag);
        It = FTimers.erase(It);
      } else {
        ++It;
      }
    }
  }
  for (int Tag : Due) LaunchTask(Tag);
  TEventLock Guard(*this);
  return !FTimers.empty();
}

// ---- Stop, pause, resume ----

void TCustomFFmpegVCL::StopAllTasks() {
  TEventLock Guard(*this);
  FRemainingCount = 0;
  // A stop ends a pause too: nobody is left to resume the stopped tasks,
  // and a task started later must not start held.
  FPaused = false;
  // A copy: a stop report made right here may run a handler that changes the list.
  const std::vector<std::shared_ptr<TFFmpeg>> Tasks = [this] {
    std::vector<std::shared_ptr<TFFmpeg>> All;
    for (int I = 0; I < FTasks.Count(); ++I) All.push_back(FTasks.Get(I));
    return All;
  }();
  for (const auto &Task : Tasks) Task->StopTask(NewLease());
}

void TCustomFFmpegVCL::PauseAllTasks() {
  TEventLock Guard(*this);
  FPaused = true;
  for (int I = 0; I < FTasks.Count(); ++I)
    if (FTasks.Get(I)->RunsOnWorkerThread()) FTasks.Get(I)->SetPaused(true);
}

void TCustomFFmpegVCL::ResumeAllTasks() {
  TEventLock Guard(*this);
  FPaused = false;
  for (int I = 0; I < FTasks.Count(); ++I) FTasks.Get(I)->SetPaused(false);
}

// ---- Dispatchers ----

void TCustomFFmpegVCL::RouteLibraryLine(pid_t ThreadID, int Level, const std::string &Line) {
  TEventLock Guard(*this);
  DoLog(FTasks.FindByThreadID(ThreadID), Level, Line);
}

void TCustomFFmpegVCL::DoLog(TFFmpeg *Task, int Level, const std::string &Text) {
  TEventLock Guard(*this);
  if (!OnLog) return;
  if (Task && !FTasks.Find(Task)) return;  // removed: its events ended with it
  OnLog(Task ? Task->FTaskIndex.load() : -1, ToLogLevel(Level), Text);
}

void TCustomFFmpegVCL::DoProgress(TFFmpeg *Task, const TProgressInfo &Info) {
  TEventLock Guard(*this);
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
  TEventLock Guard(*this);
  if (Task) {
    if (!FTasks.Find(Task)) return;  // removed: its events ended with it
    // The queue goes on whatever the handler does.
    try {
      if (OnTerminate)
        OnTerminate(Task->FTaskIndex, Task->FFinished, Task->FExceptionRaised, Task->FExceptionMessage);
    } catch (...) {
    }
    ++FFinishedCount;
    if (FRemainingCount > 0) {
      StartNext();
      return;
    }
    if (FFinishedCount < FTasks.Count()) return;
  }
  try {
    if (OnTerminate) OnTerminate(-1, true, false, "");
  } catch (...) {
  }
  ClearLogList();
}

}  // namespace korvane
