// SPDX-License-Identifier: GPL-3.0-or-later
// Converting a batch, several files at once: the files and folders of the
// command line and its lists (folders walked), or the command's share of
// them, with progress and a line for each file as it ends (or JSON
// events), a stop on request (Ctrl-C), complete outputs skipped on
// request, and the counts at the end. Each file is converted by a file job
// (FileJob.h) on a job slot as one frees up, as the window's lanes convert
// its rows; this class only hands out the files and gathers their ends.
//
// The slots' components are reached through TRunEngine, their events come
// in through Progress, Terminate and Log (on any thread), and the files are
// read through TBatchProbe: the program gives it the media libraries,
// tests give it fakes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "BatchList.h"
#include "BatchReport.h"
#include "CommandLine.h"
#include "CompleteOutputs.h"
#include "CoreShare.h"
#include "FFmpegVCL.h"
#include "FileJob.h"
#include "ProfileOptions.h"

namespace korvane::convert {

// What the batch reads of its files.
class TBatchProbe {
 public:
  virtual ~TBatchProbe() = default;
  // What Path holds, and the facts its set-up reads (its picture, upright
  // when Turned, its length and sound tracks). A file Found in a folder is
  // media by its content alone (Reason: what it is instead, or why it
  // cannot be read); a file that was named is Media whatever it holds, its
  // facts left as they are where it cannot be read.
  virtual TMediaKind Read(const std::string &Path, bool Found, bool Turned, TFileRowTexts &Row,
                          std::string &Reason) = 0;
  // The libraries' probe: it measures outputs the journal does not know,
  // and reads the tracks the choices name.
  virtual TAVProbe &Probe() = 0;
};

class TBatchRunner {
 public:
  // Entries: the whole batch, of which the command's share is converted.
  TBatchRunner(const TCommandLine &Command, TProfileForm Form, std::vector<TBatchEntry> Entries,
               TBatchProbe &Probe);
  TBatchRunner(const TBatchRunner &) = delete;
  TBatchRunner &operator=(const TBatchRunner &) = delete;

  // How many job slots the batch takes: as many as the jobs asked for, no
  // more than there are files, and at least one.
  size_t SlotsWanted() const;
  // A job slot converting with Engine; its events are those of slot number
  // N, the slots added before it.
  void AddSlot(TRunEngine &Engine);
  // Raises EUsageError for a file whose tracks or length the choices do not
  // fit (a track it does not have, a start past its end), before any file
  // is converted.
  void CheckFilesFit();
  // Converts every file and prints the summary; the program's exit status.
  int Run();

  // The events of slot Slot's task Index, on any thread.
  void Progress(size_t Slot, int Index, const TProgressInfo &Info);
  void Terminate(size_t Slot, int Index, const TTaskEnd &End);
  void Log(size_t Slot, int Index, TLogLevel Level, const std::string &Message);
  // SIGINT (Ctrl-C) and SIGTERM both stop the batch: the runs finish their
  // outputs so far, an input being opened gives up, nothing more starts.
  // From any thread.
  void Stop(int Signal);

  // How file File of the share stands.
  TOutcome Outcome(size_t File);

 private:
  using TClock = std::chrono::steady_clock;

  struct TFileState {
    TBatchEntry Entry;        // the file (Entry.Path), or what stands in its place
    std::string_view Output;  // kept in TBatch::Texts
    TOutcome Outcome = TOutcome::Waiting;
    std::string_view Message;  // the engine's reason, or why it is skipped (TBatch::Texts)
    std::string_view Note;     // what the output left out (TBatch::Texts)
    bool NotMedia = false;
    int64_t Bytes = -1, SourceBytes = -1;  // of its output and its source, as it ended
    TProgressInfo Progress;
    TClock::time_point Started;       // its first progress, for the time it has left
    TClock::time_point Began, Ended;  // of its task
    bool Reported = false;            // its end is told
  };

  // What the components' events tell, read by the main thread. The events
  // come on the tasks' threads; they only write here and wake the main
  // thread.
  struct TBatch {
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<TFileState> Files;
    int StopSignal = 0;  // SIGINT or SIGTERM once one asked the batch to stop
    // The texts kept to the end (output names, failure messages) come from
    // a pool of their own: kept among the memory each file's set-up takes
    // and frees, they would pin it, and a long batch would grow with every
    // file.
    std::pmr::monotonic_buffer_resource Texts;
    std::string_view Keep(std::string_view Text) {
      char *Copy = static_cast<char *>(Texts.allocate(Text.size() + 1, 1));
      std::memcpy(Copy, Text.data(), Text.size());
      Copy[Text.size()] = '\0';
      return {Copy, Text.size()};
    }
  };

  // One job slot: a component that converts one file at a time through
  // the file's job, set up the way the window sets up a row (clear, add,
  // output, start one). Files are handed to the slots as they free up, so
  // a batch holds only what its running files need, whatever its length.
  // It is its job's sink.
  struct TSlot : TFileJobSink {
    TSlot(TBatchRunner &AOwner, TRunEngine &AEngine) : Owner(AOwner), Engine(AEngine) {}

    TMediaKind ReadFile(TFileRowTexts &Row, std::string &Reason) override;
    void Log(const std::string &Line) override;
    void SizeReached(const std::string &Summary) override;
    void OutputClaimed(const std::string &Output) override;
    void RunStarting(int Run, const std::string &Output) override;
    void Ended(const TFileJobEnd &End) override;
    bool StopAsked() const override { return Owner.StopSignal() != 0; }
    void JournalFailed(const std::string &Error) override { Owner.JournalFailed(Error); }
    // The file it converts.
    TFileState &FileState() const { return Owner.FBatch.Files[static_cast<size_t>(File)]; }

    TBatchRunner &Owner;
    TRunEngine &Engine;
    int File = -1;  // the file it converts, -1 while free (Batch.Lock)
    std::unique_ptr<TFileJob> Job;
    std::string_view Claimed;  // the output its file's task writes (TBatch::Texts)
  };

  // Under FBatch.Lock: the file that an event of slot Slot's task Index is
  // about; none for the component's own events.
  TFileState *FileOf(size_t Slot, int Index);
  // Names the outputs of the whole batch, so that every share and every
  // run gives a file the same name.
  void PlanOutputs();
  void StartFile(TSlot &Slot, size_t File);
  // Waits for an event; false once the batch is over. The job of a slot
  // whose task ended goes on with its next run, or ends its file.
  bool Poll();
  void TaskOver(TSlot &Slot);
  void ShowProgress();
  // Tells the end of a file that has ended, once.
  void Report(size_t File);
  TBatchCounts Counts();
  int Summary();

  int StopSignal();
  // Ends a file that got no job, with Message as its reason.
  void Settle(size_t File, TOutcome Outcome, const std::string &Message, bool NotMedia = false);
  // Under FBatch.Lock: whether the slot's file has reported its end.
  bool SlotEnded(const TSlot &Slot) const;
  // Says once that the journal cannot be written, where outputs are skipped.
  void JournalFailed(const std::string &Error);

  const TProfileForm FForm;
  TBatch FBatch;
  TBatchReport FReport;
  TBatchProbe &FProbe;
  // Tasks send their own lines at every level; only those up to the chosen
  // one are shown (failures appear in the summary anyway).
  TLogLevel FShown;
  // The jobs share the cores: each task's codecs get their part, unless the
  // user's own "threads" line (which comes later) says otherwise.
  TCoreShare FShare;
  TConversionChoices FChoices;
  const TFileChoices FFileChoices;
  // The row describes the picture as the engine will have it: turned
  // upright unless the lines say otherwise.
  bool FTurned;
  std::pmr::set<std::string_view> FReserved;  // output names taken so far
  // The whole batch until its outputs are planned; this command's share of
  // it are FBatch.Files.
  std::vector<TBatchEntry> FWhole;
  std::vector<size_t> FShareOfWhole;
  // Names given in advance (--skip-existing, --shard): the output of each
  // file of the share, and every name of the whole batch.
  std::vector<std::string> FPlanned;
  std::unordered_set<std::string> FPlannedNames;
  // Notes the outputs a run leaves incomplete in every run; with
  // --skip-existing (FSkipping) it is read and kept as the run goes too.
  TOutputJournal FJournal;
  bool FSkipping = false;
  bool FJournalFailed = false;  // said so once
  std::deque<TSlot> FSlots;     // its jobs are their sinks, so the slots never move
  size_t FNext = 0;             // the first file not handed to a slot yet
};

}  // namespace korvane::convert
