// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutputNaming.h"

#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <cstdio>

namespace korvane {

namespace {

bool FileExists(const std::string &Path) {
  struct stat Status {};
  return stat(Path.c_str(), &Status) == 0;
}

}  // namespace

std::string OutputFileName(std::string_view Folder, std::string_view InputPath, std::string_view Extension,
                           bool Overwrite, const std::function<bool(const std::string &)> &Taken) {
  std::string Name(InputPath.substr(
      InputPath.find_last_of('/') == std::string_view::npos ? 0 : InputPath.find_last_of('/') + 1));
  if (const size_t Dot = Name.rfind('.'); Dot != std::string::npos && Dot > 0) Name.erase(Dot);
  std::string Suffix = ".";
  for (const char C : Extension) Suffix += static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  std::string Base(Folder);
  if (!Base.empty() && Base.back() != '/') Base += '/';
  Base += Name;
  const auto Free = [&](const std::string &Name) {
    return !(Taken && Taken(Name)) && (Overwrite || !FileExists(Name));
  };
  if (Free(Base + Suffix)) return Base + Suffix;
  for (unsigned long N = 1;; ++N) {
    const std::string Candidate = Base + "-" + std::to_string(N) + Suffix;
    if (Free(Candidate)) return Candidate;
  }
}

std::string RatioText(double Ratio) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.4f", std::round(Ratio * 10000) / 10000);
  std::string Result = Text;
  while (Result.back() == '0') Result.pop_back();
  if (Result.back() == '.') Result.pop_back();
  return Result;
}

}  // namespace korvane
