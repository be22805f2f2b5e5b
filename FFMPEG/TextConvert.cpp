// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextConvert.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace korvane {

namespace {

bool ParseInt64(const std::string &Text, int64_t &Value) {
  const std::string Body = Trim(Text);
  const char *First = Body.data();
  const char *Last = First + Body.size();
  if (First != Last && *First == '+') {
    ++First;
    if (First != Last && *First == '-') return false;
  }
  if (First == Last) return false;
  const auto [End, Error] = std::from_chars(First, Last, Value, 10);
  return Error == std::errc() && End == Last;
}

}  // namespace

std::string Trim(const std::string &Text) {
  size_t First = 0, Last = Text.size();
  while (First < Last && static_cast<unsigned char>(Text[First]) <= ' ') ++First;
  while (Last > First && static_cast<unsigned char>(Text[Last - 1]) <= ' ') --Last;
  return Text.substr(First, Last - First);
}

int64_t StrToInt64(const std::string &Text) {
  int64_t Value = 0;
  if (!ParseInt64(Text, Value)) throw EConvertError("'" + Text + "' is not a valid integer value");
  return Value;
}

int32_t StrToInt(const std::string &Text) {
  int64_t Value = 0;
  if (!ParseInt64(Text, Value) || Value < std::numeric_limits<int32_t>::min() ||
      Value > std::numeric_limits<int32_t>::max())
    throw EConvertError("'" + Text + "' is not a valid integer value");
  return static_cast<int32_t>(Value);
}

int64_t StrToInt64Def(const std::string &Text, int64_t Default) {
  int64_t Value = 0;
  return ParseInt64(Text, Value) ? Value : Default;
}

double StrToFloat(const std::string &Text) {
  const std::string Body = Trim(Text);
  const char *First = Body.data();
  const char *Last = First + Body.size();
  if (First != Last && *First == '+') {
    ++First;
    if (First != Last && *First == '-') First = Last;  // "+-1" is malformed
  }
  double Value = 0;
  const auto [End, Error] = std::from_chars(First, Last, Value, std::chars_format::general);
  if (First == Last || Error != std::errc() || End != Last)
    throw EConvertError("'" + Text + "' is not a valid floating point value");
  return Value;
}

float StrToSingle(const std::string &Text) {
  const double Value = StrToFloat(Text);
  if (!std::isfinite(Value) || std::fabs(Value) > std::numeric_limits<float>::max())
    throw EConvertError("'" + Text + "' is not a valid floating point value");
  return static_cast<float>(Value);
}

}  // namespace korvane
