// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoreShare.h"

#include <algorithm>

namespace korvane {

TCoreShare ShareCores(int AskedJobs, size_t TaskCount, unsigned Cores) {
  const int CoreCount = static_cast<int>(std::max(1u, Cores));
  TCoreShare Share;
  Share.Jobs = AskedJobs > 0 ? AskedJobs : CoreCount;
  const int Running = static_cast<int>(std::clamp<size_t>(TaskCount, 1, static_cast<size_t>(Share.Jobs)));
  Share.ThreadsPerTask = Running == 1 ? 0 : std::max(1, CoreCount / Running);
  return Share;
}

}  // namespace korvane
