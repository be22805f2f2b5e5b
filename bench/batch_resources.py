#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A long korvane-convert batch under a small open-file limit: peak memory
and the most files it held open.

Makes one short clip with the ffmpeg program, links it under N names, and
converts them all in one batch under `ulimit -n LIMIT`, sampling the
program's open files (/proc/PID/fd) and resident memory (/proc/PID/status)
as it runs. Prints the counts of the summary, the peak resident memory
(VmHWM), the most open files seen and how resident memory grew from the
first tenth of the batch to its end.

Usage: batch_resources.py [--program build/bin/korvane-convert] [--files 2000]
                          [--limit 256] [--jobs 2] [--profile 23]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time


def status_kb(pid, field):
    try:
        with open(f"/proc/{pid}/status") as f:
            match = re.search(rf"^{field}:\s+(\d+) kB", f.read(), re.M)
            return int(match.group(1)) if match else 0
    except OSError:
        return 0


def open_files(pid):
    try:
        return len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", default="build/bin/korvane-convert")
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--limit", type=int, default=256)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--profile", default="23")
    parser.add_argument("--clip", default="-f lavfi -i sine=duration=0.5 -c:a pcm_s16le",
                        help="ffmpeg arguments that make the clip (a WAV file)")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="korvane-batch-")
    clip = os.path.join(work, "clip.wav")
    subprocess.run(["ffmpeg", "-v", "error", "-y"] + args.clip.split() + [clip], check=True)
    os.mkdir(os.path.join(work, "in"))
    os.mkdir(os.path.join(work, "out"))
    names = []
    for i in range(args.files):
        name = os.path.join(work, "in", f"clip-{i:05d}.wav")
        os.link(clip, name)
        names.append(name)
    # The shell sets the limit and becomes the program.
    command = ["sh", "-c", f"ulimit -n {args.limit} && exec \"$0\" \"$@\" 2>'{work}/stderr.txt'",
               os.path.abspath(args.program), "-p", args.profile, "--jobs", str(args.jobs), "--log-level", "quiet",
               "-o", os.path.join(work, "out")] + names
    start = time.time()
    shell = subprocess.Popen(command)
    program = shell.pid
    most_files, peak, samples = 0, 0, []
    while shell.poll() is None:
        most_files = max(most_files, open_files(program))
        peak = max(peak, status_kb(program, "VmHWM"))
        done = len(os.listdir(os.path.join(work, "out")))
        samples.append((done, status_kb(program, "VmRSS")))
        time.sleep(0.05)
    seconds = time.time() - start
    summary = open(os.path.join(work, "stderr.txt")).read().strip().splitlines()
    early = [rss for done, rss in samples if 0 < done <= args.files // 10 and rss]
    late = [rss for done, rss in samples if done >= args.files * 9 // 10 and rss]
    print(f"{args.files} files, --jobs {args.jobs}, ulimit -n {args.limit}, profile {args.profile}: "
          f"exit {shell.returncode} in {seconds:.0f} s")
    print(f"summary: {summary[-1] if summary else '(none)'}")
    print(f"peak resident memory (VmHWM): {peak / 1024:.1f} MB")
    print(f"most open files seen: {most_files}")
    steps = []
    for tenth in range(1, 11):
        seen = [rss for done, rss in samples if done <= args.files * tenth // 10 and rss]
        if seen:
            steps.append(f"{max(seen) / 1024:.0f}")
    print(f"resident memory by tenths of the batch, MB: {' '.join(steps)}")
    if early and late:
        print(f"resident memory at 10% of the batch: {max(early) / 1024:.1f} MB, at 90%+: {max(late) / 1024:.1f} MB")
    subprocess.run(["rm", "-rf", work])
    return 0 if shell.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
