// SPDX-License-Identifier: GPL-3.0-or-later
// Stopping, pausing and resuming running tasks, and freeing tasks and
// components while their threads still run.
#include <filesystem>
#include <future>

#include "ComponentFixture.h"

namespace korvane::test {
namespace {

using ComponentStop = ComponentTest;

size_t ProgressCount(const TEventRecorder &Recorder) {
  return Only(Recorder.Events(), TEvent::Progress).size();
}

bool ProgressOf(const TEvents &Events, int Index) { return !Only(Events, TEvent::Progress, Index).empty(); }

void ExpectPlayable(const std::string &File) {
  const TProbedFile P = ProbeFile(File, true);
  EXPECT_EQ(P.Errors, "");
  EXPECT_EQ(DecodeErrors(File), "");
  EXPECT_GT(Number(P.Stream("video"), "nb_read_frames"), 0);
}

TEST_F(ComponentStop, StopDuringTheFirstOfTwoEndsItAndReportsTheOtherUnrun) {
  FFVCL.SetProgressInterval(100);
  AddConversion(Clips.TenSeconds, Out("first.avi"), true);
  AddConversion(Clips.TenSeconds, Out("second.avi"), true);
  FFVCL.HoldAtFrame(25);
  FFVCL.StartTasks(1);
  ASSERT_TRUE(FFVCL.WaitUntilHeld());
  FFVCL.StopAllTasks();
  FFVCL.LetGo();
  ASSERT_TRUE(Recorder.WaitForEnd());

  const TEvents Events = Recorder.Events();
  const TEvents Ends = Only(Events, TEvent::Terminate);
  ASSERT_EQ(Ends.size(), 3u);
  EXPECT_EQ(Ends[2].Index, -1) << "the final report comes last";
  EXPECT_TRUE(Ends[2].Finished);
  pid_t Thread[2] = {};
  for (int I = 0; I < 2; ++I) {
    const TEvents Own = Only(Ends, TEvent::Terminate, I);
    ASSERT_EQ(Own.size(), 1u) << I;
    EXPECT_FALSE(Own[0].Finished) << I;
    EXPECT_FALSE(Own[0].Exception) << I;
    EXPECT_EQ(Own[0].Text, "") << I;
    Thread[I] = Own[0].ThreadID;
  }
  // The second never ran: no line and no report of it but its end, which
  // came from a thread of its own.
  EXPECT_TRUE(Only(Events, TEvent::Log, 1).empty());
  EXPECT_FALSE(ProgressOf(Events, 1));
  EXPECT_NE(Thread[1], Thread[0]);
  EXPECT_NE(Thread[1], CurrentThreadID());

  ExpectPlayable(Out("first.avi"));
  EXPECT_LT(Number(ProbeFile(Out("first.avi"), true).Stream("video"), "nb_read_frames"), 250);
  FFVCL.ClearTasks();
  EXPECT_FALSE(std::filesystem::exists(Out("second.avi"))) << "its empty output goes with it";
}

// Pause, then stop without a resume (the stop question answered Yes): the
// paused task ends, and the next task runs to its end rather than start
// held by the old pause.
TEST_F(ComponentStop, StopEndsAPauseForTheTasksThatFollow) {
  FFVCL.SetProgressInterval(100);
  AddConversion(Clips.TenSeconds, Out("stopped.avi"), true);
  FFVCL.HoldAtFrame(10);
  FFVCL.StartTasks(1);
  ASSERT_TRUE(FFVCL.WaitUntilHeld());
  FFVCL.PauseAllTasks();
  FFVCL.StopAllTasks();
  FFVCL.LetGo();
  ASSERT_TRUE(Recorder.WaitForEnd());
  FFVCL.ClearTasks();
  Recorder.Clear();

  AddConversion(Clips.VideoAudio, Out("next.avi"));
  FFVCL.StartTasks(1);
  ASSERT_TRUE(Recorder.WaitForEnd());
  const TEvents Ends = Only(Recorder.Events(), TEvent::Terminate, 0);
  ASSERT_EQ(Ends.size(), 1u);
  EXPECT_TRUE(Ends[0].Finished);
  ExpectPlayable(Out("next.avi"));
}

TEST_F(ComponentStop, PauseHaltsProgressAndResumeEndsWithTheSameOutput) {
  FFVCL.SetProgressInterval(100);
  AddConversion(Clips.VideoAudio, Out("reference.avi"), true);
  FFVCL.StartTasks(1);
  ASSERT_TRUE(Recorder.WaitForEnd());
  FFVCL.ClearTasks();
  Recorder.Clear();

  AddConversion(Clips.VideoAudio, Out("paused.avi"), true);
  FFVCL.HoldAtFrame(20);
  FFVCL.StartTasks(1);
  ASSERT_TRUE(FFVCL.WaitUntilHeld());
  FFVCL.PauseAllTasks();
  const size_t AtPause = ProgressCount(Recorder);
  FFVCL.LetGo();
  ASSERT_TRUE(WaitUntil([this] { return FFVCL.Task(0)->PausedAtSafePoint(); }));
  const size_t Parked = ProgressCount(Recorder);
  EXPECT_LE(Parked - AtPause, 1u) << "more than the packet under way went on";
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(ProgressCount(Recorder), Parked) << "progress while paused";
  EXPECT_FALSE(Ended(Recorder.Events()));

  FFVCL.ResumeAllTasks();
  ASSERT_TRUE(Recorder.WaitForEnd());
  const TEvents Ends = Only(Recorder.Events(), TEvent::Terminate, 0);
  ASSERT_EQ(Ends.size(), 1u);
  EXPECT_TRUE(Ends[0].Finished);
  const std::string Reference = FrameChecksums(Out("reference.avi"));
  EXPECT_NE(Reference, "");
  EXPECT_EQ(FrameChecksums(Out("paused.avi")), Reference);
}

TEST_F(ComponentStop, ATaskThatStartsWhilePausedWaitsForResume) {
  // Without reports on the way, the one held is the first task's last,
  // after its loop: pausing cannot stop that task any more, only the next.
  FFVCL.SetProgressInterval(1000000);
  AddConversion(Clips.VideoAudio, Out("ending.avi"));
  AddConversion(Clips.VideoAudio, Out("next.avi"));
  FFVCL.HoldAtFrame(0);
  FFVCL.StartTasks(1);
  ASSERT_TRUE(FFVCL.WaitUntilHeld());
  FFVCL.PauseAllTasks();
  FFVCL.LetGo();
  ASSERT_TRUE(WaitUntil([this] { return FFVCL.Task(1)->PausedAtSafePoint(); }));
  EXPECT_FALSE(Ended(Recorder.Events()));
  FFVCL.ResumeAllTasks();
  ASSERT_TRUE(Recorder.WaitForEnd());
  for (const TEvent &E : Only(Recorder.Events(), TEvent::Terminate)) EXPECT_TRUE(E.Finished) << E.Index;
}

TEST_F(ComponentStop, StopWhilePausedEndsTheTask) {
  FFVCL.SetProgressInterval(100);
  AddConversion(Clips.TenSeconds, Out("stopped-paused.avi"), true);
  FFVCL.HoldAtFrame(10);
  FFVCL.StartTasks(1);
  ASSERT_TRUE(FFVCL.WaitUntilHeld());
  FFVCL.PauseAllTasks();
  FFVCL.LetGo();
  ASSERT_TRUE(WaitUntil([this] { return FFVCL.Task(0)->PausedAtSafePoint(); }));
  FFVCL.StopAllTasks();
  ASSERT_TRUE(Recorder.WaitForEnd());
  const TEvents Ends = Only(Recorder.Events(), TEvent::Terminate);
  ASSERT_EQ(Ends.size(), 2u);
  EXPECT_EQ(Ends[0].Index, 0);
  EXPECT_FALSE(Ends[0].Finished);
  EXPECT_FALSE(Ends[0].Exception);
  EXPECT_EQ(Ends[1].Index, -1);
  ExpectPlayable(Out("stopped-paused.avi"));
}

TEST_F(ComponentStop, FreedTasksAndComponentsLeaveNoThreadWithFreedObjects) {
  TEventRecorder Events;
  auto Component = std::make_unique<TTestComponent>();
  Events.Attach(*Component);
  ASSERT_EQ(Component->AddTask(Clips.TenSeconds), 0) << Component->LastError();
  ASSERT_TRUE(Component->SetTaskOutput(0, Out("held.avi"))) << Component->LastError();
  Component->HoldAtFrame(0);
  Component->StartTasks(1);
  ASSERT_TRUE(Component->WaitUntilHeld());

  // Freeing the task gives up waiting after about a second; its thread keeps it.
  const std::weak_ptr<TFFmpeg> Task = Component->Task(0);
  Component->ClearTasks();
  EXPECT_EQ(Component->TaskCount(), 0);
  EXPECT_FALSE(Task.expired());

  // The component itself waits for the thread, which calls back into it.
  TTestComponent *Held = Component.get();
  auto Destroyed = std::async(std::launch::async, [&Component] { Component.reset(); });
  EXPECT_EQ(Destroyed.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  Held->LetGo();
  ASSERT_EQ(Destroyed.wait_for(EventWait), std::future_status::ready);
  EXPECT_TRUE(Task.expired());
  EXPECT_TRUE(Only(Events.Events(), TEvent::Terminate).empty()) << "a freed task's events end with it";
}

}  // namespace
}  // namespace korvane::test
