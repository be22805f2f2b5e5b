// SPDX-License-Identifier: GPL-3.0-or-later
// Reading numbers from option texts. Malformed text raises EConvertError,
// which callers catch like every other failure of the engine.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace korvane {

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A decimal integer, optionally signed, with blanks around it allowed;
// anything else, or a value outside 32 bits, raises
// "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string &Text);
// The same for 64-bit values.
int64_t StrToInt64(const std::string &Text);
// A decimal number with "." as decimal separator (and an optional exponent);
// otherwise raises "'<text>' is not a valid floating point value".
double StrToFloat(const std::string &Text);
// The same for a single-precision value: not-a-number, infinity and values
// beyond the single range raise the same error (they fit no option).
float StrToSingle(const std::string &Text);
// A decimal integer, or Default when the text is not one.
int64_t StrToInt64Def(const std::string &Text, int64_t Default);

// Text without leading and trailing blanks and control characters.
std::string Trim(const std::string &Text);

}  // namespace korvane
