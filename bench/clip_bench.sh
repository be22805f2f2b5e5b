#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The wall time of converting a 0.2 s clip (320x240 MPEG-4 with MP3, to the
# AVI profile), median of RUNS runs, beside the ffmpeg program converting it
# alike: what each call costs beyond the conversion, which a batch farm
# calling korvane-convert once per file pays on every file.
# Usage: bench/clip_bench.sh [PROGRAM=build/bin/korvane-convert] [RUNS=10]
set -eu
PROGRAM=$(realpath "${1:-build/bin/korvane-convert}")
RUNS=${2:-10}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=0.2 -f lavfi -i sine=duration=0.2 \
  -c:v mpeg4 -c:a libmp3lame "$WORK/clip.avi"
mkdir "$WORK/out"

# The median wall time, in seconds, of RUNS runs of the command given.
median() {
  I=0
  : >"$WORK/times"
  while [ "$I" -lt "$RUNS" ]; do
    I=$((I + 1))
    START=$(date +%s%N)
    "$@" >/dev/null 2>&1
    END=$(date +%s%N)
    echo $(((END - START) / 1000)) >>"$WORK/times"
  done
  sort -n "$WORK/times" | awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f", m / 1e6 }'
}

OURS=$(median "$PROGRAM" -p 3 --overwrite -o "$WORK/out" "$WORK/clip.avi")
THEIRS=$(median ffmpeg -v error -y -i "$WORK/clip.avi" -c:v mpeg4 -c:a libmp3lame "$WORK/out/ffmpeg.avi")
echo "0.2 s clip, median wall time of $RUNS: korvane-convert ${OURS} s, ffmpeg ${THEIRS} s"
