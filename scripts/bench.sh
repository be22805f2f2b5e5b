#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the benchmarks into build/ and runs the conversion benchmarks: one
# 720p file per profile, a batch of eight clips, the modern profiles on
# 1080p and 720p with the copy profile, and the wall time of a 0.2 s clip,
# beside the ffmpeg program and HandBrakeCLI. bench/stop_bench.sh (50
# SIGTERM stops at random moments under load) runs alone: it takes minutes. HandBrakeCLI (Debian package handbrake-cli) is
# only a yardstick here, never used by the converter: it is installed when
# missing and this runs as root; without it the HandBrake rows are left out.
# Arguments go to transcode_bench: [SECONDS=30] [ROUNDS=3].
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if ! command -v HandBrakeCLI >/dev/null 2>&1 && [ "$(id -u)" = 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends handbrake-cli ||
    { apt-get update && apt-get install -y --no-install-recommends handbrake-cli; } ||
    echo "handbrake-cli could not be installed: no HandBrake rows"
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_BUILD_BENCH=ON
cmake --build build -j "$(nproc)"
build/bin/transcode_bench "$@"
echo
build/bin/batch_bench
echo
build/bin/modern_bench
echo
bench/clip_bench.sh build/bin/korvane-convert
