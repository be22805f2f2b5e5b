// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM for a batch: taken on a thread of its own while it
// lives, so that stopping is ordinary code rather than a signal handler.
#pragma once

#include <functional>
#include <thread>

namespace korvane::convert {

// The first signal calls OnStop; a second one ends the program at once,
// after OnKill (which may write a last line, and must not return to a
// caller that writes more: it is called with the signal's default action
// next). A repeat within a second is the same request: timeout(1) and
// service managers send their signal to the process and to its process
// group alike. The signals are blocked in every thread (BlockStopSignals)
// and read from a signalfd; an eventfd wakes the thread the moment the
// batch ends, so that the program's exit never waits for it.
class TSignalWatcher {
 public:
  TSignalWatcher(std::function<void(int Signal)> OnStop, std::function<void(int Signal)> OnKill = {});
  ~TSignalWatcher();
  TSignalWatcher(const TSignalWatcher &) = delete;
  TSignalWatcher &operator=(const TSignalWatcher &) = delete;

 private:
  void Watch();
  void Close();

  std::function<void(int)> FOnStop, FOnKill;
  int FSignals = -1, FWake = -1;
  std::thread FThread;
};

}  // namespace korvane::convert
