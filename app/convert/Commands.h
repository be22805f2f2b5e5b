// The requests korvane-convert carries out. Each returns the program's exit
// status: 0 all done, 1 a file failed, 2 a usage error, 130 or 143 stopped
// (SIGINT or SIGTERM).
#pragma once

#include <string>

#include "CommandLine.h"

namespace korvane::convert {

int ListProfiles();
int ShowProfile(const std::string &Profile);
int ShowInfo(const TCommandLine &Command, const std::string &LibraryFolder);
int ConvertFiles(const TCommandLine &Command, const std::string &LibraryFolder);

}  // namespace korvane::convert
