// SPDX-License-Identifier: GPL-3.0-or-later
// Which outputs in an output folder are complete, so that a batch run again
// skips them and redoes the rest. A run that skips complete outputs keeps a
// small journal in the output folder: it notes each conversion as it
// begins, and again when it ended whole (never one that was stopped,
// failed or fell short), with the size and time of change of its source
// and of its output. An output is complete when its "done" note still
// matches both files; an output the journal names but that does not match
// (begun and never ended, or changed since) is not, and converting again
// replaces it. An output the journal does not know at all (made before, or
// by a run that kept no journal) is complete when it is as long as its
// source, by the same measure that tells a partial conversion from a whole
// one.
//
// The journal is the folder ".korvane-journal" in the output folder, with
// one file per program run that wrote to it (named after the machine, the
// process and the time), so that runs on several machines sharing the
// folder never write into one file. Its lines are tab-separated: "begun"
// or "done", the output's path below the output folder, the source's
// absolute path, then (for "done") the sizes in bytes and times of change
// in nanoseconds of the source and the output; a tab, a line feed or a
// backslash within a path is written \t, \n or \\.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

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

  // Notes that the conversion of Input into Output begins, or that Output
  // now holds the whole of it. False, with the reason in Error, when the
  // journal cannot be written.
  bool Begin(const std::string &Input, const std::string &Output);
  bool Record(const std::string &Input, const std::string &Output);

  const std::string &Error() const { return FError; }

 private:
  struct TEntry {
    bool Done = false;
    std::string Output;  // below Root
    std::string Input;   // absolute
    int64_t InputSize = 0, InputTime = 0, OutputSize = 0, OutputTime = 0;
  };
  void ReadFile(const std::string &Path);
  void Add(TEntry Entry);
  bool Holds(const TEntry &Entry) const;
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
// Input that never ended (replaced), or when Overwrite allows (unless the
// journal knows it as another file's output); else the first free name
// beside it ("-1", "-2", ...) that Taken does not name,
// so that a file of someone else's is never replaced.
TExistingOutput CheckExistingOutput(TOutputJournal &Journal, TAVProbe &Probe, const std::string &Input,
                                    const std::string &Planned, bool Overwrite,
                                    const std::function<bool(const std::string &)> &Taken);

}  // namespace korvane
