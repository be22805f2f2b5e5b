// SPDX-License-Identifier: GPL-3.0-or-later
// Turning option values that may be anything (1e30 seconds, NaN, huge pads)
// into the integers the libraries take, without the undefined behaviour of
// a cast that does not fit: out-of-range values are clamped.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace korvane {

// Value truncated towards zero and clamped to [Low, High]; NaN gives Low.
template <typename TInteger>
TInteger ClampedInteger(double Value, TInteger Low = std::numeric_limits<TInteger>::min(),
                        TInteger High = std::numeric_limits<TInteger>::max()) {
  if (!(Value > static_cast<double>(Low))) return Low;
  // High may not be exact as a double (2^63 - 1 rounds up to 2^63): compare
  // with the rounded value and keep the cast strictly inside the range.
  if (Value >= static_cast<double>(High)) return High;
  return static_cast<TInteger>(Value);
}

// A time in seconds as microseconds from 0 to High.
template <typename TInteger>
TInteger SecondsToMicroseconds(double Seconds, TInteger High = std::numeric_limits<TInteger>::max()) {
  return ClampedInteger<TInteger>(Seconds * 1000000.0, 0, High);
}

// Whether a picture of Width x Height can be allocated by the libraries,
// the same rule as their own size check: both positive and
// (Width + 128) x (Height + 128) below INT_MAX / 8.
inline bool PictureSizeAllowed(int64_t Width, int64_t Height) {
  return Width > 0 && Height > 0 && Width < INT32_MAX && Height < INT32_MAX &&
         (Width + 128) * (Height + 128) < INT32_MAX / 8;
}

}  // namespace korvane
