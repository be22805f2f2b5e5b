// SPDX-License-Identifier: GPL-3.0-or-later
// The output files the tasks of this process are writing, known by what
// they are (device and inode) rather than by name: no two tasks write one
// file, and a task removes an output only while its name still leads to
// the very file the task wrote.
#pragma once

#include <sys/types.h>

#include <string>

namespace korvane {

struct TFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  bool Known() const { return Inode != 0; }
  bool operator==(const TFileIdentity &) const = default;
};

// Whether Path names a file a task of this process is writing.
bool OutputFileClaimed(const std::string &Path);
// Records the regular file Path names (just opened for writing) as being
// written; its identity, unknown when there is nothing to record.
TFileIdentity ClaimOutputFile(const std::string &Path);
// The file is no longer being written.
void ReleaseOutputFile(const TFileIdentity &Identity);

}  // namespace korvane
