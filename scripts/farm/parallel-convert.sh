#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Converts a list of files and folders on several machines with GNU
# parallel over ssh: the list is cut into shares, and each share is one
# korvane-convert run on whichever machine has a free slot.
#
#   scripts/farm/parallel-convert.sh [-S LOGINS]... [-n SHARES] [--transfer]
#                                    LIST OUTDIR PROFILE [korvane-convert options...]
#
# -S LOGINS   GNU parallel's --sshlogin: "node1,4/node2" (4 slots on node2),
#             ":" this machine (the default), "2/:" two slots here.
# -n SHARES   how many shares the list is cut into (default 8): more shares
#             than slots keep every slot busy to the end.
# --transfer  OUTDIR is on this machine only: each share writes into a
#             folder of its own on its node, which comes back into OUTDIR
#             when the share ends. Without it, OUTDIR is a folder every node
#             shares, and a second run skips the outputs that are complete.
#
# The files the list names must be readable at the same paths on every node
# (a shared folder). korvane-convert is the one on each node's PATH, or the
# path in $KORVANE_CONVERT (the same on every node). Each share's JSON events
# and messages are kept in OUTDIR/.korvane-logs/share-K.json and .log. The
# exit status is 0 when every share converted all of its files, 1 otherwise
# (2 for a usage error).
set -u

usage() {
  echo "usage: $0 [-S LOGINS]... [-n SHARES] [--transfer] LIST OUTDIR PROFILE [korvane-convert options...]" >&2
  exit 2
}

logins=()
shares=8
transfer=0
while [ $# -gt 0 ]; do
  case $1 in
    -S|--sshlogin) [ $# -ge 2 ] || usage; logins+=(--sshlogin "$2"); shift 2 ;;
    -n|--shares) [ $# -ge 2 ] || usage; shares=$2; shift 2 ;;
    --transfer) transfer=1; shift ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -ge 3 ] || usage
case $shares in ''|*[!0-9]*|0) echo "$0: -n takes a number of shares from 1" >&2; exit 2 ;; esac
list=$1 outdir=$2 profile=$3
shift 3
[ ${#logins[@]} -gt 0 ] || logins=(--sshlogin :)
command -v parallel >/dev/null || { echo "$0: GNU parallel is not installed" >&2; exit 2; }
[ -r "$list" ] || { echo "$0: cannot read the list $list" >&2; exit 2; }
mkdir -p "$outdir/.korvane-logs" || exit 1
rm -f "$outdir"/.korvane-logs/share-*.json "$outdir"/.korvane-logs/share-*.log
# Every node reads the list and writes the outputs at the same paths.
list=$(cd "$(dirname "$list")" && pwd)/$(basename "$list")
outdir=$(cd "$outdir" && pwd)
program=${KORVANE_CONVERT:-korvane-convert}
case $program in /*) ;; */*) program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program") ;; esac

# The command of share {} as the node's shell runs it.
quoted() { printf '%q ' "$@"; }
options=$(quoted -p "$profile" --file-list "$list" "$@")
if [ $transfer = 0 ]; then
  logs=$(printf '%q' "$outdir/.korvane-logs/share-")
  job="$(quoted "$program")--shard {}/$shares --skip-existing --json --jobs 1 -o $(quoted "$outdir")$options"
  job="$job >${logs}{}.json 2>${logs}{}.log"
  extra=()
else
  # The share's own folder in the job's working folder on its node, sent
  # back here afterwards (on this machine it is made here at once).
  job="mkdir -p korvane-share-{}/.korvane-logs && $(quoted "$program")--shard {}/$shares --json --jobs 1"
  job="$job -o korvane-share-{} $options>korvane-share-{}/.korvane-logs/share-{}.json"
  job="$job 2>korvane-share-{}/.korvane-logs/share-{}.log"
  extra=(--workdir ... --return korvane-share-{} --cleanup)
  # GNU parallel warns that they mean nothing when every login is local.
  remote=0
  for ((i = 1; i < ${#logins[@]}; i += 2)); do
    case ${logins[$i]} in :|*/:) ;; *) remote=1 ;; esac
  done
  [ $remote = 1 ] || extra=()
  work=$(mktemp -d "$outdir/.korvane-transfer.XXXXXX") || exit 1
  cd "$work" || exit 1
fi

parallel --will-cite "${logins[@]}" "${extra[@]}" "$job" ::: $(seq 1 "$shares")
status=$?

if [ $transfer = 1 ]; then
  for folder in korvane-share-*; do
    [ -d "$folder" ] && cp -a "$folder/." "$outdir/" && rm -rf "$folder"
  done
  cd "$outdir" && rmdir "$work" 2>/dev/null
fi

# The counts of every share together, from their summaries.
cat "$outdir"/.korvane-logs/share-*.json 2>/dev/null | awk '
  /"event":"summary"/ {
    for (i = 1; i <= n; i++)
      if (match($0, "\"" keys[i] "\":[0-9]+")) total[i] += substr($0, RSTART + length(keys[i]) + 3, RLENGTH - length(keys[i]) - 3)
    shares++
  }
  BEGIN { n = split("done partial failed stopped skipped not_media", keys, " ") }
  END {
    printf "%d shares: %d done, %d partial, %d failed, %d stopped, %d skipped (%d not media)\n",
      shares, total[1], total[2], total[3], total[4], total[5], total[6]
  }' >&2
[ $status = 0 ] && exit 0
exit 1
