// SPDX-License-Identifier: GPL-3.0-or-later
// Walking the files and folders a user names, for every front end: a file
// is taken as it is; a folder gives the files of its whole tree, each with
// its folder below the one named, so that outputs can mirror the tree.
// Symbolic links are followed; a link that leads back into its own tree
// (a loop) or to a folder walked already, and a folder that cannot be
// read, are reported in the walk's order and left out.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvane {

struct TWalkEntry {
  enum class TKind {
    File,        // a file to convert
    Special,     // a pipe, socket or device found in a folder: never opened
    Skipped,     // a link loop, or a folder reached twice: left out, see Reason
    Unreadable,  // a folder (or a link) that cannot be read: see Reason
  };
  TKind Kind = TKind::File;
  // The file, or the folder or link the entry is about, as reached from the
  // path that was named ("Phone/2024/clip.mp4").
  std::string Path;
  // For what a folder gave: its folder below the named one ("2024/june"),
  // empty for its top level. Always empty for a file that was named.
  std::string Subfolder;
  // Found in a folder, rather than named: only its content says whether it
  // is media at all.
  bool Found = false;
  std::string Reason;
};

// Walks Paths in their order, handing each entry to Take as it is found.
// Each folder's entries come in the byte order of their names, a
// sub-folder's tree where its name comes. A path that does not exist is
// handed on as a file (converting it says that it is missing). Stopped,
// when given, is asked between entries; true ends the walk there. The
// folders LeaveOut names (an output folder inside a tree that is walked,
// say) are passed over without a word wherever a walk meets them, unless
// they are named themselves.
void WalkPaths(const std::vector<std::string> &Paths, const std::function<void(TWalkEntry &&)> &Take,
               const std::function<bool()> &Stopped = {}, const std::vector<std::string> &LeaveOut = {});

}  // namespace korvane
