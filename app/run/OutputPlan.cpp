// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutputPlan.h"

#include <unordered_map>
#include <unordered_set>

#include "OutputNaming.h"

namespace korvane {

std::vector<std::string> PlanOutputNames(const std::vector<TPlannedFile> &Files, std::string_view Extension,
                                         const std::function<bool(size_t File)> &IsMedia) {
  std::vector<std::string> Names(Files.size());
  std::unordered_map<std::string, int> Sharing;
  for (size_t I = 0; I < Files.size(); ++I)
    ++Sharing[Names[I] = OutputFileName(Files[I].Folder, Files[I].Input, Extension, true)];
  // A name only one file has is that file's; the others are taken in order.
  std::unordered_set<std::string> Taken;
  for (const auto &[Name, Count] : Sharing)
    if (Count == 1) Taken.insert(Name);
  for (size_t I = 0; I < Files.size(); ++I) {
    if (Sharing[Names[I]] == 1) continue;
    if (!IsMedia(I)) {
      Names[I].clear();
      continue;
    }
    Names[I] = OutputFileName(Files[I].Folder, Files[I].Input, Extension, true,
                              [&Taken](const std::string &Name) { return Taken.count(Name) > 0; });
    Taken.insert(Names[I]);
  }
  return Names;
}

}  // namespace korvane
