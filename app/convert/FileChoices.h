// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's choices of what to convert of each file: its tracks,
// a subtitle drawn into the picture, a time range, or one picture to look
// at before converting. What the window keeps with a row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "RowSetup.h"

namespace korvane::convert {

// The choices and the preview time of a command line.
struct TFileChoices {
  TRowChoices Pick;
  std::optional<int64_t> PreviewMs;  // --preview: the picture at this time, as PNG, instead of converting
};

// Reads the option Word (with its value) into Choices; false when Word is
// none of these options. EUsageError for a value that does not read.
bool ReadFileChoice(const std::string &Word, const std::string &Value, TFileChoices &Choices);
// Whether Word is one of these options (each takes one value).
bool IsFileChoice(const std::string &Word);
// The checks once all words are read: a range that ends before it starts.
void CheckFileChoices(const TFileChoices &Choices);

// The track numbers of a list ReadFileChoice took, in its order ("2,1");
// none for all or none.
std::vector<int> TrackNumbers(const std::string &Text);

// A time given as seconds ("90", "12.5") or H:MM:SS.mmm / M:SS.mmm, in
// milliseconds; none when Text is neither.
std::optional<int64_t> ReadTime(const std::string &Text);

}  // namespace korvane::convert
