// SPDX-License-Identifier: GPL-3.0-or-later
// printf-style formatting into a std::string, the engine's way of building
// its fixed message texts ("Load libraray %s error: %s", ...).
#pragma once

#include <string>

namespace korvane {

std::string Format(const char *Pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace korvane
