// SPDX-License-Identifier: GPL-3.0-or-later
// The output names of a whole list of files when outputs already in the
// output folder are either kept (complete) or replaced (left unfinished):
// each file's name depends on the list alone, never on what exists, so a
// batch run again, or each share of a list converted on several machines at
// once, gives every file the same name.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

struct TPlannedFile {
  std::string Input;
  std::string Folder;  // where its output goes
};

// The output of each file: the input's name with Extension in its Folder
// (see OutputFileName). Where files would share a name, those IsMedia
// accepts get it in list order, the first the name itself, the next ones
// "-1", "-2", ... (never a name another file of the list has); the others
// get none (an empty name), and IsMedia is asked of such files only.
std::vector<std::string> PlanOutputNames(const std::vector<TPlannedFile> &Files, std::string_view Extension,
                                         const std::function<bool(size_t File)> &IsMedia);

}  // namespace korvane
