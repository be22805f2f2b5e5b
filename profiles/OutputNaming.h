// SPDX-License-Identifier: GPL-3.0-or-later
// Where a converted file goes, the same for every front end: the input's
// name with the profile's extension in the output folder, made unique with
// "-1", "-2", ... unless existing files may be overwritten; and the aspect
// ratio text a row's picture size gives.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace korvane {

// Folder + the input file's name (folder part removed) with its extension
// replaced by "." + the lower-cased Extension ("MP4" gives ".mp4"). Unless
// Overwrite is set, an existing file's name is not used: the first of
// "name-1.ext", "name-2.ext", ... that does not exist is. Existence is
// tested now, as a file. Taken, when given, names files that are not to be
// used even when overwriting: those other conversions of the same batch
// will write.
std::string OutputFileName(std::string_view Folder, std::string_view InputPath, std::string_view Extension,
                           bool Overwrite, const std::function<bool(const std::string &)> &Taken = {});

// An aspect ratio as the engine takes it: rounded to four decimals in
// shortest form; 16/9 gives "1.7778", 5/4 "1.25", 2 "2".
std::string RatioText(double Ratio);

}  // namespace korvane
