// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine's failure texts mean to the people who read them. The
// window's row reasons and korvane-convert's failure lines add the same
// explanation after the engine's own words, which stay as they are (they
// are what a search or a bug report needs).
#pragma once

#include <string>

namespace korvane {

// Text followed by what it means, in words a user can act on, where the
// engine's words alone say little; any other text as it is.
std::string ExplainedFailure(const std::string &Text);
// The same for a failure of the file File, which may say more than the
// engine's words: of a file of no bytes at all the engine says only that
// its format is unknown, and the explanation says that it is empty.
std::string ExplainedFailure(const std::string &Text, const std::string &File);

// Text without the leading "Name: " that the engine puts before the texts
// about a file, for a line that names the file already.
std::string WithoutLeadingName(const std::string &Text, const std::string &Name);

}  // namespace korvane
