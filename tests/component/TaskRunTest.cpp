// SPDX-License-Identifier: GPL-3.0-or-later
// Starting tasks one at a time, side by side and on the calling thread, a
// start that fails, and where log lines go.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "ComponentFixture.h"
#include "LibAVUtil.h"

namespace korvane::test {
namespace {

using ComponentRun = ComponentTest;

// Position in Events of task Index's OnTerminate, or -1.
int EndOf(const TEvents &Events, int Index) {
  for (size_t I = 0; I < Events.size(); ++I)
    if (Events[I].Kind == TEvent::Terminate && Events[I].Index == Index) return static_cast<int>(I);
  return -1;
}

void ExpectEnd(const TEvent &E, int Index, bool Finished, bool Exception, const std::string &Message) {
  EXPECT_EQ(E.Index, Index);
  EXPECT_EQ(E.Finished, Finished) << Index;
  EXPECT_EQ(E.Exception, Exception) << Index;
  EXPECT_EQ(E.Text, Message) << Index;
}

bool Logged(const TEvents &Events, int Index, TLogLevel Level, const std::string &Text) {
  for (const TEvent &E : Only(Events, TEvent::Log, Index))
    if (E.Level == Level && E.Text == Text) return true;
  return false;
}

// The library's line announcing output File ("Output #0, avi, to '...':").
bool AnnouncesOutput(const TEvent &E, const std::string &File) {
  return E.Kind == TEvent::Log && E.Text.find("Output #0") == 0 &&
         E.Text.find("'" + File + "'") != std::string::npos;
}

TEST_F(ComponentRun, OneAtATimeRunsTheTasksStrictlyInTurn) {
  for (int I = 0; I < 3; ++I) AddConversion(Clips.VideoAudio, Out("turn" + std::to_string(I) + ".avi"));
  FFVCL.StartTasks(1);
  ASSERT_TRUE(Recorder.WaitForEnd());

  const TEvents Events = Recorder.Events();
  const TEvents Ends = Only(Events, TEvent::Terminate);
  ASSERT_EQ(Ends.size(), 4u);
  for (int I = 0; I < 3; ++I) ExpectEnd(Ends[I], I, true, false, "");
  ExpectEnd(Ends[3], -1, true, false, "");
  for (int I = 1; I < 3; ++I) EXPECT_LT(EndOf(Events, I - 1), FirstEventOf(Events, I)) << "task " << I;
  for (int I = 0; I < 3; ++I) {
    for (const TEvent &E : Only(Events, TEvent::Log, I))
      EXPECT_NE(E.ThreadID, CurrentThreadID()) << "task " << I << " ran on the caller's thread";
    const TProbedFile P = ProbeFile(Out("turn" + std::to_string(I) + ".avi"), true);
    EXPECT_EQ(P.Errors, "");
    EXPECT_EQ(Number(P.Stream("video"), "nb_read_frames"), 50);
  }
}

TEST_F(ComponentRun, TwoAtOnceRunSideBySideAndKeepTheirLogLinesApart) {
  const std::string Files[] = {Out("side-a.avi"), Out("side-b.avi")};
  for (const std::string &File : Files) AddConversion(Clips.VideoAudio, File);
  FFVCL.StartTasks(2);
  // Both were started by the call itself, neither waited for the other's end.
  for (int I = 0; I < 2; ++I) EXPECT_TRUE(FFVCL.Task(I)->FRunning || FFVCL.Task(I)->FTerminated) << I;
  ASSERT_TRUE(Recorder.WaitForEnd());

  const TEvents Events = Recorder.Events();
  const TEvents Ends = Only(Events, TEvent::Terminate);
  ASSERT_EQ(Ends.size(), 3u);
  ExpectEnd(Ends[2], -1, true, false, "");
  pid_t Thread[2] = {};
  for (const TEvent &E : Ends)
    if (E.Index >= 0) {
      EXPECT_TRUE(E.Finished);
      Thread[E.Index] = E.ThreadID;
    }
  EXPECT_NE(Thread[0], Thread[1]);
  for (int I = 0; I < 2; ++I) {
    EXPECT_NE(Thread[I], CurrentThreadID());
    int Announced = 0;
    for (const TEvent &E : Only(Events, TEvent::Log, I)) {
      EXPECT_EQ(E.ThreadID, Thread[I]) << "line of task " << I << " from another thread: " << E.Text;
      EXPECT_FALSE(AnnouncesOutput(E, Files[1 - I])) << "task " << I << " got: " << E.Text;
      Announced += AnnouncesOutput(E, Files[I]);
    }
    EXPECT_EQ(Announced, 1) << "task " << I;
  }
  // Lines the library assembles from pieces come out whole, one per line.
  for (const TEvent &E : Only(Events, TEvent::Log)) {
    const size_t Stream = E.Text.find("Stream #");
    EXPECT_TRUE(Stream == std::string::npos || E.Text.find("Stream #", Stream + 1) == std::string::npos)
        << E.Text;
    EXPECT_LE(std::count(E.Text.begin(), E.Text.end(), '@'), 1) << E.Text;
  }
}

TEST_F(ComponentRun, MainThreadRunsStartFromTimersOnTheCallingThread) {
  const std::string Files[] = {Out("main-a.avi"), Out("main-b.avi")};
  for (const std::string &File : Files) AddConversion(Clips.VideoAudio, File);
  const size_t Before = Recorder.Events().size();
  const auto Start = std::chrono::steady_clock::now();
  FFVCL.StartTasks(0);
  FFVCL.ProcessTimers();
  if (std::chrono::steady_clock::now() - Start < std::chrono::milliseconds(90)) {
    EXPECT_EQ(Recorder.Events().size(), Before) << "a task started before its timer was due";
    EXPECT_FALSE(FFVCL.Task(0)->FRunning || FFVCL.Task(0)->FTerminated);
  }
  ASSERT_TRUE(Recorder.WaitForEnd([this] { FFVCL.ProcessTimers(); }));

  const TEvents All = Recorder.Events();
  const TEvents Events(All.begin() + static_cast<ptrdiff_t>(Before), All.end());
  ASSERT_FALSE(Events.empty());
  for (const TEvent &E : Events) EXPECT_EQ(E.ThreadID, CurrentThreadID()) << E.Index << " " << E.Text;
  EXPECT_EQ(FFVCL.Task(0)->FThreadID, CurrentThreadID());
  EXPECT_GE(Events.front().Time - Start, std::chrono::milliseconds(100));
  ASSERT_GE(FirstEventOf(Events, 1), 0);
  EXPECT_GE(Events[FirstEventOf(Events, 1)].Time - Events[EndOf(Events, 0)].Time,
            std::chrono::milliseconds(100));
  const TEvents Ends = Only(Events, TEvent::Terminate);
  ASSERT_EQ(Ends.size(), 3u);
  ExpectEnd(Ends[0], 0, true, false, "");
  ExpectEnd(Ends[1], 1, true, false, "");
  ExpectEnd(Ends[2], -1, true, false, "");
  // Both runs share this thread: the second one's library lines are its own.
  for (int I = 0; I < 2; ++I) {
    int Announced = 0;
    for (const TEvent &E : Events) Announced += AnnouncesOutput(E, Files[I]) && E.Index == I;
    EXPECT_EQ(Announced, 1) << "task " << I;
  }
  // And once the runs are over, a line of this thread belongs to no task.
  LibAVUtil::av_log(nullptr, AV_LOG_INFO, "after the runs\n");
  EXPECT_TRUE(Logged(Recorder.Events(), -1, llInfo, "after the runs"));
}

TEST_F(ComponentRun, ATaskThatCannotStartReportsWhyAndTheNextOneRuns) {
  ASSERT_EQ(FFVCL.AddTask(Clips.VideoAudio), 0) << FFVCL.LastError();  // no output
  AddConversion(Clips.VideoAudio, Out("after-failure.avi"));
  FFVCL.StartTasks(1);
  ASSERT_TRUE(Recorder.WaitForEnd());
  const TEvents Events = Recorder.Events();
  const TEvents Ends = Only(Events, TEvent::Terminate);
  ASSERT_EQ(Ends.size(), 3u);
  ExpectEnd(Ends[0], 0, false, true, "Must supply at least one output file");
  ExpectEnd(Ends[1], 1, true, false, "");
  ExpectEnd(Ends[2], -1, true, false, "");
  EXPECT_TRUE(Logged(Events, 0, llQuiet, "Must supply at least one output file"));
}

TEST_F(ComponentRun, LibraryLinesReachTheTaskRunningOnTheirThread) {
  for (int I = 0; I < 3; ++I) AddConversion(Clips.VideoAudio, Out("marked" + std::to_string(I) + ".avi"));
  std::atomic<bool> Marked[3] = {};
  Recorder.ProgressAction = [&Marked](int Index, int) {
    if (Index >= 0 && Index < 3 && !Marked[Index].exchange(true))
      LibAVUtil::av_log(nullptr, AV_LOG_INFO, "marker of task %d\n", Index);
  };
  FFVCL.StartTasks(1);
  ASSERT_TRUE(Recorder.WaitForEnd());
  for (int I = 0; I < 3; ++I)
    EXPECT_TRUE(Logged(Recorder.Events(), I, llInfo, "marker of task " + std::to_string(I))) << I;

  // Lines of a thread that runs no task (the caller's, as while probing)
  // carry -1, each level mapped onto the component's.
  FFVCL.SetLogLevel(llAll);
  const struct {
    int Library;
    TLogLevel Level;
  } Levels[] = {{AV_LOG_ERROR, llError},   {AV_LOG_WARNING, llInfo}, {AV_LOG_INFO, llInfo},
                {AV_LOG_VERBOSE, llDebug}, {AV_LOG_DEBUG, llDebug},  {AV_LOG_TRACE, llAll}};
  for (const auto &Row : Levels) {
    LibAVUtil::av_log(nullptr, Row.Library, "level %d\n", Row.Library);
    EXPECT_TRUE(Logged(Recorder.Events(), -1, Row.Level, "level " + std::to_string(Row.Library)))
        << Row.Library;
  }
  FFVCL.SetLogLevel(llInfo);
}

TEST_F(ComponentRun, ThreadPriorityLowersTheWorkerThreads) {
  errno = 0;
  const int Base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  ASSERT_EQ(errno, 0);
  const struct {
    TConvertPriority Priority;
    int Offset;
  } Rows[] = {{tpNormal, 0}, {tpLower, 5}, {tpLowest, 10}, {tpIdle, 19}};
  for (const auto &Row : Rows) {
    TEventRecorder Events;
    TFFmpegVCL Component;
    Events.Attach(Component);
    std::atomic<int> Nice{-100};
    Events.ProgressAction = [&Nice](int, int) {
      Nice = getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadID()));
    };
    Component.SetThreadPriority(Row.Priority);
    ASSERT_EQ(Component.AddTask(Clips.VideoAudio), 0) << Component.LastError();
    ASSERT_TRUE(Component.SetTaskOutput(0, Out("nice" + std::to_string(Row.Offset) + ".avi")));
    Component.StartTasks(1);
    ASSERT_TRUE(Events.WaitForEnd());
    EXPECT_EQ(Nice, std::min(Base + Row.Offset, 19)) << Row.Priority;
  }
}

}  // namespace
}  // namespace korvane::test
