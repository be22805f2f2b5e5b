// SPDX-License-Identifier: GPL-3.0-or-later
// The part of a file a row converts, as the window shows and takes it:
// times typed as H:MM:SS.mmm or seconds, the range as the file list's
// "Duration" shows it, and the checks a range must pass before it is kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// A time typed as H:MM:SS.mmm, M:SS.mmm or seconds ("90", "12.5"), in
// milliseconds; none when Text is neither. Blanks around it are ignored.
std::optional<int64_t> ReadClockTime(const std::string &Text);

// A time as the range fields show it: "0:01:05.250".
std::string ClockText(int64_t Ms);

// A time as the file list shows it: "00:01:05", with the milliseconds
// where there are any ("00:01:05.250").
std::string ListTimeText(int64_t Ms);

// The "Duration" of a row converted from StartMs to EndMs (-1: the end of
// the file, whose length is LengthMs, -1 when unknown): "00:00:12-00:00:20"
// ("00:00:12-" to an end that is not known).
std::string RangeText(int64_t StartMs, int64_t EndMs, int64_t LengthMs);

// Why a range cannot be kept, in words for the person who typed it; empty
// when it can. EndMs -1 is the end of the file; LengthMs -1 an unknown
// length, which only the order of the two times is checked against.
std::string RangeProblem(int64_t StartMs, int64_t EndMs, int64_t LengthMs);

}  // namespace korvane
