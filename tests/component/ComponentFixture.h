// SPDX-License-Identifier: GPL-3.0-or-later
// Drives a transcoding component in the tests: records its events from
// whichever thread raises them, waits for them with a deadline, and guards
// every test with a watchdog, so that a deadlock fails instead of hanging.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FFmpegVCL.h"
#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "TestEnvironment.h"

namespace korvane::test {

// How long a test waits for an event before it fails.
inline constexpr std::chrono::seconds EventWait{60};

struct TEvent {
  enum TKind { Log, Progress, Terminate };
  TKind Kind = Log;
  int Index = -1;
  pid_t ThreadID = 0;  // the thread that raised it
  std::chrono::steady_clock::time_point Time;
  TLogLevel Level = llQuiet;  // Log
  std::string Text;           // Log: the line; Terminate: the message
  int FrameNumber = 0;        // Progress
  bool Finished = false;      // Terminate
  bool Exception = false;     // Terminate
  std::string Note;           // Terminate: what the output left out
};
using TEvents = std::vector<TEvent>;

// Keeps OnLog, OnProgress and OnTerminate of a component in arrival order.
class TEventRecorder {
 public:
  void Attach(TFFmpegVCL &Component);
  TEvents Events() const;
  // Waits until Done holds for the events so far, EventWait at most. Drive,
  // when given, is called between looks (it drives main-thread runs).
  bool WaitFor(const std::function<bool(const TEvents &)> &Done, const std::function<void()> &Drive = {});
  // Waits for the final OnTerminate with -1.
  bool WaitForEnd(const std::function<void()> &Drive = {});
  // Forgets the events so far (a new round of tasks follows).
  void Clear();

  // Also called for each progress report, on the task's thread; set it
  // before the tasks start.
  std::function<void(int Index, int FrameNumber)> ProgressAction;

 private:
  void Add(TEvent Event);
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  TEvents FEvents;
};

// Ends the test program when a test has not finished in time: a call that
// never returns cannot be failed any other way.
class TWatchdog {
 public:
  explicit TWatchdog(std::chrono::seconds Limit);
  ~TWatchdog();

 private:
  std::mutex FLock;
  std::condition_variable FDone;
  bool FFinished = false;
  std::thread FThread;
};

// The component of the tests. It can hold a run at a chosen frame, inside
// the progress dispatcher but outside every lock, like a run busy elsewhere:
// the test then acts while the run is known to be under way.
class TTestComponent : public TFFmpegVCL {
 public:
  ~TTestComponent() override { Shutdown(); }
  // Holds the first progress report at or past Frame (of Only, when given)
  // until LetGo.
  void HoldAtFrame(int Frame, const TFFmpeg *Only = nullptr);
  // Waits until a run is held, EventWait at most.
  bool WaitUntilHeld();
  void LetGo();

 protected:
  void DoProgress(TFFmpeg *Task, const TProgressInfo &Info) override;

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  int FHoldAt = INT_MAX;
  const TFFmpeg *FHoldOnly = nullptr;
  bool FHeld = false;
  bool FLetGo = false;
};

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Adds a task converting Input to Output with MPEG-4 video and MP3 audio;
  // with RealTime the input is read no faster than it plays, so that the run
  // lasts as long as the clip and reports progress on the way.
  int AddConversion(const std::string &Input, const std::string &Output, bool RealTime = false);
  std::string Out(const std::string &Name) const { return Temp.File(Name); }

  const TMediaClips &Clips = MediaClips();
  TTempDir Temp;
  // Armed once the clips exist; it also covers the component's destruction.
  TWatchdog Watchdog{2 * EventWait};
  TEventRecorder Recorder;  // before the component: its threads call the recorder
  TTestComponent FFVCL;
};

// Events of one kind, or of one kind and task.
TEvents Only(const TEvents &Events, TEvent::TKind Kind);
TEvents Only(const TEvents &Events, TEvent::TKind Kind, int Index);
// Position of the first event of task Index in Events, or -1.
int FirstEventOf(const TEvents &Events, int Index);
// The final OnTerminate with -1 has arrived.
bool Ended(const TEvents &Events);
// Polls Condition until it holds, EventWait at most.
bool WaitUntil(const std::function<bool()> &Condition);
// Per-frame checksums of File's decoded streams, as the ffmpeg program makes them.
std::string FrameChecksums(const std::string &File);

}  // namespace korvane::test
