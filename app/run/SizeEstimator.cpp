// SPDX-License-Identifier: GPL-3.0-or-later
#include "SizeEstimator.h"

#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace korvane {

namespace {

// The estimates kept; past this many they are all forgotten, which costs
// only their being made again.
constexpr size_t KeptEstimates = 10000;

// Gives the calling thread the lowest priority there is: SCHED_IDLE, which
// runs it only on a processor that would otherwise idle, and the highest
// nice value where that policy is refused. Threads it makes afterwards
// (the conversion's and the encoders') inherit both.
void RunAtIdlePriority() {
  sched_param Parameters{};
  Parameters.sched_priority = 0;
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &Parameters);
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

// A scratch folder for the samples, which goes with its holder.
struct TScratchFolder {
  std::string Path;
  TScratchFolder() {
    std::error_code Error;
    std::string Pattern = (std::filesystem::temp_directory_path(Error) / "korvane-estimate-XXXXXX").string();
    if (!Error && mkdtemp(Pattern.data())) Path = Pattern;
  }
  ~TScratchFolder() {
    std::error_code Ignored;
    if (!Path.empty()) std::filesystem::remove_all(Path, Ignored);
  }
};

}  // namespace

TSizeEstimator::TSizeEstimator(std::string LibraryFolder, TDelivery Deliver)
    : FLibraryFolder(std::move(LibraryFolder)), FDeliver(std::move(Deliver)) {
  FThread = std::thread([this] { Work(); });
}

TSizeEstimator::~TSizeEstimator() {
  {
    std::lock_guard Guard(FLock);
    FEnding = true;
    Interrupt();
  }
  FWake.notify_all();
  FThread.join();
}

std::optional<TSizeEstimate> TSizeEstimator::Request(uint64_t Id, const TConversionSetup &Setup,
                                                     const TFileRowTexts &Row, const TRowChoices &Pick) {
  const std::string Key = EstimateKey(Setup);
  std::lock_guard Guard(FLock);
  // Asked again for what it waits for already: it goes on as it is.
  const auto Asked = [&](const TJob &Job) { return Job.Key == Key && Job.Waiting.count(Id) > 0; };
  if ((FCurrent && Asked(*FCurrent)) || std::any_of(FQueue.begin(), FQueue.end(), Asked)) return std::nullopt;
  Forget(Id);
  if (const auto Known = FMade.find(Key); Known != FMade.end()) return Known->second;
  // One under way is made again from the start when it was given up, now
  // that a row waits for it.
  if (FCurrent && FCurrent->Key == Key) {
    FCurrent->Waiting.insert(Id);
    return std::nullopt;
  }
  for (TJob &Job : FQueue)
    if (Job.Key == Key) {
      Job.Waiting.insert(Id);
      return std::nullopt;
    }
  FQueue.push_back({Key, Setup, Row, Pick, {Id}});
  FWake.notify_all();
  return std::nullopt;
}

void TSizeEstimator::Cancel(uint64_t Id) {
  std::lock_guard Guard(FLock);
  Forget(Id);
}

void TSizeEstimator::CancelAll() {
  std::lock_guard Guard(FLock);
  FQueue.clear();
  if (FCurrent) FCurrent->Waiting.clear();
  Interrupt();
}

void TSizeEstimator::SetPaused(bool Paused) {
  {
    std::lock_guard Guard(FLock);
    FPaused = Paused;
    if (Paused) Interrupt();
  }
  FWake.notify_all();
}

bool TSizeEstimator::Paused() const {
  std::lock_guard Guard(FLock);
  return FPaused;
}

int TSizeEstimator::Made() const {
  std::lock_guard Guard(FLock);
  return FMadeCount;
}

bool TSizeEstimator::Busy() const {
  std::lock_guard Guard(FLock);
  return FCurrent.has_value() || !FQueue.empty();
}

void TSizeEstimator::Forget(uint64_t Id) {
  for (auto Job = FQueue.begin(); Job != FQueue.end();) {
    Job->Waiting.erase(Id);
    Job = Job->Waiting.empty() ? FQueue.erase(Job) : std::next(Job);
  }
  if (FCurrent && FCurrent->Waiting.erase(Id) > 0 && FCurrent->Waiting.empty()) Interrupt();
}

void TSizeEstimator::Interrupt() {
  if (!FCurrent) return;
  FInterrupted = true;
  if (FRunner) FRunner->Stop();
}

void TSizeEstimator::Work() {
  // Before the component is made, so that every thread it starts inherits
  // the priority.
  RunAtIdlePriority();
  const TScratchFolder Scratch;
  auto Runner = std::make_unique<TBlockingRun>(FLibraryFolder);
  std::unique_lock Guard(FLock);
  for (;;) {
    FWake.wait(Guard, [this] { return FEnding || (!FPaused && !FQueue.empty()); });
    if (FEnding) break;
    FCurrent = std::move(FQueue.front());
    FQueue.pop_front();
    FInterrupted = false;
    FRunner = Runner.get();
    const TJob &Job = *FCurrent;  // only this thread replaces FCurrent
    Guard.unlock();
    TSizeEstimate Estimate;
    if (Scratch.Path.empty())
      Estimate.Error = "no folder for the samples could be made";
    else
      Estimate = EstimateSize(*Runner, Job.Setup, Job.Row, Job.Pick, Scratch.Path);
    Guard.lock();
    FRunner = nullptr;
    if (FInterrupted) {
      // Given up: made again later while a row still waits for it. A run
      // that was stopped takes no more work, so the next one is new.
      if (!FCurrent->Waiting.empty() && !FEnding) FQueue.push_front(std::move(*FCurrent));
      FCurrent.reset();
      if (FEnding) break;
      Guard.unlock();
      Runner = std::make_unique<TBlockingRun>(FLibraryFolder);
      Guard.lock();
      continue;
    }
    if (FMade.size() >= KeptEstimates) FMade.clear();
    FMade[Job.Key] = Estimate;
    ++FMadeCount;
    const std::vector<uint64_t> Ids(Job.Waiting.begin(), Job.Waiting.end());
    const std::string Key = Job.Key;
    FCurrent.reset();
    Guard.unlock();
    for (const uint64_t Id : Ids) FDeliver(Id, Key, Estimate);
    Guard.lock();
  }
  FCurrent.reset();
  Guard.unlock();
  Runner.reset();
}

}  // namespace korvane
