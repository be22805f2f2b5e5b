// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComponentFixture.h"

#include <cstdio>
#include <cstdlib>

namespace korvane::test {

void TEventRecorder::Attach(TFFmpegVCL &Component) {
  Component.OnLog = [this](int Index, TLogLevel Level, const std::string &Text) {
    TEvent E;
    E.Kind = TEvent::Log;
    E.Index = Index;
    E.Level = Level;
    E.Text = Text;
    Add(std::move(E));
  };
  Component.OnProgress = [this](int Index, int FrameNumber, int, int, float, float, int64_t, int) {
    TEvent E;
    E.Kind = TEvent::Progress;
    E.Index = Index;
    E.FrameNumber = FrameNumber;
    Add(std::move(E));
    if (ProgressAction) ProgressAction(Index, FrameNumber);
  };
  Component.OnTerminate = [this](int Index, bool Finished, bool Exception, const std::string &Message,
                                 const std::string &Note) {
    TEvent E;
    E.Kind = TEvent::Terminate;
    E.Index = Index;
    E.Finished = Finished;
    E.Exception = Exception;
    E.Text = Message;
    E.Note = Note;
    Add(std::move(E));
  };
}

void TEventRecorder::Add(TEvent Event) {
  Event.ThreadID = CurrentThreadID();
  Event.Time = std::chrono::steady_clock::now();
  std::lock_guard Guard(FLock);
  FEvents.push_back(std::move(Event));
  FChanged.notify_all();
}

TEvents TEventRecorder::Events() const {
  std::lock_guard Guard(FLock);
  return FEvents;
}

bool TEventRecorder::WaitFor(const std::function<bool(const TEvents &)> &Done,
                             const std::function<void()> &Drive) {
  const auto Deadline = std::chrono::steady_clock::now() + EventWait;
  std::unique_lock Guard(FLock);
  while (!Done(FEvents)) {
    if (std::chrono::steady_clock::now() >= Deadline) {
      ADD_FAILURE() << "no such event within " << EventWait.count() << " s; " << FEvents.size()
                    << " events so far";
      return false;
    }
    if (Drive) {
      Guard.unlock();
      Drive();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      Guard.lock();
    } else {
      FChanged.wait_until(Guard, Deadline);
    }
  }
  return true;
}

void TEventRecorder::Clear() {
  std::lock_guard Guard(FLock);
  FEvents.clear();
}

bool TEventRecorder::WaitForEnd(const std::function<void()> &Drive) { return WaitFor(Ended, Drive); }

TWatchdog::TWatchdog(std::chrono::seconds Limit) {
  const ::testing::TestInfo *Test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string Name = Test ? std::string(Test->test_suite_name()) + "." + Test->name() : "a test";
  FThread = std::thread([this, Limit, Name] {
    std::unique_lock Guard(FLock);
    if (FDone.wait_for(Guard, Limit, [this] { return FFinished; })) return;
    std::fprintf(stderr, "Watchdog: %s did not finish within %lld s\n", Name.c_str(),
                 static_cast<long long>(Limit.count()));
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
  });
}

TWatchdog::~TWatchdog() {
  {
    std::lock_guard Guard(FLock);
    FFinished = true;
    FDone.notify_all();
  }
  FThread.join();
}

void TTestComponent::HoldAtFrame(int Frame, const TFFmpeg *Only) {
  std::lock_guard Guard(FLock);
  FHoldAt = Frame;
  FHoldOnly = Only;
}

bool TTestComponent::WaitUntilHeld() {
  std::unique_lock Guard(FLock);
  const bool Held = FChanged.wait_for(Guard, EventWait, [this] { return FHeld; });
  if (!Held) ADD_FAILURE() << "no run was held within " << EventWait.count() << " s";
  return Held;
}

void TTestComponent::LetGo() {
  std::lock_guard Guard(FLock);
  FLetGo = true;
  FChanged.notify_all();
}

void TTestComponent::DoProgress(TFFmpeg *Task, const TProgressInfo &Info) {
  {
    std::unique_lock Guard(FLock);
    if (!FHeld && Info.FrameNumber >= FHoldAt && (!FHoldOnly || FHoldOnly == Task)) {
      FHeld = true;
      FChanged.notify_all();
      FChanged.wait_for(Guard, EventWait, [this] { return FLetGo; });
    }
  }
  TFFmpegVCL::DoProgress(Task, Info);
}

void ComponentTest::SetUp() {
  ASSERT_TRUE(FFVCL.LoadMediaLibraries(CommonFilesDirectory())) << FFVCL.LastError();
  Recorder.Attach(FFVCL);
}

int ComponentTest::AddConversion(const std::string &Input, const std::string &Output, bool RealTime) {
  TInputOptions In;
  if (RealTime) In.ExtOptions = "re";
  const int Index = FFVCL.AddTask(Input, &In);
  EXPECT_GE(Index, 0) << FFVCL.LastError();
  TOutputOptions Options;
  Options.VideoCodec = "mpeg4";
  Options.AudioCodec = "libmp3lame";
  EXPECT_TRUE(FFVCL.SetTaskOutput(Index, Output, &Options)) << FFVCL.LastError();
  return Index;
}

TEvents Only(const TEvents &Events, TEvent::TKind Kind) {
  TEvents Result;
  for (const TEvent &E : Events)
    if (E.Kind == Kind) Result.push_back(E);
  return Result;
}

TEvents Only(const TEvents &Events, TEvent::TKind Kind, int Index) {
  TEvents Result;
  for (const TEvent &E : Events)
    if (E.Kind == Kind && E.Index == Index) Result.push_back(E);
  return Result;
}

int FirstEventOf(const TEvents &Events, int Index) {
  for (size_t I = 0; I < Events.size(); ++I)
    if (Events[I].Index == Index) return static_cast<int>(I);
  return -1;
}

bool Ended(const TEvents &Events) {
  for (const TEvent &E : Events)
    if (E.Kind == TEvent::Terminate && E.Index == -1) return true;
  return false;
}

bool WaitUntil(const std::function<bool()> &Condition) {
  const auto Deadline = std::chrono::steady_clock::now() + EventWait;
  while (!Condition()) {
    if (std::chrono::steady_clock::now() >= Deadline) {
      ADD_FAILURE() << "the condition did not come true within " << EventWait.count() << " s";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::string FrameChecksums(const std::string &File) {
  return RunCommand("ffmpeg -v error -i '" + File + "' -f framemd5 -").Output;
}

}  // namespace korvane::test
