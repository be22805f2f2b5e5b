// SPDX-License-Identifier: GPL-3.0-or-later
#include "AVLibraries.h"

#include <atomic>

#include "LibAVCodec.h"
#include "LibAVFilter.h"
#include "LibAVFormat.h"
#include "LibAVUtil.h"
#include "LibSwResample.h"
#include "LibSwScale.h"
#include "LibraryFolder.h"
#include "MyUtil.h"

namespace korvane {

namespace {

// Written on the main thread while loading, before any task or probe runs.
bool LibrariesLoaded = false;
std::string LibrariesError;
// Read by every thread that logs; written on the main thread.
std::atomic<int> LogLevelCache{AV_LOG_INFO};

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
                      LibAVFilter::Load(LibrariesError, Directory, UseVersionNumbers) &&
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
  LibAVFilter::Unload();
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
