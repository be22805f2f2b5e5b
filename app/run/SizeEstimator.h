// SPDX-License-Identifier: GPL-3.0-or-later
// The expected output sizes of a file list's rows, made in the background.
// A quality step leaves the size to the encoder, so a few short samples of
// the file are coded (SampleEstimate): seconds of work a file. That work
// runs here, one file at a time, on a thread of its own at idle priority
// (it, and the encoders' threads it starts, get the processor only when
// nothing else wants it), and holds while a conversion runs. Estimates are
// kept per EstimateKey, so a choice changed and changed back, or a file
// listed twice, is coded once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "SizeEstimate.h"

namespace korvane {

class TSizeEstimator {
 public:
  // An estimate made for the row Id, which asked for it with Key; called
  // on the estimator's thread.
  using TDelivery = std::function<void(uint64_t Id, const std::string &Key, const TSizeEstimate &Estimate)>;

  // Starts the thread, which loads the media libraries from LibraryFolder.
  TSizeEstimator(std::string LibraryFolder, TDelivery Deliver);
  // Ends the sample under way and waits for the thread; nothing more is
  // delivered.
  ~TSizeEstimator();
  TSizeEstimator(const TSizeEstimator &) = delete;
  TSizeEstimator &operator=(const TSizeEstimator &) = delete;

  // Asks for the estimate of Setup (a conversion of the file Row and Pick
  // describe) for the row Id, in place of what Id asked before. One made
  // already comes back at once; otherwise none, and it is delivered once
  // made.
  std::optional<TSizeEstimate> Request(uint64_t Id, const TConversionSetup &Setup, const TFileRowTexts &Row,
                                       const TRowChoices &Pick);
  // Forgets what Id asked: nothing is delivered for it, and an estimate no
  // other row waits for is not made (ended, when under way).
  void Cancel(uint64_t Id);
  void CancelAll();
  // Paused, no sample is coded: the one under way ends, and its estimate
  // is made again from the start once the pause is over.
  void SetPaused(bool Paused);
  bool Paused() const;

  // The estimates made so far by coding samples, rather than found made.
  int Made() const;
  // Whether an estimate is waiting or under way.
  bool Busy() const;

 private:
  struct TJob {
    std::string Key;
    TConversionSetup Setup;
    TFileRowTexts Row;
    TRowChoices Pick;
    std::set<uint64_t> Waiting;  // the rows that want it
  };

  void Work();
  // Under FLock: takes Id off every job; a job no row waits for goes, and
  // the one under way ends.
  void Forget(uint64_t Id);
  // Under FLock: ends the job under way, if any.
  void Interrupt();

  const std::string FLibraryFolder;
  const TDelivery FDeliver;
  mutable std::mutex FLock;  // guards everything below but FThread
  std::condition_variable FWake;
  std::deque<TJob> FQueue;
  std::optional<TJob> FCurrent;     // under way
  TBlockingRun *FRunner = nullptr;  // codes FCurrent's samples, while it does
  bool FInterrupted = false;        // FCurrent is to be given up
  bool FPaused = false, FEnding = false;
  std::map<std::string, TSizeEstimate> FMade;
  int FMadeCount = 0;
  std::thread FThread;
};

}  // namespace korvane
