// SPDX-License-Identifier: GPL-3.0-or-later
// Item lists that several profiles share, and the fixed items of the two
// selection-only combos. The texts are what the user sees and also what the
// settings step reads numbers and names from, so blanks and units matter:
// "8000  Hz" with two blanks is a different item from "8000 Hz".
#pragma once

#include "OptionSet.h"

namespace korvane {

inline constexpr TItemList kGeneralSizes = {
    "Original Video Size", "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 120", "176 x 144 (QCIF)",
    "192 x 144",           "208 x 176",        "220 x 176",        "240 x 180", "320 x 200",
    "320 x 240 (VGA)",     "352 x 240",        "352 x 288 (CIF)",  "480 x 272", "480 x 360",
    "480 x 480",           "480 x 576",        "624 x 352",        "640 x 352", "640 x 480",
    "704 x 576 (4CIF)",    "720 x 480",        "720 x 576",
};

inline constexpr TItemList kGeneralVideoBitrates = {
    "192 Kbps",  "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps",  "640 Kbps",  "768 Kbps",
    "1000 Kbps", "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps", "2500 Kbps",
};

// The general list's figure for film rate is 23.975; the disc list's is 23.976.
inline constexpr TItemList kGeneralFrameRates = {
    "Auto", "14.985 fps", "15.0 fps", "23.975 fps", "25.0 fps", "29.97 fps", "30.0 fps",
};

inline constexpr TItemList kStandardAudioBitrates = {
    "32 Kbps",  "40 Kbps",  "48 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps",  "112 Kbps",
    "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps",
};

inline constexpr TItemList kStandardSamplingRates = {
    "8000 Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz",
};

// The same rates, with two blanks in the first item.
inline constexpr TItemList kStandardSamplingRatesTwoBlank = {
    "8000  Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz",
};

inline constexpr TItemList kAmrBitrates = {
    "4750 bps", "5150 bps", "5900 bps", "6700 bps", "7400 bps", "7950 bps", "10200 bps", "12200 bps",
};

inline constexpr TItemList kDeviceVideoBitrates = {
    "512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps",
};

inline constexpr TItemList kDiscSizes = {
    "128 x 96 (SQCIF)", "176 x 144 (QCIF)", "352 x 240", "352 x 288 (CIF)",
    "480 x 272",        "480 x 480",        "640 x 480", "704 x 576 (4CIF)",
};

inline constexpr TItemList kDiscFrameRates = {
    "23.976 fps [NTSC]", "24 fps", "25 fps [PAL]", "29.97 fps [NTSC]", "30.0 fps", "50 fps", "59.94 fps",
};

// The selection-only combos. Their items never change; the main window puts
// them in at start. "4:3 (Standard" has no closing parenthesis: the
// conversion queue reads this combo by item index, so the text is cosmetic.
inline constexpr TItemList kAudioChannelItems = {"Stereo", "Mono"};
// The quality-based profiles also offer the source's own channels.
inline constexpr TItemList kAudioChannelItemsWithOriginal = {"Stereo", "Mono", "Original"};
inline constexpr TItemList kAspectRatioItems = {"Original", "4:3 (Standard", "16:9 (Wide Screen)"};

}  // namespace korvane
