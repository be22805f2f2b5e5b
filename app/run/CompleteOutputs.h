// SPDX-License-Identifier: GPL-3.0-or-later
// Which outputs in an output folder are complete, so that a batch run again
// skips them and redoes the rest. A run that skips complete outputs keeps a
// small journal in the output folder: it notes each conversion as it
// begins, and again when it ended whole (never one that was stopped,
// failed or fell short), with the size and time of change of its source
// and of its output. Every run, skipping or not, notes an output it leaves
// incomplete (stopped, or partial where its source is cut short), so that
// a run that skips complete outputs afterwards knows the file for one of
// its own. An output is complete when its "done" note still matches both
// files; an output the journal names but that does not match (begun and
// never ended, stopped, partial, or changed since) is not, and converting
// again replaces it. An output the journal does not know at all (made
// before, or by a run that kept no journal) is complete when it is as long
// as its source, by the same measure that tells a partial conversion from a
// whole one.
//
// The journal is the folder ".korvane-journal" in the output folder, with
// one file per program run that wrote to it (named after the machine, the
// process and the time), so that runs on several machines sharing the
// folder never write into one file. Its lines are tab-separated: "begun",
// "stopped", "partial" or "done", the output's path below the output
// folder, the source's absolute path, then (for "done") the sizes in bytes
// and times of change in nanoseconds of the source and the output; a tab, a
// line feed or a backslash within a path is written \t, \n or \\. Lines of
// a kind a reader does not know are passed over.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ConversionOutcome.h"

namespace korvane {

class TAVProbe;

class TOutputJournal {
 public:
  // The journal's folder in an output folder.
  static constexpr const char *FolderName = ".korvane-journal";

  // Reads the journal of the output folder Root; none is an empty journal.
  explicit TOutputJournal(const std::string &Root);
  ~TOutputJournal();
  TOutputJournal(const TOutputJournal &) = delete;
  TOutputJournal &operator=(const TOutputJournal &) = delete;

  // Whether Output (a file in Root's tree) holds the whole conversion of
  // Input, as noted, with neither file changed since.
  bool Finished(const std::string &Input, const std::string &Output) const;
  // Another output beside Output, of its kind (its folder and extension,
  // its name or that name with "-1", "-2", ...), that holds the whole
  // conversion of Input; empty when there is none. A name made unique,
  // because a file of the planned name was there already, is found again.
  std::string FinishedBeside(const std::string &Input, const std::string &Output) const;
  // Whether the journal names Output at all (begun or done, whether it
  // still holds or not).
  bool Knows(const std::string &Output) const;
  // Whether the journal names Output as a conversion of Input: a file of
  // this batch's own, which converting again may replace.
  bool Owns(const std::string &Input, const std::string &Output) const;
  // Another output beside Output, of its kind, that the journal names as a
  // conversion of Input that it never noted whole, and that Taken does not
  // name; empty when there is none. A name made unique
  // by an earlier run is used again rather than another one beside it.
  std::string UnfinishedBeside(const std::string &Input, const std::string &Output,
                               const std::function<bool(const std::string &)> &Taken) const;

  // Notes that the conversion of Input into Output begins, that Output now
  // holds the whole of it, or that it ended incomplete (Outcome stopped or
  // partial). False, with the reason in Error, when the journal cannot be
  // written.
  bool Begin(const std::string &Input, const std::string &Output);
  bool Record(const std::string &Input, const std::string &Output);
  bool Unfinished(const std::string &Input, const std::string &Output, TOutcome Outcome);

  const std::string &Error() const { return FError; }

 private:
  struct TEntry {
    const char *Kind = "begun";  // "begun", "stopped", "partial" or "done"
    bool Done = false;
    std::string Output;  // below Root
    std::string Input;   // absolute
    int64_t InputSize = 0, InputTime = 0, OutputSize = 0, OutputTime = 0;
  };
  void ReadFile(const std::string &Path);
  void Add(TEntry Entry);
  bool Holds(const TEntry &Entry) const;
  // The first output beside Output, of its kind, of an entry of Input's
  // that Match takes (given the entry and the output's name in the form
  // Output is given in, which is returned); empty when there is none.
  std::string Beside(const std::string &Input, const std::string &Output,
                     const std::function<bool(const TEntry &, const std::string &)> &Match) const;
  bool Write(const TEntry &Entry);
  // Output's path below Root; empty when it lies elsewhere.
  std::string BelowRoot(const std::string &Output) const;

  std::string FRoot;  // absolute, without a trailing slash
  std::vector<TEntry> FEntries;
  std::unordered_multimap<std::string, size_t> FByOutput, FByInput;
  int FFile = -1;  // this run's journal file, opened on the first note
  std::string FError;
};

// A path as the journal knows it: absolute, without "." and ".." steps or
// doubled slashes (links are not resolved).
std::string AbsolutePath(const std::string &Path);

// Whether Output is a whole conversion of Input by their lengths: Output
// opens, and each of its picture and sound falls short of the length Input
// declares for it by no more than a second, or a twentieth where that is
// more. False where either declares no length it can be measured by (one
// guessed from the bit rate of a file that may be cut short). Probe is
// closed afterwards.
bool WholeByLength(TAVProbe &Probe, const std::string &Input, const std::string &Output);

// Where the conversion of Input goes when complete outputs are skipped,
// its output planned as Planned.
struct TExistingOutput {
  bool Complete = false;  // Output holds the whole conversion already
  std::string Output;     // the complete output, or the file to write
};
// Complete: Planned, or a name made unique beside it, as the journal notes
// it; or Planned unknown to the journal and whole by its length (then
// noted as done, so that the next run need not measure it again).
// Otherwise the file to write: Planned when it is free, or a conversion of
// Input that never ended (replaced, whatever Overwrite says), or when
// Overwrite allows (unless the journal knows it as another file's output);
// else an incomplete conversion of Input beside it (UnfinishedBeside), or
// the first free name beside it ("-1", "-2", ...) that Taken does not name,
// so that a file of someone else's is never replaced.
TExistingOutput CheckExistingOutput(TOutputJournal &Journal, TAVProbe &Probe, const std::string &Input,
                                    const std::string &Planned, bool Overwrite,
                                    const std::function<bool(const std::string &)> &Taken);

// What a run notes as the conversion of Input into Output ends, its output
// closed. A whole output (Done) is noted complete where the run skips
// complete outputs (Skipping), or where the journal knows the file already
// (an earlier note would otherwise outlive it). An output left incomplete
// (Stopped or Partial) is noted as such in every run, and, where the
// engine gave it its source's date (KeptDate), takes the present time
// instead: with the source's date it would look like a conversion finished
// long ago. False, with the reason in Journal.Error(), when the journal
// cannot be written.
bool NoteOutputEnd(TOutputJournal &Journal, const std::string &Input, const std::string &Output,
                   TOutcome Outcome, bool Skipping, bool KeptDate);

}  // namespace korvane
