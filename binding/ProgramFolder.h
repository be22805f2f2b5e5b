// The folder of the running program, where "Common Files", the help page
// and default statistics files live.
#pragma once

#include <string>

namespace korvane {

// Without a trailing separator; "." when it cannot be told.
std::string ProgramFolder();

}  // namespace korvane
