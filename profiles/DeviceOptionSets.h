// SPDX-License-Identifier: GPL-3.0-or-later
// Option sets of the device profiles: portable players, phones, game
// consoles and set-top players. The catalogue refers to them by these names.
#pragma once

#include "OptionSet.h"

namespace korvane {

extern const TOptionSet kOptionsIpod;
extern const TOptionSet kOptionsIpodExtra;  // also "iPod Video For TV"
extern const TOptionSet kOptionsAppleTv;
extern const TOptionSet kOptionsAppleTvH264Small;   // 320 x 240
extern const TOptionSet kOptionsAppleTvH264Medium;  // 640 x 480
extern const TOptionSet kOptionsAppleTvH264Large;   // 1280 x 720
extern const TOptionSet kOptionsIpodTouch;
extern const TOptionSet kOptionsIpodTouchExtra;
extern const TOptionSet kOptionsIpodTouchWide;
extern const TOptionSet kOptionsIphone;
extern const TOptionSet kOptionsIphoneExtra;
extern const TOptionSet kOptionsIphoneWide;
extern const TOptionSet kOptionsZuneMpeg4;
extern const TOptionSet kOptionsZuneWmv;
extern const TOptionSet kOptionsPsp;
extern const TOptionSet kOptionsPs3;  // also "PS3 Video(480P)"
extern const TOptionSet kOptionsPs3Hd720;
extern const TOptionSet kOptionsPs3Hd1080;
extern const TOptionSet kOptionsArchosAv500;
extern const TOptionSet kOptionsArchosAv700;
extern const TOptionSet kOptionsBlackBerryMp4;
extern const TOptionSet kOptionsBlackBerryAvi;
extern const TOptionSet kOptionsBlackBerry3gp;
extern const TOptionSet kOptionsZenVision;  // also "iRiver PMP100"

}  // namespace korvane
