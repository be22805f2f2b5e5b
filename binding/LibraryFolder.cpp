// SPDX-License-Identifier: GPL-3.0-or-later
#include "LibraryFolder.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace korvane {

namespace {

std::string UpperCase(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
  return Text;
}

}  // namespace

TLibraryFolderScope::TLibraryFolderScope(const std::string &Directory) {
  if (Directory.empty()) return;
  if (char *Current = getcwd(nullptr, 0)) {
    FPrevious = Current;
    std::free(Current);
  }
  if (chdir(Directory.c_str()) != 0) {
    // Like a failed change of folder on any desktop: the load goes on and
    // reports the missing files itself.
  }
  const char *OldPath = std::getenv("PATH");
  const std::string Path = OldPath ? OldPath : "";
  if (UpperCase(Path).find(UpperCase(Directory)) == std::string::npos) {
    // An empty PATH gets just the folder: a trailing ":" would add the
    // current directory to every later program search.
    const std::string NewPath = Path.empty() ? Directory : Directory + ":" + Path;
    setenv("PATH", NewPath.c_str(), 1);
  }
}

TLibraryFolderScope::~TLibraryFolderScope() {
  if (FPrevious && chdir(FPrevious->c_str()) != 0) {
    // Nothing sensible remains to be done if the old folder vanished.
  }
}

}  // namespace korvane
