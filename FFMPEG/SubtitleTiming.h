// SPDX-License-Identifier: GPL-3.0-or-later
// A subtitle inside the output's time: the output's clock starts at the
// start asked for and may end at a set length, while a subtitle may have
// come on screen before that start or stay on after that end.
#pragma once

#include <algorithm>
#include <cstdint>

namespace korvane {

// Cuts the subtitle shown from Start to End (microseconds of the output's
// clock; End <= Start: its end is not known) to the part from zero to
// Length; false when nothing of it is left. A time before zero would
// shift the whole output in the containers that cannot hold one, and one
// after Length would make the output look longer than the range.
inline bool FitSubtitle(int64_t &Start, int64_t &End, int64_t Length) {
  if (Start >= Length) return false;
  const bool EndKnown = End > Start;
  if (Start < 0) {
    if (End <= 0) return false;
    Start = 0;
  }
  if (EndKnown) End = std::min(End, Length);
  return true;
}

}  // namespace korvane
