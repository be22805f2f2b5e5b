#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test.
# With KORVANE_SANITIZE=1 it builds the engine tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs those instead.
# KORVANE_TEST_EXCLUDE, when set, is a pattern of test names to leave out
# (ctest -E).
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
set --
if [ -n "${KORVANE_TEST_EXCLUDE:-}" ]; then
  set -- -E "$KORVANE_TEST_EXCLUDE"
fi
if [ "${KORVANE_SANITIZE:-0}" = 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON
  cmake --build build-asan -j "$(nproc)"
  # The leak check skips thread-local storage (its tracer faults on that of
  # libraries loaded at run time) and what tests/lsan.supp names.
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="use_tls=0:print_suppressions=0:suppressions=$PWD/tests/lsan.supp" \
    ctest --test-dir build-asan -j "$(nproc)" --output-on-failure "$@"
else
  scripts/build.sh
  ctest --test-dir build -j "$(nproc)" --output-on-failure "$@"
fi
