#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Size targets and estimates of korvane-convert, as a table.

Makes three 720p clips with the ffmpeg program (no camera footage ships
with the tree): "detail" (a test pattern under moving grain, as a busy
street), "zoom" (a Mandelbrot zoom: fine detail in slow motion) and
"calm" (a test pattern moving gently, as a talking head). For each clip
and each of the four modern video codecs and Opus it converts with
--target-size, and once at the profile's default quality step; it prints
the target against the real size, the time of the sized conversion
against the default one, and the --estimate of the default conversion
against its real size.

Usage: size_bench.py [--program build/bin/korvane-convert] [--seconds 30]
                     [--target 4M] [--audio-target 300K]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

CLIPS = {
    "detail": "testsrc2=size=1280x720:rate=25,noise=alls=10:allf=t",
    "zoom": "mandelbrot=size=1280x720:rate=25",
    "calm": "testsrc=size=1280x720:rate=25",
}
PROFILES = [
    ("H.264", "MP4 - H.264 Video, AAC Audio (*.mp4)", ".mp4"),
    ("H.265", "MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", ".mp4"),
    ("VP9", "WebM - VP9 Video, Opus Audio (*.webm)", ".webm"),
    ("AV1", "WebM - AV1 Video, Opus Audio (*.webm)", ".webm"),
    ("Opus", "OPUS - Opus Audio (*.opus)", ".opus"),
]
UNITS = {"": 1, "K": 1024, "M": 1024**2, "G": 1024**3}


def size_bytes(text):
    match = re.fullmatch(r"([0-9.]+)([KMG]?)", text)
    return float(match.group(1)) * UNITS[match.group(2)]


def convert(program, profile, source, out, extra):
    os.makedirs(out, exist_ok=True)
    start = time.monotonic()
    done = subprocess.run([program, "-p", profile, "-o", out, "--overwrite", *extra, source],
                          capture_output=True, text=True)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        sys.exit(f"korvane-convert failed on {source}: {done.stderr[-400:]}")
    return seconds


def estimate(program, profile, source):
    done = subprocess.run([program, "-p", profile, "--estimate", source], capture_output=True, text=True)
    match = re.search(r": about ([0-9.]+) (bytes|KB|MB|GB)", done.stdout)
    if not match:
        sys.exit(f"no estimate for {source}: {done.stdout}{done.stderr}")
    scale = {"bytes": 1, "KB": 1024, "MB": 1024**2, "GB": 1024**3}[match.group(2)]
    return float(match.group(1)) * scale


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", default="build/bin/korvane-convert")
    parser.add_argument("--seconds", type=int, default=30)
    parser.add_argument("--target", default="4M")
    parser.add_argument("--audio-target", default="300K")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    with tempfile.TemporaryDirectory() as work:
        print("clip    codec  target     real  of target  time sized/default  estimate  real default  error")
        for clip, pattern in CLIPS.items():
            source = os.path.join(work, clip + ".mkv")
            subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", pattern, "-f", "lavfi", "-i",
                            "sine=f=440", "-t", str(args.seconds), "-c:v", "libx264", "-preset", "ultrafast",
                            "-crf", "12", "-c:a", "flac", source], check=True)
            for name, profile, extension in PROFILES:
                target = args.audio_target if name == "Opus" else args.target
                sized = os.path.join(work, "sized")
                plain = os.path.join(work, "plain")
                sized_time = convert(program, profile, source, sized, ["--target-size", target])
                plain_time = convert(program, profile, source, plain, [])
                real = os.path.getsize(os.path.join(sized, clip + extension))
                default = os.path.getsize(os.path.join(plain, clip + extension))
                guess = estimate(program, profile, source)
                want = size_bytes(target)
                print(f"{clip:7} {name:6} {target:>6} {real / 1024**2:8.2f}M {100 * real / want:8.1f}% "
                      f"{sized_time:8.1f}s/{plain_time:6.1f}s {sized_time / plain_time:5.2f}x "
                      f"{guess / 1024**2:8.2f}M {default / 1024**2:10.2f}M {100 * (guess - default) / default:+6.1f}%",
                      flush=True)


if __name__ == "__main__":
    main()
