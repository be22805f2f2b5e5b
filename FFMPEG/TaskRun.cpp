// SPDX-License-Identifier: GPL-3.0-or-later
// Running one task: its worker thread and start gate, the run and its end,
// stopping, pausing at the loop's safe point, and the short-lived thread that
// reports the end of a task stopped before it started.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <future>

#include "AVLog.h"
#include "FFmpeg.h"

namespace korvane {

namespace {

// Nice value added to the process's for each priority: the platform's
// below-normal steps, and idle as low as Linux goes.
int NiceOffset(TConvertPriority Priority) {
  switch (Priority) {
    case tpIdle: return 19;
    case tpLowest: return 10;
    case tpLower: return 5;
    case tpNormal: break;
  }
  return 0;
}

// Gives the calling thread Priority, relative to the process. Lowering is
// always allowed; going back up (a thread inherits the nice value of the
// thread that made it) needs a privilege, and without one the thread keeps
// what it has.
void ApplyThreadPriority(TConvertPriority Priority) {
  errno = 0;
  const int Base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  if (errno != 0) return;
  const int Nice = std::min(Base + NiceOffset(Priority), 19);
  setpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadID()), Nice);
}

}  // namespace

void TTaskThread::Join() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

TTaskThread::~TTaskThread() {
  if (!FThread.joinable()) return;
  if (FThread.get_id() == std::this_thread::get_id())
    FThread.detach();
  else
    FThread.join();
}

pid_t TCustomFFmpeg::StartRun(bool UseThread, TConvertPriority Priority, TThreadLeaseHolder Lease) {
  {
    std::lock_guard Guard(FRunLock);
    if (FRunning || FTerminated) return 0;
    // Claimed: from here on neither another start nor a stop report takes it.
    FRunning = true;
    FStopRequested = false;
    FFinished = false;
    FShortfallText.clear();
  }
  if (FState.FOutputFileCount <= 0) {
    FailStart("Must supply at least one output file");
    return 0;
  }
  if (FState.FInputFileCount == 0) {
    FailStart("Must supply at least one input file");
    return 0;
  }
  if (!UseThread) {
    Run();
    return 0;
  }

  std::shared_ptr<TCustomFFmpeg> Self = weak_from_this().lock();
  if (!Self) {
    FailStart("A task that runs on a thread of its own must be owned by a shared pointer");
    return 0;
  }
  {
    std::lock_guard Guard(FRunLock);
    FOnWorker = true;
    FHeldAtStart = true;
    FThreadMade = true;
  }
  std::promise<pid_t> ThreadID;
  std::future<pid_t> Started = ThreadID.get_future();
  try {
    FThread.Start([this, Self = std::move(Self), Lease = std::move(Lease), Priority,
                   ThreadID = std::move(ThreadID)]() mutable {
      ThreadBegins();
      ThreadID.set_value(CurrentThreadID());
      ApplyThreadPriority(Priority);
      {
        std::unique_lock Guard(FRunLock);
        FRunChanged.wait(Guard, [this] { return !FHeldAtStart || FStopRequested; });
      }
      Run();
      ThreadEnds();
      // The task may go with this reference; the lease goes last.
      Self.reset();
      Lease.reset();
    });
  } catch (const std::exception &E) {
    {
      std::lock_guard Guard(FRunLock);
      FOnWorker = false;
      FHeldAtStart = false;
      FThreadMade = false;
    }
    FailStart(E.what());
    return 0;
  }
  return Started.get();
}

void TCustomFFmpeg::ThreadBegins() {
  std::lock_guard Guard(FRunLock);
  FOwnThread = std::this_thread::get_id();
}

void TCustomFFmpeg::ThreadEnds() {
  std::lock_guard Guard(FRunLock);
  FThreadDone = true;
  FRunChanged.notify_all();
}

void TCustomFFmpeg::ResumeThread() {
  std::lock_guard Guard(FRunLock);
  FHeldAtStart = false;
  FRunChanged.notify_all();
}

void TCustomFFmpeg::ReportFailure(const std::string &Message) {
  // A log handler that throws must not keep the failure from being reported.
  try {
    Log(-1, Message);
  } catch (...) {
  }
  FExceptionRaised = true;
  FExceptionMessage = Message;
}

void TCustomFFmpeg::FailStart(const std::string &Message) {
  try {
    ClearOptions();
  } catch (...) {
  }
  ReportFailure(Message);
  NotifyTerminated();
}

void TCustomFFmpeg::Run() {
  {
    std::lock_guard Guard(FRunLock);
    FOwnThread = std::this_thread::get_id();
  }
  FFinished = false;
  // Whatever goes wrong ends as a failed run: on a worker thread an escaping
  // exception would end the program, and the task's end must be reported
  // either way for the queue to go on.
  try {
    Transcode();
  } catch (const std::exception &E) {
    ReportFailure(E.what());
  } catch (...) {
    ReportFailure("Unexpected failure of the conversion");
  }
  try {
    ClearOptions();
  } catch (...) {
  }
  try {
    NotifyTerminated();
  } catch (...) {
  }
}

void TCustomFFmpeg::NotifyTerminated() {
  {
    std::lock_guard Guard(FRunLock);
    FRunning = false;
    FTerminated = true;
    FPauseRequested = false;
    FRunChanged.notify_all();
  }
  if (FOnTerminate) FOnTerminate(*this);
}

void TCustomFFmpeg::RequestStop() {
  FStopRequested = true;
  std::lock_guard Guard(FRunLock);
  FRunChanged.notify_all();
}

void TCustomFFmpeg::StopTask(TThreadLeaseHolder Lease) {
  {
    std::lock_guard Guard(FRunLock);
    if (FTerminated) return;
    if (FRunning) {
      FStopRequested = true;
      FRunChanged.notify_all();
      return;
    }
    // Never started: claimed for the stop report, so no start takes it now.
    FRunning = true;
    FStopRequested = true;
    FThreadMade = true;
  }
  if (std::shared_ptr<TCustomFFmpeg> Self = weak_from_this().lock()) {
    try {
      FThread.Start([this, Self = std::move(Self), Lease = std::move(Lease)]() mutable {
        ThreadBegins();
        ApplyThreadPriority(tpIdle);
        try {
          NotifyTerminated();
        } catch (...) {
        }
        ThreadEnds();
        Self.reset();
        Lease.reset();
      });
      return;
    } catch (const std::exception &) {
      // No thread to be had: the report comes from here.
    }
  }
  {
    std::lock_guard Guard(FRunLock);
    FThreadMade = false;
  }
  NotifyTerminated();
}

void TCustomFFmpeg::SetPaused(bool Paused) {
  std::lock_guard Guard(FRunLock);
  FPauseRequested = Paused;
  FRunChanged.notify_all();
}

bool TCustomFFmpeg::ContinueAfterPause() {
  if (FPauseRequested) {
    std::unique_lock Guard(FRunLock);
    FWaitingAtSafePoint = true;
    FRunChanged.notify_all();
    FRunChanged.wait(Guard, [this] { return !FPauseRequested || FStopRequested; });
    FWaitingAtSafePoint = false;
  }
  return !FStopRequested;
}

bool TCustomFFmpeg::PausedAtSafePoint() const {
  std::lock_guard Guard(FRunLock);
  return FWaitingAtSafePoint;
}

bool TCustomFFmpeg::RunsOnWorkerThread() const {
  std::lock_guard Guard(FRunLock);
  return FOnWorker && FRunning;
}

bool TCustomFFmpeg::StopAndWait(std::chrono::milliseconds Limit) {
  RequestStop();
  std::unique_lock Guard(FRunLock);
  const auto Over = [this] { return !FRunning && (!FThreadMade || FThreadDone); };
  // On the task's own thread (from one of its event handlers) the run
  // cannot end while this waits.
  if (FOwnThread == std::this_thread::get_id()) return Over();
  if (!FRunChanged.wait_for(Guard, Limit, Over)) return false;
  Guard.unlock();
  // All the thread has left to do is let go of the task and its lease, so
  // the task is freed here rather than on that thread a moment later.
  FThread.Join();
  return true;
}

}  // namespace korvane
