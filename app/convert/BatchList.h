// SPDX-License-Identifier: GPL-3.0-or-later
// The files of one korvane-convert batch: the files and folders of the
// command line and of its lists, folders walked to the files of their
// trees, then the command's share of them (--shard). Entries that cannot be
// converted (a line of a list that names no file, a link loop, a folder
// that cannot be read) stay in the list with their reason, so that each is
// reported where it stands and none stops the rest.
#pragma once

#include <string>
#include <vector>

#include "CommandLine.h"

namespace korvane::convert {

struct TBatchEntry {
  enum class TKind {
    File,      // to convert
    NotMedia,  // found in a folder, and no regular file (a pipe, a device)
    Skipped,   // a link loop, or a folder reached twice
    Failed,    // a list's line that names no file, a folder that cannot be read
  };
  TKind Kind = TKind::File;
  std::string Path;
  // Where its output goes below the output folder ("2024/june"): the
  // folder it was found in below the named one, unless --flat.
  std::string Subfolder;
  // Found in a folder rather than named: only its content says whether it
  // is media.
  bool Found = false;
  std::string Reason;  // why it is not converted
};

// The entries of Command's files and lists, every folder walked (the
// output folder and its journal are left out of the walks), in order,
// each file once however often it is named. A list's relative lines count
// from the list's folder. EUsageError when a list cannot be read at all.
std::vector<TBatchEntry> CollectBatch(const TCommandLine &Command);

// The entries of a list read from In's text: one path per line, a line
// feed or a carriage return and line feed ending each; blank lines are
// passed over, a line longer than any path can be is an entry that failed.
std::vector<TBatchEntry> ListEntries(const std::string &Text);

// Every Count-th index of Size, from the Index-th (1-based): the indices a
// share of a batch takes.
std::vector<size_t> ShareOf(size_t Size, int Index, int Count);

}  // namespace korvane::convert
