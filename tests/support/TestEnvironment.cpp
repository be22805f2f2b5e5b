// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestEnvironment.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "AVLibraries.h"
#include "ProgramFolder.h"

namespace korvane::test {

std::string ExecutableDirectory() { return ProgramFolder(); }

std::string CommonFilesDirectory() { return ExecutableDirectory() + "/Common Files"; }

void LoadLibraries() {
  ASSERT_TRUE(LoadAVLibraries(CommonFilesDirectory(), true)) << AVLibrariesError();
  InstallLogCallback();
}

TTempDir::TTempDir() {
  std::string Pattern = (std::filesystem::temp_directory_path() / "korvane-test-XXXXXX").string();
  if (!mkdtemp(Pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  FPath = Pattern;
}

TTempDir::~TTempDir() {
  std::error_code Ignored;
  std::filesystem::remove_all(FPath, Ignored);
}

TLogCapture::TLogCapture() {
  FID = RegisterLogSink([this](pid_t ThreadID, int Level, const std::string &Line) {
    std::lock_guard Guard(FLock);
    FLines.push_back({ThreadID, Level, Line});
  });
}

TLogCapture::~TLogCapture() { UnregisterLogSink(FID); }

std::vector<TLoggedLine> TLogCapture::Lines() const {
  std::lock_guard Guard(FLock);
  return FLines;
}

std::vector<std::string> TLogCapture::Texts() const {
  std::vector<std::string> Result;
  for (const TLoggedLine &Line : Lines()) Result.push_back(Line.Text);
  return Result;
}

bool TLogCapture::Contains(const std::string &Text) const {
  for (const TLoggedLine &Line : Lines())
    if (Line.Text == Text) return true;
  return false;
}

void WriteFile(const std::string &Path, const std::string &Content) {
  std::ofstream Stream(Path, std::ios::binary | std::ios::trunc);
  Stream << Content;
}

std::string ReadFile(const std::string &Path) {
  std::ifstream Stream(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>());
}

}  // namespace korvane::test
