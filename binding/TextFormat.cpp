// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextFormat.h"

#include <cstdarg>
#include <cstdio>

namespace korvane {

std::string Format(const char *Pattern, ...) {
  va_list Args;
  va_start(Args, Pattern);
  va_list Copy;
  va_copy(Copy, Args);
  const int Size = std::vsnprintf(nullptr, 0, Pattern, Copy);
  va_end(Copy);
  std::string Result;
  if (Size > 0) {
    Result.resize(static_cast<size_t>(Size));
    std::vsnprintf(Result.data(), Result.size() + 1, Pattern, Args);
  }
  va_end(Args);
  return Result;
}

}  // namespace korvane
