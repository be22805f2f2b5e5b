// SPDX-License-Identifier: GPL-3.0-or-later
// The transcoding component: it loads the media libraries, owns the media
// probe and a list of conversion tasks, runs the tasks on worker threads (or
// one after another on the thread that drives its timers), stops, pauses and
// resumes them, and turns the tasks' callbacks into five events.
//
// Events are raised on the thread that runs the task, not on the caller's.
// OnLog, OnProgress and OnTerminate are raised under the component's own
// lock (never under a lock of the process, so a slow handler holds up only
// this component); the hook events without it. A handler must not wait for
// another thread that might itself be waiting for that lock.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AVLog.h"
#include "AVProbe.h"
#include "FFmpeg.h"

namespace korvane {

// Log levels of the component; the library's is the ordinal minus one.
enum TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };

// The five events. AIndex is the task's position in the list, or -1 for the
// component as a whole (the end of all tasks, library lines of other threads).
using TBeforeHookEvent = std::function<void(int AIndex, int64_t APTS, THookAction &AHookAction)>;
using TCustomHookEvent = std::function<void(int AIndex, TRGBPicture &ABitmap, int AFrameNumber, int64_t APTS,
                                            bool &AUpdate, bool &AStopHook)>;
using TLogEvent = std::function<void(int AIndex, TLogLevel ALogLevel, const std::string &AMsg)>;
using TProgressEvent =
    std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                       float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration)>;
// The end of a task: AException with the failure's reason in AMessage; a
// finished run (AFinished) with a message is finished but not whole (its
// source was cut short), the message says how much could be read; a stopped
// one has neither flag. ANote says what a kept output left out of its source
// because its container cannot hold it ("the cover was left out: ..."),
// notes separated by "; "; empty for none, and always for a failure.
using TTerminateEvent = std::function<void(int AIndex, bool AFinished, bool AException,
                                           const std::string &AMessage, const std::string &ANote)>;

// The component's tasks in order; each task's FTaskIndex is its position.
// It has no lock of its own: the component guards it with its lock.
class TFFmpegList {
 public:
  // Appends Task and returns its index.
  int Add(std::shared_ptr<TFFmpeg> Task);
  // Raises std::out_of_range "List index out of bounds (N)".
  const std::shared_ptr<TFFmpeg> &Get(int Index) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  // Takes the task out and renumbers the ones after it (out_of_range as Get).
  std::shared_ptr<TFFmpeg> Extract(int Index);
  std::vector<std::shared_ptr<TFFmpeg>> ExtractAll();
  // The first task whose run is under way on the thread ThreadID, or none.
  // A task that has ended is passed over: the system reuses thread ids, and
  // runs on the main thread share one.
  TFFmpeg *FindByThreadID(pid_t ThreadID) const;
  // The listed task that Task is, or none when it has left the list.
  TFFmpeg *Find(const TCustomFFmpeg *Task) const;

 private:
  std::vector<std::shared_ptr<TFFmpeg>> FItems;
};

class TCustomFFmpegVCL {
 public:
  TCustomFFmpegVCL();
  virtual ~TCustomFFmpegVCL();
  TCustomFFmpegVCL(const TCustomFFmpegVCL &) = delete;
  TCustomFFmpegVCL &operator=(const TCustomFFmpegVCL &) = delete;

  // Free text, not used by the component.
  std::string About;

  // The calls below are made from one thread, the application's (the main
  // thread), unless said otherwise.

  // Loads the media libraries from Directory, installs the log callback and
  // sets the library log level from LogLevel. False with LastError set.
  bool LoadMediaLibraries(const std::string &Directory, bool UseVersionNumbers = true);
  // Creates a task, applies InputOptions (when given; an empty FileName in
  // it is set to FileName) and opens the input. The task's index, or -1
  // with LastError set; no exception leaves it.
  int AddTask(const std::string &FileName, TInputOptions *InputOptions = nullptr);
  // Applies OutputOptions (when given; an empty FileName in it is set to
  // FileName) to task Index and creates its output. False with LastError
  // set; no exception leaves it.
  bool SetTaskOutput(int Index, const std::string &FileName, TOutputOptions *OutputOptions = nullptr);
  // Frees task Index and renumbers the ones after it; std::out_of_range for
  // an index outside the list. A running task is asked to stop and waited
  // for about a second; its thread keeps it until it ends. A task's events
  // end with its removal; the tasks still queued go on as if it had ended.
  void RemoveTask(int Index);
  // Frees every task (as RemoveTask does), clears LastError and forgets any
  // start still planned.
  void ClearTasks();
  // Queues every task of the list that has not run and starts them:
  // ParallelCount at once on worker threads, and the next queued one (in
  // list order) whenever one ends; with 0 or less one after another on the
  // thread that calls ProcessTimers, the first 100 ms after this call and
  // each next one 100 ms after the previous one ended. When none is queued or
  // running any more OnTerminate comes once more with -1, true, false, "", "".
  void StartTasks(int ParallelCount);
  // Running tasks are asked to stop; tasks that did not start report their
  // end without running; nothing further starts; an AddTask under way gives
  // up opening its input. May be called from any thread, an event handler
  // included.
  void StopAllTasks();
  // Holds every task running on a worker thread at its next safe point (and
  // any that starts on one later) until ResumeAllTasks. Runs on the main
  // thread are never paused: nobody would be left to resume them.
  void PauseAllTasks();
  void ResumeAllTasks();

  // Main-thread runs start from single-shot timers of 100 ms. The engine has
  // no event loop, so it keeps its timers itself and the application drives
  // them: it calls ProcessTimers from its own loop (a short repeating timer
  // of its toolkit will do) on the thread the runs are to use. A timer that
  // is due starts its task inside this call, and the whole run happens there.
  // True while a timer is still pending.
  bool ProcessTimers();

  int TaskCount() const;
  // Task Index (std::out_of_range outside the list), for reading its state.
  std::shared_ptr<TFFmpeg> Task(int Index) const;

  const std::string &LastError() const { return FLastError; }
  TAVProbe &AVProbe() { return FAVProbe; }

 protected:
  TLogLevel LogLevel() const;
  // Also sets the library log level (ordinal - 1) once the libraries are loaded.
  void SetLogLevel(TLogLevel Level);
  int ProgressInterval() const;
  // Milliseconds between progress reports; 100 at the least.
  void SetProgressInterval(int Milliseconds);
  TConvertPriority ThreadPriority() const;
  void SetThreadPriority(TConvertPriority Priority);
  static std::string Version() { return "2.0b"; }

  // Connect the events while no task runs: they are read by the tasks'
  // threads.
  TBeforeHookEvent OnBeforeHook;
  TCustomHookEvent OnCustomHook;
  TLogEvent OnLog;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;

  // The dispatchers, called on the thread that runs Task (none: the
  // component as a whole). Level is on the engine scale (-1 quiet .. 3 all).
  virtual void DoBeforeHook(TFFmpeg *Task, int64_t PTS, THookAction &Action);
  virtual void DoCustomHook(TFFmpeg *Task, TRGBPicture &Picture, int FrameNumber, int64_t PTS, bool &Update,
                            bool &StopHook);
  virtual void DoLog(TFFmpeg *Task, int Level, const std::string &Text);
  virtual void DoProgress(TFFmpeg *Task, const TProgressInfo &Info);
  virtual void DoTerminate(TFFmpeg *Task);

  // Leaves the process-wide receiver list, stops and frees every task and
  // waits until no thread of this component runs any more. The destructor
  // calls it; a class that overrides a dispatcher calls it in its own
  // destructor, so that no thread reaches a dispatcher of a half-destroyed
  // object. Not from an event handler.
  void Shutdown();

 private:
  class TLease;
  using TGuard = std::lock_guard<std::recursive_mutex>;
  struct TPendingTimer {
    std::chrono::steady_clock::time_point Due;
    std::shared_ptr<TFFmpeg> Task;  // the task to launch
  };

  void ConnectCallbacks(TFFmpeg &Task);
  void RouteLibraryLine(pid_t ThreadID, int Level, const std::string &Line);
  // Starts the first queued tasks of the list while fewer than the parallel
  // count run, then ends the round with the final OnTerminate once nothing
  // is queued or running any more.
  void FillSlots();
  void LaunchTask(const std::shared_ptr<TFFmpeg> &Task);
  TThreadLeaseHolder NewLease();
  // Stops the tasks, waits about a second at most for them together, and
  // lets them go (each is freed now, or by its thread when that ends).
  static void ReleaseTasks(std::vector<std::shared_ptr<TFFmpeg>> Tasks);

  // Serialises event delivery, stop, pause and resume across tasks, and
  // guards every field from FLogLevel to FTimers, the tasks' FQueueState and
  // FAdding. Recursive: a handler may call the component. It is this
  // component's alone: the log callback holds no lock of its own when it
  // comes here, so it may be taken with library calls made under it.
  mutable std::recursive_mutex FLock;
  TLogLevel FLogLevel = llInfo;
  int FProgressInterval = 500;
  TConvertPriority FThreadPriority = tpNormal;
  TFFmpegList FTasks;
  int FParallelCount = 0;  // as given to StartTasks
  // The tasks started this round that have not ended, listed or removed:
  // each holds a slot. Known by identity, so that a removed task frees its
  // slot when it ends and a task of an earlier round never does.
  std::vector<const TFFmpeg *> FRunningTasks;
  bool FRoundActive = false;   // from StartTasks (or StopAllTasks) to the final OnTerminate
  bool FStopping = false;      // StopAllTasks: nothing more starts this round
  bool FFillingSlots = false;  // FillSlots is under way (a start that fails at once ends inside it)
  bool FPaused = false;        // between PauseAllTasks and ResumeAllTasks
  std::vector<TPendingTimer> FTimers;

  // Main thread only.
  std::string FLastError;
  // The task AddTask is opening an input for, so that a stop reaches it;
  // guarded by FLock.
  std::shared_ptr<TFFmpeg> FAdding;
  TAVProbe FAVProbe;
  TLogSinkID FLogSinkID = 0;
  bool FShutDown = false;

  // Threads of this component's tasks still running; the component waits
  // for none to be left before it goes.
  std::mutex FThreadsLock;
  std::condition_variable FThreadsEnded;
  int FLiveThreads = 0;  // guarded by FThreadsLock
};

// The component with its properties and events published.
class TFFmpegVCL : public TCustomFFmpegVCL {
 public:
  TFFmpegVCL() = default;
  ~TFFmpegVCL() override { Shutdown(); }

  using TCustomFFmpegVCL::LogLevel;
  using TCustomFFmpegVCL::ProgressInterval;
  using TCustomFFmpegVCL::SetLogLevel;
  using TCustomFFmpegVCL::SetProgressInterval;
  using TCustomFFmpegVCL::SetThreadPriority;
  using TCustomFFmpegVCL::ThreadPriority;
  using TCustomFFmpegVCL::Version;

  using TCustomFFmpegVCL::OnBeforeHook;
  using TCustomFFmpegVCL::OnCustomHook;
  using TCustomFFmpegVCL::OnLog;
  using TCustomFFmpegVCL::OnProgress;
  using TCustomFFmpegVCL::OnTerminate;
};

}  // namespace korvane
