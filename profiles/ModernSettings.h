// SPDX-License-Identifier: GPL-3.0-or-later
// The settings step of the modern formats (the quality-based, every-track
// and copy-all variants): codec items become encoders, a quality step
// becomes the encoder's constant-quality figure with its speed preset, a
// size item sets the height, "Original" keeps the source's rate and
// channels, and the variant chooses which streams the output gets.
#pragma once

#include <string>
#include <string_view>

#include "OptionRecords.h"
#include "ProfileCatalogue.h"
#include "ProfileOptions.h"

namespace korvane {

// Whether a profile is one of the modern formats.
bool IsModernVariant(TSettingsVariant Variant);

// Writes the settings of Profile (a modern format) and the combos' texts
// into Options, which the caller has just reset. A number that does not
// read raises EConvertError before any field is written.
void ApplyModernSettings(const TCatalogueRow &Profile, const TProfileForm &Form, TOutputOptions &Options);

// The frame size a modern profile's size item gives a source of the given
// display aspect: the item's height and the width that keeps the aspect,
// both even ("1280 x 720 (720p)" and 4:3 give "960x720"). The item's own
// size when the aspect is not known.
std::string FrameSizeForHeight(std::string_view SizeItem, double DisplayAspect);

// One encoder of the modern video codec items: its constant-quality figure
// for each quality step (best first) and the option lines that set its
// speed and threading. Listed so that the README and the benchmark state the
// same figures the conversions use.
struct TModernVideoEncoder {
  std::string_view Item;     // as the codec combo shows it
  std::string_view Encoder;  // the library's encoder
  int Quality[3];
  std::string_view Options;
  // Whether it codes 10 bits: HDR and sources of more than 8 bits keep
  // them, unless the user has HDR converted to SDR. The others always get
  // 8-bit SDR.
  bool TenBit;
};
const TModernVideoEncoder *FindModernVideoEncoder(std::string_view Item);

// Whether the profile selected in Form offers the HDR choice (keep HDR or
// convert it to SDR, TProfileForm::HdrToSdr) for the video codec selected:
// whether that codec keeps 10 bits.
bool HdrChoiceOffered(const TProfileForm &Form);
// Whether any video codec the selected profile lists keeps 10 bits: the
// window shows the choice for it (greyed while the codec selected does not).
bool HdrChoiceShown(const TProfileForm &Form);

}  // namespace korvane
