// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time binding of the utility library libmyutil.so.
#pragma once

#include <string>

#include "BindingUnit.h"
#include "myutil/myutil.h"

#define KORVANE_MYUTIL_FUNCTIONS(X) \
  X(my_vsprintf)                    \
  X(my_vsnprintf)                   \
  X(my_fprintf)                     \
  X(my_snprintf)                    \
  X(my_fopen)                       \
  X(my_ftell)                       \
  X(my_fread)                       \
  X(my_fwrite)                      \
  X(my_fseek)                       \
  X(my_fclose)                      \
  X(my_strtok)                      \
  X(my_strtol)                      \
  X(my_strtod)

namespace MyUtil {

KORVANE_MYUTIL_FUNCTIONS(KORVANE_DECLARE_FUNCTION)

// The utility library has one file name; it never carries a version number.
std::string FileName();
bool Load(std::string &Error, const std::string &Directory);
void Unload();
bool Loaded();

}  // namespace MyUtil
