// SPDX-License-Identifier: GPL-3.0-or-later
// Loading all media libraries and the utility library at once, and the
// process-wide state of the binding.
#pragma once

#include <mutex>
#include <string>

namespace korvane {

// Loads and binds every unit from Directory (empty: the system's library
// search). A second call after a successful one returns true at once. On
// failure everything loaded so far is released and AVLibrariesError() tells
// why. While loading, Directory is the current directory and is put in front
// of PATH (":"-separated) unless PATH already names it; both come back after.
bool LoadAVLibraries(const std::string &Directory, bool UseVersionNumbers);
void UnloadAVLibraries();
bool AVLibrariesLoaded();
std::string AVLibrariesError();

// The library log level the log callback filters against, on the library's
// scale (AV_LOG_*), as read back from av_log_get_level.
int CachedLogLevel();
// Sets the library log level from the engine scale (-1 quiet .. 3 all) and
// caches what the library reports back. Needs the libraries loaded.
void SetLibraryLogLevel(int EngineLevel);

// Engine scale (-1 quiet, 0 error, 1 info, 2 debug, 3 all) to and from the
// library's AV_LOG_* scale.
int EngineToLibraryLevel(int EngineLevel);
int LibraryToEngineLevel(int LibraryLevel);

// Guards every codec open and close and the reading of stream information,
// across all tasks of the process.
std::mutex &CodecOpenLock();

// The floating-point control word the engine runs with. On x86-64 Linux the
// SSE unit already masks every exception, so saving and setting it are a
// matched pair that change nothing; they stay so the start and end of the
// engine read as a pair.
void SaveAndMaskFloatingPointControl();
void RestoreFloatingPointControl();

}  // namespace korvane
