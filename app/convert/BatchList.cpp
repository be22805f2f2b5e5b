// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchList.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <unordered_set>

#include "CompleteOutputs.h"
#include "FolderWalk.h"

namespace korvane::convert {

namespace {

std::string ReadWhole(std::istream &In) {
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

// The text of the list File ("-": standard input); EUsageError when it
// cannot be read.
std::string ListText(const std::string &File) {
  if (File == "-") return ReadWhole(std::cin);
  std::ifstream In(File, std::ios::binary);
  if (!In) throw EUsageError("--file-list: cannot read '" + File + "': " + std::strerror(errno));
  return ReadWhole(In);
}

TBatchEntry::TKind KindOf(TWalkEntry::TKind Kind) {
  switch (Kind) {
    case TWalkEntry::TKind::File: return TBatchEntry::TKind::File;
    case TWalkEntry::TKind::Special: return TBatchEntry::TKind::NotMedia;
    case TWalkEntry::TKind::Skipped:
    case TWalkEntry::TKind::Unreadable: return TBatchEntry::TKind::Skipped;
    default: return TBatchEntry::TKind::Failed;
  }
}

// What tells one file from another however it is named: its path with
// the links resolved, or (for one that is not there) its absolute path.
std::string SameFileKey(const std::string &Path) {
  std::error_code Error;
  const std::filesystem::path Real = std::filesystem::canonical(Path, Error);
  return Error ? AbsolutePath(Path) : Real.string();
}

}  // namespace

std::vector<TBatchEntry> ListEntries(const std::string &Text) {
  std::vector<TBatchEntry> Entries;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find('\n', Start);
    if (End == std::string::npos) End = Text.size();
    std::string Line = Text.substr(Start, End - Start);
    Start = End + 1;
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (Line.find_first_not_of(" \t") == std::string::npos) continue;
    TBatchEntry Entry;
    Entry.Path = Line;
    if (Line.size() >= PATH_MAX || Line.find('\0') != std::string::npos) {
      Entry.Kind = TBatchEntry::TKind::Failed;
      Entry.Reason = Line.size() >= PATH_MAX ? "a line of " + std::to_string(Line.size()) +
                                                   " bytes, longer than any file name can be"
                                             : "a line with a zero byte, which no file name has";
      // The report names the line by its start; the whole would bury the rest.
      if (Entry.Path.size() > 80) Entry.Path = Entry.Path.substr(0, 80) + "...";
      for (char &C : Entry.Path)
        if (C == '\0') C = ' ';
    }
    Entries.push_back(std::move(Entry));
  }
  return Entries;
}

std::vector<TBatchEntry> CollectBatch(const TCommandLine &Command) {
  std::vector<std::string> Paths = Command.Files;
  std::vector<TBatchEntry> Bad;
  for (const std::string &List : Command.FileLists) {
    // A relative line counts from the list's folder, as in a playlist;
    // standard input's from the working folder.
    const std::string Folder = List == "-" ? "" : std::filesystem::path(List).parent_path().string();
    for (TBatchEntry &Entry : ListEntries(ListText(List))) {
      if (Entry.Kind != TBatchEntry::TKind::File)
        Bad.push_back(std::move(Entry));
      else if (Folder.empty() || Entry.Path.front() == '/')
        Paths.push_back(std::move(Entry.Path));
      else
        Paths.push_back(Folder + "/" + Entry.Path);
    }
  }
  std::vector<TBatchEntry> Entries;
  const std::vector<std::string> LeaveOut = {Command.OutputFolder,
                                             Command.OutputFolder + "/" + TOutputJournal::FolderName};
  // A file named again (by another path, in a list or through a folder)
  // is converted once, where it came first.
  std::unordered_set<std::string> Seen;
  WalkPaths(
      Paths,
      [&](TWalkEntry &&Walked) {
        if (Walked.Kind == TWalkEntry::TKind::File && !Seen.insert(SameFileKey(Walked.Path)).second) return;
        TBatchEntry Entry;
        Entry.Kind = KindOf(Walked.Kind);
        Entry.Path = std::move(Walked.Path);
        if (!Command.Flat) Entry.Subfolder = std::move(Walked.Subfolder);
        Entry.Found = Walked.Found;
        Entry.Reason = std::move(Walked.Reason);
        Entries.push_back(std::move(Entry));
      },
      {}, LeaveOut);
  // Lines that name no file come last, so that the walk keeps its order.
  Entries.insert(Entries.end(), std::make_move_iterator(Bad.begin()), std::make_move_iterator(Bad.end()));
  return Entries;
}

std::vector<size_t> ShareOf(size_t Size, int Index, int Count) {
  std::vector<size_t> Indices;
  for (size_t I = size_t(Index - 1); I < Size; I += size_t(Count)) Indices.push_back(I);
  return Indices;
}

}  // namespace korvane::convert
