// SPDX-License-Identifier: GPL-3.0-or-later
// Adding tasks and outputs, and the numbering of the task list.
#include "ComponentFixture.h"

namespace korvane::test {
namespace {

using ComponentList = ComponentTest;

TEST_F(ComponentList, FailedAddsAnswerWithLastErrorAndAddNothing) {
  ASSERT_EQ(AddConversion(Clips.VideoAudio, Out("good.avi")), 0);
  const std::string Missing = Temp.File("missing.avi");
  const struct {
    const char *What;
    std::function<bool(TFFmpegVCL &)> Call;  // true when the call answered failure
    std::string Error;
  } Cases[] = {
      {"missing input", [&](TFFmpegVCL &C) { return C.AddTask(Missing) == -1; },
       Missing + ": no such file or directory"},
      {"bad input option line",
       [&](TFFmpegVCL &C) {
         TInputOptions In;
         In.ExtOptions = "s=huge";
         return C.AddTask(Clips.VideoAudio, &In) == -1;
       },
       "Incorrect frame size"},
      {"bad frame size",
       [&](TFFmpegVCL &C) {
         TOutputOptions O;
         O.FrameSize = "12x";
         return !C.SetTaskOutput(0, Out("bad-size.avi"), &O);
       },
       "Incorrect frame size"},
      {"no such task", [&](TFFmpegVCL &C) { return !C.SetTaskOutput(3, Out("none.avi")); },
       "List index out of bounds (3)"},
  };
  for (const auto &Case : Cases) {
    EXPECT_TRUE(Case.Call(FFVCL)) << Case.What;
    EXPECT_EQ(FFVCL.LastError(), Case.Error) << Case.What;
    EXPECT_EQ(FFVCL.TaskCount(), 1) << Case.What;
  }
  FFVCL.ClearTasks();
  EXPECT_EQ(FFVCL.LastError(), "");
}

TEST_F(ComponentList, TheOutputRecordChoosesTheHookEventAndItsAnswerGoesBack) {
  std::vector<int> Before, Custom;  // the AIndex of each event raised
  FFVCL.OnBeforeHook = [&Before](int Index, int64_t, THookAction &Action) {
    Before.push_back(Index);
    Action = haIgnore;
  };
  FFVCL.OnCustomHook = [&Custom](int Index, TRGBPicture &, int, int64_t, bool &Update, bool &StopHook) {
    Custom.push_back(Index);
    Update = true;
    StopHook = true;
  };
  const struct {
    bool CustomHook, BeforeHook;
    bool RaisesBefore, RaisesCustom;
  } Rows[] = {{false, false, false, false},
              {false, true, true, false},
              {true, false, false, true},
              {true, true, false, true}};
  for (int I = 0; I < 4; ++I) {
    TOutputOptions Options;
    Options.CustomHook = Rows[I].CustomHook;
    Options.BeforeHook = Rows[I].BeforeHook;
    ASSERT_EQ(FFVCL.AddTask(Clips.VideoAudio), I) << FFVCL.LastError();
    ASSERT_TRUE(FFVCL.SetTaskOutput(I, Out("hook" + std::to_string(I) + ".avi"), &Options))
        << FFVCL.LastError();
    const std::shared_ptr<TFFmpeg> Task = FFVCL.Task(I);
    ASSERT_EQ(static_cast<bool>(Task->FOnBeforeHook), Rows[I].RaisesBefore) << I;
    ASSERT_EQ(static_cast<bool>(Task->FOnCustomHook), Rows[I].RaisesCustom) << I;
    if (Task->FOnBeforeHook) {
      THookAction Action = haContinue;
      Task->FOnBeforeHook(*Task, 40000, Action);
      EXPECT_EQ(Action, haIgnore);
    }
    if (Task->FOnCustomHook) {
      uint8_t Pixels[3 * 2 * 2] = {};
      TRGBPicture Picture{2, 2, 6, Pixels};
      bool Update = false, StopHook = false;
      Task->FOnCustomHook(*Task, Picture, 1, 40000, Update, StopHook);
      EXPECT_TRUE(Update && StopHook);
    }
  }
  EXPECT_EQ(Before, std::vector<int>{1});
  EXPECT_EQ(Custom, (std::vector<int>{2, 3}));
}

TEST_F(ComponentList, RemovingATaskRenumbersTheRestAndTheirEvents) {
  for (int I = 0; I < 3; ++I) {
    TInputOptions In;
    TOutputOptions Options;
    Options.VideoCodec = "mpeg4";
    Options.AudioCodec = "libmp3lame";
    ASSERT_EQ(FFVCL.AddTask(Clips.VideoAudio, &In), I) << FFVCL.LastError();
    ASSERT_TRUE(FFVCL.SetTaskOutput(I, Out("out" + std::to_string(I) + ".avi"), &Options))
        << FFVCL.LastError();
    // The records the caller passed name the files the calls were given.
    EXPECT_EQ(In.FileName, Clips.VideoAudio);
    EXPECT_EQ(Options.FileName, Out("out" + std::to_string(I) + ".avi"));
  }
  const auto Second = FFVCL.Task(1), Third = FFVCL.Task(2);
  FFVCL.RemoveTask(0);
  ASSERT_EQ(FFVCL.TaskCount(), 2);
  EXPECT_EQ(FFVCL.Task(0), Second);
  EXPECT_EQ(FFVCL.Task(1), Third);
  EXPECT_EQ(Second->FTaskIndex, 0);
  EXPECT_EQ(Third->FTaskIndex, 1);
  EXPECT_THROW(FFVCL.RemoveTask(2), std::out_of_range);

  FFVCL.StartTasks(1);
  ASSERT_TRUE(Recorder.WaitForEnd());
  std::vector<int> Ends;
  for (const TEvent &E : Only(Recorder.Events(), TEvent::Terminate)) Ends.push_back(E.Index);
  EXPECT_EQ(Ends, (std::vector<int>{0, 1, -1}));
  EXPECT_EQ(FirstEventOf(Recorder.Events(), 2), -1);
}

}  // namespace
}  // namespace korvane::test
