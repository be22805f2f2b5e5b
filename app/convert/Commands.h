// SPDX-License-Identifier: GPL-3.0-or-later
// The requests korvane-convert carries out. Each returns the program's exit
// status: 0 all done, 1 a file failed, 2 a usage error, 130 or 143 stopped
// (SIGINT or SIGTERM).
#pragma once

#include <string>

#include "CommandLine.h"

namespace korvane::convert {

// SIGINT and SIGTERM, the signals that stop a batch, blocked in the calling
// thread: called first thing in main, before any thread exists, every thread
// the libraries or the engine start inherits the mask, and only the batch's
// signal watcher ever takes them. Unblocked again for the requests that do
// not watch for them, where they end the program as usual.
void BlockStopSignals();
void UnblockStopSignals();

// The catalogue and a profile's choices, as lines to read or (Json) as
// "profile" and "choice" events and the summary.
int ListProfiles(bool Json);
int ShowProfile(const std::string &Profile, bool Json);
int ShowInfo(const TCommandLine &Command, const std::string &LibraryFolder);
int ConvertFiles(const TCommandLine &Command, const std::string &LibraryFolder);
// --estimate: prints each file's expected output size; 1 when a file has none.
int EstimateFiles(const TCommandLine &Command, const std::string &LibraryFolder);

}  // namespace korvane::convert
