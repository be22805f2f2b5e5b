// SPDX-License-Identifier: GPL-3.0-or-later
// The component's hook events reach the video path of a run: a handler that
// throws is logged with the event's text and the run still ends done.
#include <stdexcept>

#include "ComponentFixture.h"

namespace korvane::test {
namespace {

using ComponentHooks = ComponentTest;

TEST_F(ComponentHooks, AHandlerThatThrowsIsLoggedAndTheRunEndsDone) {
  int BeforeCalls = 0, CustomCalls = 0;
  FFVCL.OnBeforeHook = [&](int, int64_t, THookAction &) {
    ++BeforeCalls;
    throw std::runtime_error("no answer");
  };
  FFVCL.OnCustomHook = [&](int, TRGBPicture &, int, int64_t, bool &, bool &) {
    ++CustomCalls;
    throw std::runtime_error("no picture");
  };
  const struct {
    bool Custom;
    std::string Logged;
    int BeforeCalls, CustomCalls;  // a failed before hook stops the plug-ins; a custom hook goes on
  } Rows[] = {{false, "Error occurs OnBeforeHook: no answer", 1, 0},
              {true, "Error occurs OnCustomHook: no picture", 0, 30}};
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Logged);
    const std::string Target = Out(R.Custom ? "custom.avi" : "before.avi");
    BeforeCalls = CustomCalls = 0;
    TOutputOptions Options;
    Options.VideoCodec = "mpeg4";
    Options.BeforeHook = !R.Custom;
    Options.CustomHook = R.Custom;
    Options.ExtOptions = "vhook=" + ExecutableDirectory() + "/hook_grey.so";
    ASSERT_EQ(FFVCL.AddTask(Clips.VideoOnly), 0) << FFVCL.LastError();
    ASSERT_TRUE(FFVCL.SetTaskOutput(0, Target, &Options)) << FFVCL.LastError();
    FFVCL.StartTasks(1);
    ASSERT_TRUE(Recorder.WaitForEnd());

    const TEvents Events = Recorder.Events();
    const TEvents Ends = Only(Events, TEvent::Terminate, 0);
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_TRUE(Ends[0].Finished && !Ends[0].Exception) << Ends[0].Text;
    int Logged = 0;
    for (const TEvent &E : Only(Events, TEvent::Log, 0)) Logged += E.Level == llError && E.Text == R.Logged;
    EXPECT_EQ(Logged, R.BeforeCalls + R.CustomCalls);
    EXPECT_EQ(BeforeCalls, R.BeforeCalls);
    EXPECT_EQ(CustomCalls, R.CustomCalls);
    EXPECT_EQ(Number(ProbeFile(Target, true).Stream("video"), "nb_read_frames"), 30);
    FFVCL.ClearTasks();
    Recorder.Clear();
  }
}

}  // namespace
}  // namespace korvane::test
