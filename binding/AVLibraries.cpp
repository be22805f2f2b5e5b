#include "AVLibraries.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <optional>

#include "LibAVCodec.h"
#include "LibAVFormat.h"
#include "LibAVUtil.h"
#include "LibSwResample.h"
#include "LibSwScale.h"
#include "MyUtil.h"

namespace korvane {

namespace {

// Written on the main thread while loading, before any task or probe runs.
bool LibrariesLoaded = false;
std::string LibrariesError;
// Read by every thread that logs; written on the main thread.
std::atomic<int> LogLevelCache{AV_LOG_INFO};

std::string UpperCase(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
  return Text;
}

// Makes the library folder current and reachable through PATH for the time
// of the load, and puts the old current directory back whatever happens.
class TLibraryFolderScope {
 public:
  explicit TLibraryFolderScope(const std::string &Directory) {
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
  ~TLibraryFolderScope() {
    if (FPrevious && chdir(FPrevious->c_str()) != 0) {
      // Nothing sensible remains to be done if the old folder vanished.
    }
  }
  TLibraryFolderScope(const TLibraryFolderScope &) = delete;
  TLibraryFolderScope &operator=(const TLibraryFolderScope &) = delete;

 private:
  std::optional<std::string> FPrevious;
};

}  // namespace

bool LoadAVLibraries(const std::string &Directory, bool UseVersionNumbers) {
  if (LibrariesLoaded) return true;
  LibrariesError.clear();
  {
    TLibraryFolderScope Folder(Directory);
    LibrariesLoaded = LibAVCodec::Load(LibrariesError, Directory, UseVersionNumbers, true) &&
                      LibAVFormat::Load(LibrariesError, Directory, UseVersionNumbers, true) &&
                      LibAVUtil::Load(LibrariesError, Directory, UseVersionNumbers) &&
                      LibSwScale::Load(LibrariesError, Directory, UseVersionNumbers) &&
                      LibSwResample::Load(LibrariesError, Directory, UseVersionNumbers) &&
                      MyUtil::Load(LibrariesError, Directory);
  }
  if (LibrariesLoaded)
    LogLevelCache = LibAVUtil::av_log_get_level();
  else
    UnloadAVLibraries();
  return LibrariesLoaded;
}

void UnloadAVLibraries() {
  LibAVCodec::Unload();
  LibAVFormat::Unload();
  LibAVUtil::Unload();
  LibSwScale::Unload();
  LibSwResample::Unload();
  MyUtil::Unload();
  LibrariesLoaded = false;
}

bool AVLibrariesLoaded() { return LibrariesLoaded; }

std::string AVLibrariesError() { return LibrariesError; }

int CachedLogLevel() { return LogLevelCache; }

void SetLibraryLogLevel(int EngineLevel) {
  LibAVUtil::av_log_set_level(EngineToLibraryLevel(EngineLevel));
  LogLevelCache = LibAVUtil::av_log_get_level();
}

int EngineToLibraryLevel(int EngineLevel) {
  if (EngineLevel < 0) return AV_LOG_QUIET;
  switch (EngineLevel) {
    case 0: return AV_LOG_ERROR;
    case 1: return AV_LOG_INFO;
    case 2: return AV_LOG_DEBUG;
    default: return AV_LOG_TRACE;
  }
}

int LibraryToEngineLevel(int LibraryLevel) {
  if (LibraryLevel <= AV_LOG_ERROR) return 0;
  if (LibraryLevel <= AV_LOG_INFO) return 1;
  if (LibraryLevel <= AV_LOG_DEBUG) return 2;
  return 3;
}

std::mutex &CodecOpenLock() {
  static std::mutex Lock;
  return Lock;
}

void SaveAndMaskFloatingPointControl() {}
void RestoreFloatingPointControl() {}

}  // namespace korvane
