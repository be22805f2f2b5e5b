#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Stops korvane-convert with SIGTERM at random moments of a long conversion
# while every core is kept busy, and counts the clean stops: exit status
# 143, a "stopped" line, the summary, and an MP4 that ffprobe reads whole
# with its pictures (or no file at all, for a stop before the first one).
# A stop that kills the program instead leaves an MP4 without its index.
# Usage: bench/stop_bench.sh [TRIALS=50] [PROGRAM=build/bin/korvane-convert]
set -eu
TRIALS=${1:-50}
PROGRAM=$(realpath "${2:-build/bin/korvane-convert}")
WORK=$(mktemp -d)
LOAD=""
cleanup() {
  for P in $LOAD; do kill "$P" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

# A minute of 720p: longer than any stop below takes to come.
ffmpeg -v error -f lavfi -i testsrc=size=1280x720:rate=25:duration=60 -f lavfi -i sine=duration=60 \
  -c:v mpeg4 -q:v 8 -c:a libmp3lame "$WORK/long.avi"
# The load: a busy loop per core, besides the conversion's own threads.
for _ in $(seq "$(nproc)"); do
  sh -c 'while :; do :; done' &
  LOAD="$LOAD $!"
done

CLEAN=0
N=0
while [ "$N" -lt "$TRIALS" ]; do
  N=$((N + 1))
  MS=$(shuf -i 100-8000 -n 1)
  DELAY=$(printf '%d.%03d' $((MS / 1000)) $((MS % 1000)))
  OUT="$WORK/out$N"
  mkdir "$OUT"
  STATUS=0
  timeout --preserve-status -s TERM "$DELAY" "$PROGRAM" -p 63 -o "$OUT" "$WORK/long.avi" \
    2>"$WORK/stderr" || STATUS=$?
  WHY=""
  [ "$STATUS" = 143 ] || WHY="$WHY status $STATUS;"
  grep -q "^stopped  $WORK/long.avi" "$WORK/stderr" || WHY="$WHY no 'stopped' line;"
  grep -q "^0 done, 0 failed, 1 stopped$" "$WORK/stderr" || WHY="$WHY no summary;"
  if [ -e "$OUT/long.mp4" ]; then
    FRAMES=$(ffprobe -v error -select_streams v -count_frames -show_entries stream=nb_read_frames \
      -of csv=p=0 "$OUT/long.mp4" 2>"$WORK/probe" || true)
    [ -s "$WORK/probe" ] && WHY="$WHY ffprobe: $(head -c 200 "$WORK/probe" | tr '\n' ' ');"
    [ "${FRAMES:-0}" -gt 0 ] 2>/dev/null || WHY="$WHY no pictures;"
  fi
  if [ -z "$WHY" ]; then
    CLEAN=$((CLEAN + 1))
    echo "stop $N after ${DELAY} s: clean"
  else
    echo "stop $N after ${DELAY} s: NOT clean:$WHY"
  fi
  rm -rf "$OUT"
done
echo "$CLEAN of $TRIALS SIGTERM stops clean"
[ "$CLEAN" = "$TRIALS" ]
