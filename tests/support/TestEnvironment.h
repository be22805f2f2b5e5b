// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the test programs.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <vector>

#include "AVLog.h"

namespace korvane::test {

// The folder of the running test program.
std::string ExecutableDirectory();
// "Common Files" beside the test program, as the build makes it.
std::string CommonFilesDirectory();
// Loads the media libraries from CommonFilesDirectory() and installs the log
// callback; fails the calling test when that is impossible.
void LoadLibraries();

// A fresh folder under the system's temporary folder, removed with its content.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir &) = delete;
  TTempDir &operator=(const TTempDir &) = delete;
  const std::string &Path() const { return FPath; }
  std::string File(const std::string &Name) const { return FPath + "/" + Name; }

 private:
  std::string FPath;
};

// One log line as a receiver of the log callback gets it.
struct TLoggedLine {
  pid_t ThreadID;
  int Level;
  std::string Text;
};

// Collects every whole log line while it lives.
class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();
  TLogCapture(const TLogCapture &) = delete;
  TLogCapture &operator=(const TLogCapture &) = delete;
  std::vector<TLoggedLine> Lines() const;
  std::vector<std::string> Texts() const;
  bool Contains(const std::string &Text) const;

 private:
  mutable std::mutex FLock;
  std::vector<TLoggedLine> FLines;
  TLogSinkID FID;
};

// Writes Content to Path, replacing the file.
void WriteFile(const std::string &Path, const std::string &Content);
// The whole content of Path; empty when it cannot be read.
std::string ReadFile(const std::string &Path);

}  // namespace korvane::test
