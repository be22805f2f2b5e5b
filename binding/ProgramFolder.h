// SPDX-License-Identifier: GPL-3.0-or-later
// The folder of the running program, and the folder of its own files
// ("Common Files", the plug-ins, the help page).
#pragma once

#include <string>

namespace korvane {

// Without a trailing separator; "." when it cannot be told.
std::string ProgramFolder();

// Where the program's own files are: beside the program when "Common Files"
// is there (the build tree), else ../lib/korvane from the program's folder
// (an installed program in PREFIX/bin). Without a trailing separator.
std::string ResourceFolder();

}  // namespace korvane
