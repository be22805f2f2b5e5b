// SPDX-License-Identifier: GPL-3.0-or-later
#include "BMDThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

namespace korvane {

namespace {

// Nice values for the priorities. Raising a thread above normal needs
// privileges the program usually lacks; the system then refuses and the
// thread keeps its priority.
int NiceValue(TThreadPriority Priority) {
  static constexpr int Values[] = {19, 10, 5, 0, -5, -10, -20};
  return Values[static_cast<int>(Priority)];
}

void ApplyPriority(pid_t ThreadID, TThreadPriority Priority) {
  if (ThreadID > 0) setpriority(PRIO_PROCESS, static_cast<id_t>(ThreadID), NiceValue(Priority));
}

}  // namespace

void TBMDExecuteThread::WaitWhileSuspended() {
  std::unique_lock Guard(FSuspendLock);
  FResumed.wait(Guard, [this] { return !FSuspended || FTerminateRequested.load(); });
}

TBMDThread::TBMDThread(QObject *Owner) : QObject(Owner) {
  FUpdateTimer.setInterval(100);
  connect(&FUpdateTimer, &QTimer::timeout, this, [this] { DoUpdate(); });
}

TBMDThread::~TBMDThread() {
  FUpdateTimer.stop();
  if (FThread) {
    FDestroying = true;
    Stop();
    // The end notice comes as a queued call to this object; pump until it
    // has been handled.
    while (FThread) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
}

void TBMDThread::StartWithData(void *Data) {
  if (FThread) return;
  FThread = std::make_unique<TBMDExecuteThread>();
  FThread->Data = Data;
  FStoppedByRequest = false;
  // The thread object stays while its start notification runs, so a start
  // re-entered from inside it (through pumped events) finds it and does
  // nothing.
  TBMDExecuteThread *Thread = FThread.get();
  if (OnStart) OnStart(this, Thread, Thread->Data);
  Thread->FThread = std::thread(&TBMDThread::ThreadBody, this, Thread);
  if (FUpdateEnabled) FUpdateTimer.start();
}

void TBMDThread::ThreadBody(TBMDExecuteThread *Thread) {
  Thread->FThreadID = static_cast<pid_t>(syscall(SYS_gettid));
  ApplyPriority(Thread->FThreadID, FPriority);
  DoExecute(Thread);
  // The end notice reaches the UI thread as a queued call; the thread object
  // is forgotten there, after this function has returned.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (FDestroying)
          DoDestroyTerminate();
        else
          DoTerminate();
      },
      Qt::QueuedConnection);
}

void TBMDThread::DoExecute(TBMDExecuteThread *Thread) {
  if (OnExecute) OnExecute(this, Thread, Thread->Data);
  FStoppedByRequest = Thread->Terminated();
}

std::unique_ptr<TBMDExecuteThread> TBMDThread::ForgetThread() {
  std::unique_ptr<TBMDExecuteThread> Ended = std::move(FThread);
  if (Ended && Ended->FThread.joinable()) Ended->FThread.join();
  return Ended;
}

void TBMDThread::DoTerminate() {
  FUpdateTimer.stop();
  std::unique_ptr<TBMDExecuteThread> Ended = ForgetThread();
  if (OnTerminate && Ended) OnTerminate(this, Ended.get(), Ended->Data);
}

void TBMDThread::DoDestroyTerminate() { ForgetThread(); }

void TBMDThread::DoUpdate() {
  if (!FThread) return;
  if (OnUpdate) OnUpdate(this, FThread.get(), FThread->Data, FThread->Percent.load());
}

void TBMDThread::Stop() {
  if (!FThread) return;
  Resume();
  {
    std::lock_guard Guard(FThread->FSuspendLock);
    FThread->FTerminateRequested = true;
  }
  FThread->FResumed.notify_all();
}

void TBMDThread::Suspend() {
  if (!FThread) return;
  std::lock_guard Guard(FThread->FSuspendLock);
  FThread->FSuspended = true;
}

void TBMDThread::Resume() {
  if (!FThread) return;
  {
    std::lock_guard Guard(FThread->FSuspendLock);
    FThread->FSuspended = false;
  }
  FThread->FResumed.notify_all();
}

void TBMDThread::SetPriority(TThreadPriority Priority) {
  FPriority = Priority;
  if (FThread) ApplyPriority(FThread->FThreadID, Priority);
}

void TBMDThread::SetUpdateEnabled(bool Enabled) {
  if (Enabled == FUpdateEnabled) return;
  FUpdateEnabled = Enabled;
  if (Enabled && FThread)
    FUpdateTimer.start();
  else
    FUpdateTimer.stop();
}

}  // namespace korvane
