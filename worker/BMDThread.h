// SPDX-License-Identifier: GPL-3.0-or-later
// A non-visual worker component: it runs one piece of work on a background
// thread and tells its owner about the thread's life. The start notification
// runs on the caller's thread, to its end, before the background thread runs;
// update notifications come from a UI timer while the thread runs; the
// terminate notification comes on the UI thread after the thread ended.
//
// Only the thread that owns the component (the UI thread) calls it; the work
// itself (OnExecute) runs on the background thread.
#pragma once

#include <sys/types.h>

#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace korvane {

// Thread priorities, lowest first.
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The background thread of one start. It exists from the start call until
// its end notice has been handled on the UI thread.
class TBMDExecuteThread {
 public:
  // The data slot every notification of one start sees and may change.
  void *Data = nullptr;
  // What the work reports for update notifications.
  std::atomic<int> Percent{0};

  // Whether the owner asked the thread to end; the work polls it.
  bool Terminated() const { return FTerminateRequested.load(); }
  // Called by the work at safe points: waits here while the thread is
  // suspended.
  void WaitWhileSuspended();

 private:
  friend class TBMDThread;
  std::thread FThread;
  std::atomic<pid_t> FThreadID{0};  // the system's id of the running thread, 0 before it runs
  std::atomic<bool> FTerminateRequested{false};
  std::mutex FSuspendLock;
  std::condition_variable FResumed;
  bool FSuspended = false;  // guarded by FSuspendLock
};

class TBMDThread : public QObject {
  Q_OBJECT
 public:
  using TDataNotifyEvent = std::function<void(QObject *Sender, TBMDExecuteThread *Thread, void *&Data)>;
  using TUpdateNotifyEvent =
      std::function<void(QObject *Sender, TBMDExecuteThread *Thread, void *&Data, int Percent)>;

  explicit TBMDThread(QObject *Owner = nullptr);
  // Waits, pumping the UI thread's events, until a running thread has ended.
  ~TBMDThread() override;

  bool Running() const { return FThread != nullptr; }
  // Same as StartWithData(nullptr).
  void Start() { StartWithData(nullptr); }
  // Ignored while a thread exists. Otherwise runs OnStart here, to its end,
  // then lets the background thread run OnExecute.
  void StartWithData(void *Data);
  // Asks a running thread to end (resuming it first when it is suspended).
  void Stop();
  void Suspend();
  void Resume();

  int RefreshInterval() const { return FUpdateTimer.interval(); }
  void SetRefreshInterval(int Milliseconds) { FUpdateTimer.setInterval(Milliseconds); }
  TThreadPriority Priority() const { return FPriority.load(); }
  // Also applies to a running thread, where the system permits it.
  void SetPriority(TThreadPriority Priority);
  bool UpdateEnabled() const { return FUpdateEnabled; }
  void SetUpdateEnabled(bool Enabled);
  // Whether the last work returned after the thread was asked to end.
  bool StoppedByRequest() const { return FStoppedByRequest; }

  TDataNotifyEvent OnExecute;
  TUpdateNotifyEvent OnUpdate;
  TDataNotifyEvent OnStart;
  TDataNotifyEvent OnTerminate;

 protected:
  virtual void DoUpdate();
  virtual void DoExecute(TBMDExecuteThread *Thread);
  virtual void DoTerminate();
  virtual void DoDestroyTerminate();

 private:
  void ThreadBody(TBMDExecuteThread *Thread);
  // Joins the ended thread and forgets it.
  std::unique_ptr<TBMDExecuteThread> ForgetThread();

  std::unique_ptr<TBMDExecuteThread> FThread;
  std::atomic<TThreadPriority> FPriority{TThreadPriority::tpNormal};  // read by the background thread
  bool FUpdateEnabled = false;
  bool FDestroying = false;  // the end notice goes to DoDestroyTerminate
  std::atomic<bool> FStoppedByRequest{false};
  QTimer FUpdateTimer;
};

}  // namespace korvane
