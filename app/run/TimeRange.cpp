// SPDX-License-Identifier: GPL-3.0-or-later
#include "TimeRange.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace korvane {

namespace {

// Up to 6 digits, all digits.
bool WholeNumber(const std::string &Text) {
  return !Text.empty() && Text.size() <= 6 && Text.find_first_not_of("0123456789") == std::string::npos;
}

// Seconds with at most 3 decimals.
std::optional<double> ReadSeconds(const std::string &Text) {
  const size_t Point = Text.find('.');
  const std::string Whole = Text.substr(0, Point);
  if (!WholeNumber(Whole) && !(Whole.empty() && Point != std::string::npos)) return std::nullopt;
  if (Point != std::string::npos) {
    const std::string Fraction = Text.substr(Point + 1);
    if (Fraction.empty() || Fraction.size() > 3 || !WholeNumber(Fraction)) return std::nullopt;
  }
  return std::strtod(Text.c_str(), nullptr);
}

std::string Trimmed(const std::string &Text) {
  const size_t First = Text.find_first_not_of(" \t");
  if (First == std::string::npos) return {};
  return Text.substr(First, Text.find_last_not_of(" \t") - First + 1);
}

}  // namespace

std::optional<int64_t> ReadClockTime(const std::string &Typed) {
  const std::string Text = Trimmed(Typed);
  double Total = 0;
  size_t Start = 0;
  for (int Parts = 0;; ++Parts) {
    const size_t Colon = Text.find(':', Start);
    if (Colon == std::string::npos) break;
    const std::string Part = Text.substr(Start, Colon - Start);
    if (Parts == 2 || !WholeNumber(Part) || (Parts == 1 && std::atoi(Part.c_str()) >= 60))
      return std::nullopt;
    Total = Total * 60 + std::atoi(Part.c_str());
    Start = Colon + 1;
  }
  const std::optional<double> Seconds = ReadSeconds(Text.substr(Start));
  if (!Seconds || (Start > 0 && *Seconds >= 60)) return std::nullopt;
  return static_cast<int64_t>(std::llround((Total * 60 + *Seconds) * 1000));
}

std::string ClockText(int64_t Ms) {
  char Text[48];
  const long long T = Ms < 0 ? 0 : Ms;
  std::snprintf(Text, sizeof Text, "%lld:%02lld:%02lld.%03lld", T / 3600000, T / 60000 % 60, T / 1000 % 60,
                T % 1000);
  return Text;
}

std::string ListTimeText(int64_t Ms) {
  char Text[48];
  const long long T = Ms < 0 ? 0 : Ms;
  if (T % 1000)
    std::snprintf(Text, sizeof Text, "%02lld:%02lld:%02lld.%03lld", T / 3600000, T / 60000 % 60,
                  T / 1000 % 60, T % 1000);
  else
    std::snprintf(Text, sizeof Text, "%02lld:%02lld:%02lld", T / 3600000, T / 60000 % 60, T / 1000 % 60);
  return Text;
}

std::string RangeText(int64_t StartMs, int64_t EndMs, int64_t LengthMs) {
  const int64_t End = EndMs >= 0 ? EndMs : LengthMs;
  return ListTimeText(StartMs) + "-" + (End >= 0 ? ListTimeText(End) : std::string());
}

std::string RangeProblem(int64_t StartMs, int64_t EndMs, int64_t LengthMs) {
  if (LengthMs >= 0 && StartMs >= LengthMs)
    return "The start, " + ClockText(StartMs) + ", is past the end of the file, " + ClockText(LengthMs) + ".";
  if (LengthMs >= 0 && EndMs > LengthMs)
    return "The end, " + ClockText(EndMs) + ", is past the end of the file, " + ClockText(LengthMs) + ".";
  if (EndMs >= 0 && EndMs <= StartMs)
    return "The end, " + ClockText(EndMs) + ", must come after the start, " + ClockText(StartMs) + ".";
  return {};
}

}  // namespace korvane
