// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing a profile and its items from the command line, with the same
// model of the option lists the window uses.
#pragma once

#include <string>
#include <vector>

#include "CommandLine.h"
#include "ProfileOptions.h"

namespace korvane::convert {

// One option list and the command-line option that picks from it.
struct TChoice {
  const char *Option;                 // "--video-codec"
  TOptionCombo TProfileForm::*Combo;  // the list it picks from
  std::string TCommandLine::*Pick;    // where the command line keeps the pick
};
const std::vector<TChoice> &Choices();

// The form with the profile named by its display text or row number
// applied; EUsageError for a text that names no profile.
TProfileForm SelectProfile(const std::string &Profile);

// Selects every item the command line picked; EUsageError, listing the
// valid items, for one the profile does not offer.
void ApplyPicks(const TCommandLine &Command, TProfileForm &Form);

}  // namespace korvane::convert
