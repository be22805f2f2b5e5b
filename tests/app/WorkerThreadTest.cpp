// SPDX-License-Identifier: GPL-3.0-or-later
// The worker component: the start notification runs on the caller's thread
// before the background thread, a second start is ignored while a thread
// exists, the end notice comes on the UI thread, and destruction waits.
#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "BMDThread.h"
#include "WindowFixture.h"

using namespace korvane;
using namespace korvane::test;

class WorkerThreadTest : public QObject {
  Q_OBJECT
 private slots:
  void StartRunsFirstOnTheCallersThread() {
    TBMDThread Worker;
    QStringList Order;
    QThread *StartThread = nullptr, *ExecuteThread = nullptr, *TerminateThread = nullptr;
    std::atomic<bool> Executed{false};
    int Slot = 7;
    Worker.OnStart = [&](QObject *, TBMDExecuteThread *, void *&Data) {
      StartThread = QThread::currentThread();
      QCOMPARE(Data, static_cast<void *>(&Slot));
      // The background thread waits until this returns.
      QTest::qWait(100);
      QVERIFY(!Executed);
      Order << "start";
    };
    Worker.OnExecute = [&](QObject *, TBMDExecuteThread *, void *&) {
      ExecuteThread = QThread::currentThread();
      Executed = true;
    };
    Worker.OnTerminate = [&](QObject *, TBMDExecuteThread *, void *&Data) {
      TerminateThread = QThread::currentThread();
      QCOMPARE(Data, static_cast<void *>(&Slot));
      Order << "terminate";
    };
    Worker.StartWithData(&Slot);
    QVERIFY(Worker.Running());
    QTRY_VERIFY(!Worker.Running());
    QCOMPARE(Order, QStringList({"start", "terminate"}));
    QCOMPARE(StartThread, QThread::currentThread());
    QCOMPARE(TerminateThread, QThread::currentThread());
    QVERIFY(ExecuteThread && ExecuteThread != QThread::currentThread());
  }

  // A start re-entered from inside the start notification (through pumped
  // events) does nothing; after the end notice the component starts again.
  void SecondStartIgnoredThenRestartable() {
    TBMDThread Worker;
    int Starts = 0;
    bool Reentered = false;
    Worker.OnStart = [&](QObject *, TBMDExecuteThread *, void *&) {
      ++Starts;
      QTimer::singleShot(0, &Worker, [&] {
        Worker.Start();
        Reentered = true;
      });
      QVERIFY(QTest::qWaitFor([&] { return Reentered; }, 30000));
    };
    Worker.Start();
    QCOMPARE(Starts, 1);
    QTRY_VERIFY(!Worker.Running());
    QCOMPARE(Starts, 1);
    Worker.Start();
    QCOMPARE(Starts, 2);
    QTRY_VERIFY(!Worker.Running());
  }

  // Destroying the component while its work runs waits for the work, asking
  // it to end, and delivers no terminate notification to a component that
  // is going away.
  void DestructionWaitsForTheThread() {
    std::atomic<bool> Started{false}, Finished{false};
    bool Terminated = false;
    {
      TBMDThread Worker;
      Worker.OnExecute = [&](QObject *, TBMDExecuteThread *Thread, void *&) {
        Started = true;
        const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Thread->Terminated() && std::chrono::steady_clock::now() < Until)
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Finished = true;
      };
      Worker.OnTerminate = [&](QObject *, TBMDExecuteThread *, void *&) { Terminated = true; };
      Worker.Start();
      QTRY_VERIFY_WITH_TIMEOUT(Started, 30000);
      QVERIFY(Worker.Running());
    }
    QVERIFY(Finished);
    QVERIFY(!Terminated);
  }

  void StopEndsASuspendedThread() {
    TBMDThread Worker;
    std::atomic<int> Rounds{0};
    Worker.OnExecute = [&](QObject *, TBMDExecuteThread *Thread, void *&) {
      while (!Thread->Terminated()) {
        Thread->WaitWhileSuspended();
        ++Rounds;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    };
    Worker.Start();
    QTRY_VERIFY(Rounds > 0);
    Worker.Suspend();
    QTest::qWait(50);
    const int Held = Rounds;
    QTest::qWait(100);
    QVERIFY(Rounds <= Held + 1);
    Worker.Stop();
    QTRY_VERIFY(!Worker.Running());
    QVERIFY(Worker.StoppedByRequest());
  }

  void UpdatesComeWhileTheThreadRuns() {
    TBMDThread Worker;
    Worker.SetRefreshInterval(20);
    Worker.SetUpdateEnabled(true);
    std::atomic<bool> Done{false};
    QList<int> Percents;
    Worker.OnExecute = [&](QObject *, TBMDExecuteThread *Thread, void *&) {
      for (int P = 0; P <= 100 && !Thread->Terminated(); P += 10) {
        Thread->Percent = P;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
      }
      Done = true;
    };
    Worker.OnUpdate = [&](QObject *, TBMDExecuteThread *, void *&, int Percent) { Percents << Percent; };
    Worker.Start();
    QTRY_VERIFY(!Worker.Running());
    QVERIFY(Done);
    QVERIFY(!Percents.isEmpty());
    QVERIFY(std::is_sorted(Percents.begin(), Percents.end()));
    const qsizetype Seen = Percents.size();
    QTest::qWait(60);
    QCOMPARE(Percents.size(), Seen);  // no updates once the thread has ended
  }
};

KORVANE_WINDOW_TEST(WorkerThreadTest);

#include "WorkerThreadTest.moc"
