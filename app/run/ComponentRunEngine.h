// SPDX-License-Identifier: GPL-3.0-or-later
// The transcoding component as a file's conversion uses it. It also counts
// the task lists: every ClearTasks starts a new one, and an event raised
// for an earlier list (still on its way to the UI thread when the list was
// cleared) can be told apart by its number and dropped.
#pragma once

#include <atomic>
#include <cstdint>

#include "FFmpegVCL.h"
#include "FileJob.h"

namespace korvane {

class TComponentRunEngine : public TRunEngine {
 public:
  explicit TComponentRunEngine(TFFmpegVCL &Component) : FComponent(Component) {}

  void ClearTasks() override;
  int AddTask(const std::string &FileName, TInputOptions &Options) override {
    return FComponent.AddTask(FileName, &Options);
  }
  bool SetTaskOutput(int Index, const std::string &FileName, TOutputOptions &Options) override {
    return FComponent.SetTaskOutput(Index, FileName, &Options);
  }
  void RemoveTask(int Index) override { FComponent.RemoveTask(Index); }
  void StartTasks(int ParallelCount) override { FComponent.StartTasks(ParallelCount); }
  void PauseAllTasks() override { FComponent.PauseAllTasks(); }
  void ResumeAllTasks() override { FComponent.ResumeAllTasks(); }
  void StopAllTasks() override { FComponent.StopAllTasks(); }
  std::string LastError() const override { return FComponent.LastError(); }

  // The number of the current task list; read on any thread. Events raised
  // after a ClearTasks has returned carry the new number: the component
  // raises none for the tasks it removed.
  uint64_t TaskList() const { return FTaskList.load(); }

 private:
  TFFmpegVCL &FComponent;
  std::atomic<uint64_t> FTaskList{0};
};

}  // namespace korvane
