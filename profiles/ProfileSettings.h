// SPDX-License-Identifier: GPL-3.0-or-later
// The settings step: turns the selected profile and the texts of the option
// combos into the engine's output options when a row is set up for
// conversion. Codec items become encoder names, "512 Kbps" becomes 512000
// bits per second, "44100 Hz" becomes 44100, "176 x 144 (QCIF)" becomes
// 176x144 and "29.97 fps" becomes 30000/1001.
#pragma once

#include <string>
#include <string_view>

#include "OptionRecords.h"
#include "ProfileOptions.h"

namespace korvane {

// Resolves the profile named by Form's output-format text and writes its
// settings into Options, which the caller has just reset. A text that names
// no profile leaves Options as the caller prepared it. A number that does
// not read raises EConvertError before any field is written.
void ApplyProfileSettings(const TProfileForm &Form, TOutputOptions &Options);

// A size item as the engine's frame-size text: the part before the first
// "(" with every blank removed ("176 x 144 (QCIF)" gives "176x144").
std::string ParseFrameSizeText(std::string_view SizeItem);

// A frame-rate item as the engine's frame-rate text: the rounded NTSC-family
// figures as exact rationals ("29.97 fps" gives "30000/1001"), whole numbers
// as integers ("15.0 fps" gives "15"). "Auto" and an empty text give an
// empty text: the source's rate is kept. A figure that does not read raises
// EConvertError.
std::string ParseFrameRateText(std::string_view FrameRateItem);

}  // namespace korvane
