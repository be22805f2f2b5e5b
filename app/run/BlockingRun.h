// SPDX-License-Identifier: GPL-3.0-or-later
// One conversion at a time through a component of its own, the caller
// waiting for each: the size estimates' samples and the preview's
// pictures, made on threads of their own away from the window.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "ConversionOutcome.h"
#include "RowSetup.h"

namespace korvane {

class TFFmpegVCL;

class TBlockingRun {
 public:
  // Loads the media libraries from LibraryFolder into a component of its
  // own; the component lives on the thread that makes the run.
  explicit TBlockingRun(const std::string &LibraryFolder);
  ~TBlockingRun();
  TBlockingRun(const TBlockingRun &) = delete;
  TBlockingRun &operator=(const TBlockingRun &) = delete;

  // Why the media libraries could not be loaded; empty when they were.
  const std::string &LoadError() const { return FLoadError; }
  // Converts Setup; empty when it ended done (or partly done), else why
  // not: the engine's reason, or "stopped".
  std::string Convert(TConversionSetup Setup);
  // From any thread: ends the conversion under way, even one still opening
  // its input or not yet started, and every later one at once.
  void Stop();
  bool Stopped() const { return FStopped; }

 private:
  std::unique_ptr<TFFmpegVCL> FComponent;
  std::string FLoadError;
  std::mutex FLock;
  std::condition_variable FEnded;
  // Guarded by FLock: the end of the task under way, and of its list.
  bool FListEnded = false;
  TTaskEnd FEnd;
  std::atomic<bool> FStopped = false;
};

}  // namespace korvane
