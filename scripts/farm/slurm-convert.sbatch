#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Converts a list of files and folders on a Slurm cluster: a job array whose
# every task converts its own share of the list with korvane-convert.
#
#   sbatch --array=1-N scripts/farm/slurm-convert.sbatch LIST OUTDIR PROFILE [korvane-convert options...]
#
# LIST names the files and folders, one a line; OUTDIR is where the outputs
# go (the folders' trees mirrored below it). Both, and the files the list
# names, must be at the same paths on every node: a shared folder. Each task
# takes every N-th entry of the list, skips outputs that are complete
# already (so a task, or the whole array, can simply be submitted again)
# and writes its JSON events to OUTDIR/.korvane-logs/JOB-TASK.json and its
# messages to JOB-TASK.log beside them. The task's exit status is
# korvane-convert's: 0 all done, 1 a file failed or is partial.
#
# korvane-convert is the one on PATH, or $KORVANE_CONVERT.
#SBATCH --job-name=korvane-convert
#SBATCH --cpus-per-task=2
#SBATCH --output=korvane-convert-%A_%a.out
set -u

if [ $# -lt 3 ]; then
  echo "usage: sbatch --array=1-N $0 LIST OUTDIR PROFILE [korvane-convert options...]" >&2
  exit 2
fi
list=$1 outdir=$2 profile=$3
shift 3

if [ -z "${SLURM_ARRAY_TASK_ID:-}" ] || [ -z "${SLURM_ARRAY_TASK_COUNT:-}" ]; then
  echo "$0: not a task of a job array: submit it with sbatch --array=1-N" >&2
  exit 2
fi
program=${KORVANE_CONVERT:-$(command -v korvane-convert)}
if [ -z "$program" ] || [ ! -x "$program" ]; then
  echo "$0: korvane-convert is neither on PATH nor in \$KORVANE_CONVERT" >&2
  exit 2
fi

# The task's place among the array's tasks, from 1, whatever the array's
# first index and step (--array=0-7, --array=1-15:2).
first=${SLURM_ARRAY_TASK_MIN:-1}
step=${SLURM_ARRAY_TASK_STEP:-1}
share=$(( (SLURM_ARRAY_TASK_ID - first) / step + 1 ))

logs=$outdir/.korvane-logs
mkdir -p "$logs" || exit 1
name=${SLURM_ARRAY_JOB_ID:-${SLURM_JOB_ID:-job}}-$SLURM_ARRAY_TASK_ID
# exec: Slurm's SIGTERM at a time limit or on scancel reaches korvane-convert,
# which finishes its outputs so far and writes its summary.
exec "$program" --shard "$share/$SLURM_ARRAY_TASK_COUNT" --skip-existing --json \
  -p "$profile" -o "$outdir" --file-list "$list" "$@" \
  >"$logs/$name.json" 2>"$logs/$name.log"
