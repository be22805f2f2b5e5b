// SPDX-License-Identifier: GPL-3.0-or-later
// What the ffmpeg program measures in the pictures of produced files: the
// signalstats of every frame and the PSNR against a reference.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace korvane::test {

// The signalstats values of every decoded picture of File's first video
// stream ("YAVG", "UAVG", "VAVG", "UMIN", "UMAX", ...), after Filter (for
// example "crop=8:8:0:0") when one is given.
using TFrameStats = std::map<std::string, double>;
std::vector<TFrameStats> FrameSignalStats(const std::string &File, const std::string &Filter = "");

// The PSNR of File's pictures against Reference's after ReferenceFilter (for
// example "negate"), per plane "y", "u", "v" and "average", over the whole
// file; infinity where they are identical, empty when it cannot be measured.
std::map<std::string, double> PictureDistance(const std::string &File, const std::string &Reference,
                                              const std::string &ReferenceFilter = "");

}  // namespace korvane::test
