// SPDX-License-Identifier: GPL-3.0-or-later
// How korvane-convert shares the cores between the jobs of a batch.
#include <gtest/gtest.h>

#include "CoreShare.h"

namespace korvane::convert {
namespace {

TEST(CoreShare, EachRunningJobGetsItsPartOfTheCores) {
  struct Row {
    int AskedJobs;
    size_t Tasks;
    unsigned Cores;
    int Jobs, Threads;  // 0 threads: the library chooses
  } Rows[] = {
      {1, 8, 8, 1, 0},                   // one job has the machine to itself
      {0, 1, 8, 8, 0},                   // so has a single file
      {0, 8, 8, 8, 1},                   // one job per core, a core each
      {2, 8, 8, 2, 4}, {3, 8, 8, 3, 2},  // about cores / jobs
      {4, 2, 8, 4, 4},                   // only two files run at once
      {8, 8, 2, 8, 1},                   // more jobs than cores: still one thread each
      {0, 8, 0, 1, 0},                   // core count unknown: one job
      {2, 0, 8, 2, 0},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(testing::Message() << "jobs " << R.AskedJobs << ", tasks " << R.Tasks << ", cores "
                                    << R.Cores);
    const TCoreShare Share = ShareCores(R.AskedJobs, R.Tasks, R.Cores);
    EXPECT_EQ(Share.Jobs, R.Jobs);
    EXPECT_EQ(Share.ThreadsPerTask, R.Threads);
  }
}

}  // namespace
}  // namespace korvane::convert
