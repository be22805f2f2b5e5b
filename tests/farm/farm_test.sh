#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The farm recipes as a user runs them, on this machine:
#   farm_test.sh parallel BIN SCRIPTS   GNU parallel on two local slots, with
#                                       the outputs in a shared folder and
#                                       transferred back
#   farm_test.sh slurm BIN SCRIPTS      the job array script: its shell is
#                                       checked, and it is run where sbatch
#                                       and a cluster are (77: skipped)
# Every media file of a tree must be converted exactly once across the
# shares, a second run must convert nothing, and every log line must be JSON.
set -u
mode=$1 bin=$2 scripts=$3
export KORVANE_CONVERT=$bin/korvane-convert
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A tree of five short sounds in nested folders (two of one name), a file
# that is no media, and a list naming the tree and one file beside it.
make_sources() {
  mkdir -p "$tmp/src/a/deep" "$tmp/src/b"
  ffmpeg -v error -f lavfi -i sine=frequency=440:duration=0.5 "$tmp/src/a/one.wav" || exit 1
  for f in a/deep/two.wav b/one.wav b/three.wav extra.wav; do cp "$tmp/src/a/one.wav" "$tmp/src/$f"; done
  echo "not a sound" > "$tmp/src/b/notes.txt"
  mv "$tmp/src/extra.wav" "$tmp/extra.wav"
  printf '%s\n\n%s\n' "$tmp/src" "$tmp/extra.wav" > "$tmp/list"
}
expected="a/deep/two.mp3 a/one.mp3 b/one.mp3 b/three.mp3 extra.mp3"
profile='MP3 - Mpeg Layer3 Audio (*.mp3)'

# The outputs below Folder, sorted, without the logs and the journal.
outputs() { (cd "$1" && find . -type f ! -path './.korvane-*' | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//'); }

# Every line of the logs in Folder is a JSON object with an "event", each
# log ends with its summary; prints the sum of one count over the summaries.
check_logs() {
  python3 - "$1" "$2" <<'PY' || fail "the logs in $1 are not JSON lines ending with a summary"
import glob, json, sys
total = 0
logs = glob.glob(sys.argv[1] + "/.korvane-logs/*.json")
assert logs, "no logs"
for log in logs:
    events = [json.loads(line) for line in open(log, "rb")]
    assert all("event" in e for e in events), log
    assert events and events[-1]["event"] == "summary", log
    total += events[-1][sys.argv[2]]
print(total)
PY
}

run_parallel() {
  command -v parallel >/dev/null || { fail "GNU parallel is not installed (scripts/install-deps.sh)"; return; }
  make_sources
  local out=$tmp/out
  mkdir -p "$out"
  "$scripts/parallel-convert.sh" -S 2/: -n 3 "$tmp/list" "$out" "$profile" 2>"$tmp/first.txt" ||
    fail "the first run failed: $(cat "$tmp/first.txt")"
  [ "$(outputs "$out")" = "$expected" ] || fail "outputs: $(outputs "$out")"
  [ "$(check_logs "$out" done)" = 5 ] || fail "the shares did not convert five files once each"
  [ "$(check_logs "$out" not_media)" = 1 ] || fail "the text file was not counted as not media"
  for f in $expected; do
    ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 "$out/$f" | grep -qx mp3 ||
      fail "$f is no MP3"
  done
  grep -q "^3 shares: 5 done, 0 partial, 0 failed, 0 stopped, 1 skipped (1 not media)$" "$tmp/first.txt" ||
    fail "the totals: $(cat "$tmp/first.txt")"
  # A second run finds every output complete.
  "$scripts/parallel-convert.sh" -S 2/: -n 3 "$tmp/list" "$out" "$profile" 2>"$tmp/second.txt" ||
    fail "the second run failed: $(cat "$tmp/second.txt")"
  [ "$(check_logs "$out" done)" = 0 ] || fail "the second run converted again"
  [ "$(check_logs "$out" skipped)" = 6 ] || fail "the second run did not skip the five outputs and the text"
  # Outputs transferred back into a folder of this machine only.
  local back=$tmp/back
  mkdir -p "$back"
  "$scripts/parallel-convert.sh" -S 2/: -n 2 --transfer "$tmp/list" "$back" "$profile" 2>"$tmp/third.txt" ||
    fail "the transferring run failed: $(cat "$tmp/third.txt")"
  [ "$(outputs "$back")" = "$expected" ] || fail "transferred outputs: $(outputs "$back")"
  ls -d "$back"/.korvane-transfer.* >/dev/null 2>&1 && fail "the transfer's work folder is left"
  # Usage errors say so.
  "$scripts/parallel-convert.sh" -n 0 "$tmp/list" "$out" "$profile" 2>/dev/null
  [ $? = 2 ] || fail "-n 0 is no usage error"
}

run_slurm() {
  bash -n "$scripts/slurm-convert.sbatch" || fail "the job array script does not parse"
  if ! command -v sbatch >/dev/null || ! sinfo -h >/dev/null 2>&1; then
    echo "sbatch or a Slurm cluster is not available here: the job array is not run"
    [ $failures = 0 ] && exit 77
    exit 1
  fi
  make_sources
  local out=$tmp/out
  mkdir -p "$out"
  for round in first second; do
    sbatch --wait --quiet --array=1-3 --chdir="$tmp" --export=ALL \
      "$scripts/slurm-convert.sbatch" "$tmp/list" "$out" "$profile" >"$tmp/$round.txt" 2>&1 ||
      fail "the $round array failed: $(cat "$tmp/$round.txt")"
  done
  [ "$(outputs "$out")" = "$expected" ] || fail "outputs: $(outputs "$out")"
  # Each round's three tasks left a log each; the second round skipped all.
  [ "$(ls "$out"/.korvane-logs/*.json | wc -l)" = 6 ] || fail "logs: $(ls "$out"/.korvane-logs)"
  [ "$(check_logs "$out" done)" = 5 ] || fail "the two arrays did not convert five files once each"
}

case $mode in
  parallel) run_parallel ;;
  slurm) run_slurm ;;
  *) echo "usage: $0 parallel|slurm BIN SCRIPTS" >&2; exit 2 ;;
esac
[ $failures = 0 ] && echo "ok" && exit 0
exit 1
