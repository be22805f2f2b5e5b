#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that the C++ sources, tests and benchmarks are formatted as
# .clang-format says; with --fix, formats them so.
set -e
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--fix" ]; then
  set -- -i
else
  set -- --dry-run --Werror
fi
find app profiles FFMPEG binding worker plugins tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format "$@"
