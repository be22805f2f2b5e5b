// SPDX-License-Identifier: GPL-3.0-or-later
// The output profiles the output-format list offers, in display order: 62
// profiles in ten groups with a separator row between groups (the first 62
// rows never move: stored settings name a profile by its row). A profile
// fixes the output extension, the option set put into the option combos and
// the settings step that turns the combos' texts into output options.
#pragma once

#include <span>
#include <string_view>

#include "OptionSet.h"

namespace korvane {

// How a profile's combo texts become output options (ProfileSettings.h).
enum class TSettingsVariant {
  None,       // separator rows
  Shared,     // the general formats and most devices
  MobileAmr,  // 3GP and 3G2: always AMR, always one channel
  FixedAac,   // iPod, Apple TV, iPod Touch: always AAC, channels from the source
  // The modern formats, encoded at a chosen quality or bit rate:
  Quality,     // one picture and one audio track
  EveryTrack,  // the picture and every audio and subtitle track, chapters and tags
  CopyAll,     // every stream copied as it is, nothing decoded
};

struct TCatalogueRow {
  std::string_view DisplayText;  // the list's text and the key a selection is resolved by
  std::string_view Extension;    // upper case, e.g. "MP4"; empty on separator rows
  TSettingsVariant Variant;
  const TOptionSet *Options;  // null on separator rows
  // On a separator row: the name of the group it opens, which a list that
  // can show a heading shows in place of the dashes (the row keeps its
  // text, so stored row numbers and separator checks are unchanged). Empty
  // for the long-standing groups, which a dashed line parts.
  std::string_view Heading = {};

  constexpr bool IsSeparator() const { return Options == nullptr; }
};

// The separator row's text: 14 blanks and 41 dashes.
inline constexpr std::string_view kSeparatorRowText =
    "              -----------------------------------------";

// All 71 rows, in display order.
std::span<const TCatalogueRow> OutputProfileCatalogue();

// The profile whose display text equals Text exactly (case-sensitive); null
// for separator rows and texts that name no profile.
const TCatalogueRow *FindProfile(std::string_view Text);

// Whether a selected text is a separator row: it contains 14 blanks
// followed by "----".
bool IsSeparatorText(std::string_view Text);

}  // namespace korvane
