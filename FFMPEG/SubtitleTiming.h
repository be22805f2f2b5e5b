// SPDX-License-Identifier: GPL-3.0-or-later
// A subtitle inside the output's time: the output's clock starts at the
// start asked for and may end at a set length, while a subtitle may have
// come on screen before that start or after that end.
#pragma once

#include <cstdint>

namespace korvane {

// Cuts the subtitle shown from Start to End (microseconds of the output's
// clock; End <= Start: its end is not known) to the part from zero to
// Length; false when nothing of it is left. A time before zero would
// shift the whole output in the containers that cannot hold one.
inline bool FitSubtitle(int64_t &Start, int64_t &End, int64_t Length) {
  if (Start >= Length) return false;
  if (Start >= 0) return true;
  if (End <= 0) return false;
  Start = 0;
  return true;
}

}  // namespace korvane
