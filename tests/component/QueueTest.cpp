// SPDX-License-Identifier: GPL-3.0-or-later
// The queue knows its tasks by what they are: removing one while the queue
// runs loses no other; events go out under the component's own lock only;
// an add that waits for its source can be stopped; a run that wrote nothing
// ends as a failure.
#include <atomic>
#include <filesystem>

#include "ComponentFixture.h"
#include "LibAVUtil.h"
#include "SilentServer.h"

namespace korvane::test {
namespace {

using ComponentQueue = ComponentTest;

std::vector<int> EndIndexes(const TEvents &Events) {
  std::vector<int> Ends;
  for (const TEvent &E : Only(Events, TEvent::Terminate)) Ends.push_back(E.Index);
  return Ends;
}

TEST_F(ComponentQueue, RemovingATaskWhileTheQueueRunsStillStartsTheRest) {
  const struct {
    const char *What;
    int Removed;            // while the second task runs
    std::vector<int> Ends;  // the indexes of the OnTerminate events, in order
  } Cases[] = {{"the finished first", 0, {0, 0, 1, -1}}, {"the running second", 1, {0, 1, -1}}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.What);
    TEventRecorder Events;
    TTestComponent Component;
    Events.Attach(Component);
    const std::string Prefix = Out(std::to_string(Case.Removed) + "-");
    for (int I = 0; I < 3; ++I) {
      TOutputOptions Options;
      Options.VideoCodec = "mpeg4";
      ASSERT_EQ(Component.AddTask(Clips.VideoAudio), I) << Component.LastError();
      ASSERT_TRUE(Component.SetTaskOutput(I, Prefix + std::to_string(I) + ".avi", &Options));
    }
    const std::shared_ptr<TFFmpeg> Third = Component.Task(2);
    Component.HoldAtFrame(1, Component.Task(1).get());
    Component.StartTasks(1);
    ASSERT_TRUE(Component.WaitUntilHeld());
    Component.RemoveTask(Case.Removed);
    Component.LetGo();
    ASSERT_TRUE(Events.WaitForEnd());
    EXPECT_EQ(EndIndexes(Events.Events()), Case.Ends);
    EXPECT_EQ(Third->FQueueState, TQueueState::Done);
    EXPECT_EQ(Number(ProbeFile(Prefix + "2.avi", true).Stream("video"), "nb_read_frames"), 50);
  }
}

TEST_F(ComponentQueue, ASlowHandlerHoldsUpNeitherTheLogNorOtherComponents) {
  // The window's way: progress and termination handlers, no log handler.
  TEventRecorder Events;
  TFFmpegVCL Slow;
  Events.Attach(Slow);
  Slow.OnLog = nullptr;
  ASSERT_EQ(Slow.AddTask(Clips.VideoAudio), 0) << Slow.LastError();
  ASSERT_TRUE(Slow.SetTaskOutput(0, Out("slow.avi")));
  // What another thread does while the handler takes its time; shared, so
  // that a helper still blocked when the test gives up has it to itself.
  struct TOtherThread {
    TFFmpegVCL Component;
    std::atomic<bool> Done{false};
  };
  auto Other = std::make_shared<TOtherThread>();
  std::atomic<bool> First{true}, Blocked{false};
  Events.ProgressAction = [&](int, int) {
    if (!First.exchange(false)) return;
    std::thread Helper([Other] {
      LibAVUtil::av_log(nullptr, AV_LOG_INFO, "a line from elsewhere\n");
      Other->Component.TaskCount();
      Other->Component.LogLevel();
      Other->Done = true;
    });
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Other->Done && std::chrono::steady_clock::now() < Deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Blocked = !Other->Done;
    if (Blocked)
      Helper.detach();  // it goes on once this handler returns
    else
      Helper.join();
  };
  Slow.StartTasks(1);
  ASSERT_TRUE(Events.WaitForEnd());
  EXPECT_FALSE(First) << "no progress report came";
  EXPECT_FALSE(Blocked) << "logging or another component waited for a handler of this one";
}

TEST_F(ComponentQueue, StopReachesAnAddWaitingForItsSource) {
  TSilentServer Server;
  std::thread Stopper([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    FFVCL.StopAllTasks();
  });
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(FFVCL.AddTask(Server.Url()), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
  Stopper.join();
  EXPECT_EQ(FFVCL.LastError(), Server.Url() + ": Error while opening file (stopped)");
  EXPECT_EQ(FFVCL.TaskCount(), 0);

  // The stop was for that add: the next round runs.
  AddConversion(Clips.VideoAudio, Out("after-stop.avi"));
  FFVCL.StartTasks(1);
  ASSERT_TRUE(Recorder.WaitForEnd());
  const TEvents Ends = Only(Recorder.Events(), TEvent::Terminate);
  ASSERT_EQ(Ends.size(), 2u);
  EXPECT_TRUE(Ends[0].Finished);
}

TEST_F(ComponentQueue, ARunThatWritesNothingEndsAsAFailureWithoutAFile) {
  const std::string Target = Out("nothing.avi");
  ASSERT_EQ(FFVCL.AddTask(Clips.VideoAudio), 0) << FFVCL.LastError();
  TOutputOptions Options;
  Options.ExtOptions = "vframes=0";
  ASSERT_TRUE(FFVCL.SetTaskOutput(0, Target, &Options)) << FFVCL.LastError();
  FFVCL.StartTasks(1);
  ASSERT_TRUE(Recorder.WaitForEnd());
  const TEvents Ends = Only(Recorder.Events(), TEvent::Terminate);
  ASSERT_EQ(Ends.size(), 2u);
  EXPECT_EQ(Ends[0].Index, 0);
  EXPECT_FALSE(Ends[0].Finished);
  EXPECT_TRUE(Ends[0].Exception);
  EXPECT_EQ(Ends[0].Text.rfind("Output file #0 (" + Target + ") is empty: nothing was encoded.", 0), 0u)
      << Ends[0].Text;
  EXPECT_FALSE(std::filesystem::exists(Target));
}

}  // namespace
}  // namespace korvane::test
