// SPDX-License-Identifier: GPL-3.0-or-later
// While libraries are loaded from a folder, that folder is the current
// directory and is named in PATH, so the libraries' own dependencies and
// files beside them are found there.
#pragma once

#include <optional>
#include <string>

namespace korvane {

class TLibraryFolderScope {
 public:
  // Makes Directory current and puts it in front of PATH (":"-separated)
  // unless PATH already names it in any letter case. An empty Directory
  // changes nothing.
  explicit TLibraryFolderScope(const std::string &Directory);
  // Makes the previous current directory current again.
  ~TLibraryFolderScope();
  TLibraryFolderScope(const TLibraryFolderScope &) = delete;
  TLibraryFolderScope &operator=(const TLibraryFolderScope &) = delete;

 private:
  std::optional<std::string> FPrevious;
};

}  // namespace korvane
