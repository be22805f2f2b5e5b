// SPDX-License-Identifier: GPL-3.0-or-later
// Sharing the processor cores between conversions running side by side (a
// batch's jobs, the window's files at once), so that they do not each start
// a thread per core.
#pragma once

#include <cstddef>

namespace korvane {

struct TCoreShare {
  int Jobs = 1;            // conversions at once
  int ThreadsPerTask = 0;  // codec threads of each; 0: the library chooses
};

// AskedJobs 0 means one job per core. Each task that can run at once gets
// about Cores / jobs threads and at least one; a task that has the machine
// to itself (one job, or one file) leaves the choice to the library.
TCoreShare ShareCores(int AskedJobs, size_t TaskCount, unsigned Cores);

}  // namespace korvane
