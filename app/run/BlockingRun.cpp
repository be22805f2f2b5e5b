// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockingRun.h"

#include "FFmpegVCL.h"

namespace korvane {

TBlockingRun::TBlockingRun(const std::string &LibraryFolder) : FComponent(std::make_unique<TFFmpegVCL>()) {
  if (!FComponent->LoadMediaLibraries(LibraryFolder, true)) FLoadError = FComponent->LastError();
  FComponent->OnTerminate = [this](int AIndex, bool AFinished, bool AException, const std::string &AMessage,
                                   const std::string &ANote) {
    {
      std::lock_guard Guard(FLock);
      if (AIndex >= 0)
        FEnd = {AFinished, AException, AMessage, ANote};
      else
        FListEnded = true;
    }
    FEnded.notify_all();
  };
}

TBlockingRun::~TBlockingRun() {
  FComponent->StopAllTasks();
  FComponent->ClearTasks();
  FComponent->OnTerminate = nullptr;
}

void TBlockingRun::Stop() {
  FStopped = true;
  // An input being opened gives up; a task already started stops.
  FComponent->StopAllTasks();
  // The waiting thread looks again: a stop that came between its look and
  // the task's start is made by it.
  { std::lock_guard Guard(FLock); }
  FEnded.notify_all();
}

std::string TBlockingRun::Convert(TConversionSetup Setup) {
  if (!FLoadError.empty()) return FLoadError;
  FComponent->ClearTasks();
  {
    std::lock_guard Guard(FLock);
    FListEnded = false;
    FEnd = {};
  }
  if (FStopped) return "stopped";
  const int Index = FComponent->AddTask(Setup.Input.FileName, &Setup.Input);
  if (Index < 0 || !FComponent->SetTaskOutput(Index, Setup.Output, &Setup.Options)) {
    const std::string Error = FStopped ? "stopped" : FComponent->LastError();
    FComponent->ClearTasks();
    return Error.empty() ? "the conversion could not be set up" : Error;
  }
  if (FStopped) {
    FComponent->ClearTasks();
    return "stopped";
  }
  FComponent->StartTasks(1);
  std::unique_lock Guard(FLock);
  for (bool Stopping = false; !FListEnded;) {
    if (FStopped && !Stopping) {
      Guard.unlock();
      FComponent->StopAllTasks();
      Guard.lock();
      Stopping = true;
      continue;
    }
    FEnded.wait(Guard);
  }
  const TOutcome Outcome = OutcomeOf(FEnd, FStopped);
  // A failure always says something, so that it is never taken for done.
  const std::string Result = Outcome == TOutcome::Failed
                                 ? (FEnd.Message.empty() ? "the conversion failed" : FEnd.Message)
                             : Outcome == TOutcome::Stopped ? "stopped"
                                                            : "";
  Guard.unlock();
  FComponent->ClearTasks();
  return Result;
}

}  // namespace korvane
