// SPDX-License-Identifier: GPL-3.0-or-later
// Option sets of the general formats: the video containers and the
// audio-only formats. The catalogue refers to them by these names.
#pragma once

#include "OptionSet.h"

namespace korvane {

// Video containers.
extern const TOptionSet kOptions3gp;  // 3GP and 3G2
extern const TOptionSet kOptionsAsf;
extern const TOptionSet kOptionsAvi;
extern const TOptionSet kOptionsAviDivx;
extern const TOptionSet kOptionsAviUncompressed;
extern const TOptionSet kOptionsAviXvid;
extern const TOptionSet kOptionsDvd;
extern const TOptionSet kOptionsFlash;  // FLV and SWF
extern const TOptionSet kOptionsMov;
extern const TOptionSet kOptionsMp4;
extern const TOptionSet kOptionsMpeg1;
extern const TOptionSet kOptionsMpeg2;
extern const TOptionSet kOptionsRm;
extern const TOptionSet kOptionsSuperVideoCd;
extern const TOptionSet kOptionsVideoCd;
extern const TOptionSet kOptionsWmv;

// Audio-only formats: the four video combos are emptied.
extern const TOptionSet kOptionsAac;
extern const TOptionSet kOptionsAu;
extern const TOptionSet kOptionsM4a;
extern const TOptionSet kOptionsMp2;
extern const TOptionSet kOptionsMp3;
extern const TOptionSet kOptionsOgg;
extern const TOptionSet kOptionsRa;
extern const TOptionSet kOptionsWav;
extern const TOptionSet kOptionsWma;

}  // namespace korvane
