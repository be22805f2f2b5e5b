#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Converts damaged media files with korvane-convert and counts the outcomes.

Makes a handful of short clips with the ffmpeg program, damages copies of
them the way a hostile user would (cut short, bytes flipped, ranges zeroed,
header fields overwritten, chunks repeated), and converts each mutant with
one of several profiles, now and then with an odd option value. Meant for
the sanitizer build (KORVANE_SANITIZE=ON: AddressSanitizer and
UndefinedBehaviorSanitizer with float-cast-overflow), where any undefined
behaviour ends the program with a report.

Each conversion ends one of these ways:
  done        exit 0 and an output that ffprobe reads and ffmpeg decodes
  done-bad    exit 0 but no output, or one that does not decode, or one
              without pictures from a source whose video ffprobe sees,
              through a profile that writes video, or one whose times run
              backwards, or one much shorter (by more than max(1 s, 5%))
              than what the ffmpeg program reads of the mutant
  partial     exit 1 with a "partial" line and an output that decodes: the
              source was cut short or damaged, and the converter said so
  failed      exit 1 with a reason and no output left behind
  failed-left exit 1 but an output file left behind
  crash       a signal, a sanitizer report or any other exit status
  hang        no end within the time limit
  lsan-flake  LeakSanitizer's own tracer failed at exit ("Tracer caught
              signal") after the program had ended its work, and a rerun
              under AddressSanitizer and UndefinedBehaviorSanitizer without
              the leak check was clean. With glibc 2.36 and GCC 12 the
              tracer can read a bogus dynamic TLS range of a library loaded
              at run time ("DTLS 17 at 0x159-..." with
              LSAN_OPTIONS=verbosity=1) and fault: a fault of the checker,
              counted apart and kept for a look

Usage: media_fuzz.py [--program build-asan/bin/korvane-convert] [--count 300]
                     [--seed N] [--keep DIR] [--timeout 120] [--reasons FILE]
                     [--set classic|modern]
"modern" damages clips of today's formats (H.264, H.265, VP9, Opus, FLAC,
covers, subtitles, a phone's turned clip) and converts them with the
modern profiles, rows 63 to 70.
The seed is printed; the same seed makes the same mutants and choices.
Mutants whose outcome is not done or failed are kept in DIR for replay.
--reasons writes every distinct failure text (file names replaced by NAME)
with its count, to read them as the people who get them would.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

# (file name, ffmpeg arguments that make it)
CLIPS = [
    ("mpeg4-aac.mp4", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                      "-c:v mpeg4 -c:a aac"),
    ("mpeg4-mp2.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                      "-c:v mpeg4 -c:a mp2"),
    ("h264-mp3.avi", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                     "-c:v libx264 -preset ultrafast -c:a libmp3lame"),
    ("mpeg1-mp2.mpg", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                      "-c:v mpeg1video -c:a mp2"),
    ("flv1-mp3.flv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                     "-c:v flv -c:a libmp3lame -ar 22050"),
    ("mpeg2-ac3.ts", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                     "-c:v mpeg2video -c:a ac3"),
    ("vorbis.ogg", "-f lavfi -i sine=duration=1 -c:a libvorbis"),
    ("pcm.wav", "-f lavfi -i sine=duration=1 -c:a pcm_s16le"),
    ("mp3.mp3", "-f lavfi -i sine=duration=1 -c:a libmp3lame"),
    ("amr.3gp", "-f lavfi -i testsrc=size=176x144:rate=15:duration=1 -f lavfi -i sine=duration=1:sample_rate=8000 "
                "-c:v h263 -c:a libopencore_amrnb -ar 8000 -ac 1"),
]

# Profile rows of --list-profiles: AVI, MP4, FLV, DVD VOB, MP3, WAV, 3GP, iPod, PSP; the sound-only ones.
PROFILES = ["3", "10", "8", "7", "23", "26", "0", "29", "49"]
SOUND_ONLY = {"23", "26"}

MODERN_CLIPS = [
    ("h264-aac.mp4", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                     "-c:v libx264 -preset ultrafast -c:a aac -movflags +faststart"),
    ("hevc-aac.mp4", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                     "-c:v libx265 -x265-params log-level=error -tag:v hvc1 -c:a aac"),
    ("vp9-opus.webm", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                      "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -c:a libopus"),
    ("tracks.mkv", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                   "-f lavfi -i sine=f=660:duration=2 -map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast "
                   "-c:a:0 aac -c:a:1 ac3 -metadata:s:a:1 language=fre"),
    ("covered.mp4", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                    "-f lavfi -i color=red:size=64x64 -map 0:v -map 1:a -map 2:v -t 2 -frames:v:1 1 -c:v:0 libx264 "
                    "-preset ultrafast -c:v:1 png -disposition:v:1 attached_pic -c:a aac"),
    ("phone.mov", "-f lavfi -i testsrc2=size=320x180:rate=30:duration=2 -f lavfi -i sine=duration=2 "
                  "-c:v libx264 -preset ultrafast -c:a aac -metadata:s:v rotate=90"),
    ("song.flac", "-f lavfi -i sine=duration=2:sample_rate=48000 -c:a flac -metadata title=Song"),
    ("voice.opus", "-f lavfi -i sine=duration=2 -c:a libopus"),
]
MODERN_PROFILES = ["63", "64", "65", "66", "67", "68", "69", "70"]
MODERN_SOUND_ONLY = {"69", "70"}

ODD_OPTIONS = [
    "muxdelay=1e30", "muxpreload=1e30", "dts_delta_threshold=1e30", "aq=1e30", "ss=100", "t=0.01",
    "vframes=1", "aframes=1", "fs=2000", "async=1", "vsync=2", "itsscale=0:1e30", "itsoffset=-100",
    "padtop=2147483646", "croptop=2", "r=1000", "ar=8000", "ac=1", "aspect=1e-30", "intra_matrix=0",
]


def mutate(data, rng):
    """A damaged copy of data and a description of the damage."""
    data = bytearray(data)
    size = len(data)
    kind = rng.choice(["truncate", "flip", "flip-range", "zero-range", "header", "field", "repeat"])
    if kind == "truncate":
        at = rng.randrange(1, size)
        return bytes(data[:at]), f"truncate {at}"
    if kind == "flip":
        count = rng.randint(1, 16)
        spots = sorted(rng.randrange(size) for _ in range(count))
        for at in spots:
            data[at] ^= 1 << rng.randrange(8)
        return bytes(data), f"flip bits at {spots}"
    if kind in ("flip-range", "zero-range"):
        at = rng.randrange(size)
        length = min(rng.randint(1, 2048), size - at)
        for i in range(at, at + length):
            data[i] = data[i] ^ 0xFF if kind == "flip-range" else 0
        return bytes(data), f"{kind} {at}+{length}"
    if kind == "header":
        at = rng.randrange(min(size, 512))
        length = min(rng.randint(1, 8), size - at)
        for i in range(at, at + length):
            data[i] = rng.randrange(256)
        return bytes(data), f"header bytes {at}+{length}"
    if kind == "field":
        at = rng.randrange(max(1, min(size, 1024) - 4))
        value = rng.choice([0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, rng.randrange(1 << 32)])
        order = rng.choice(["little", "big"])
        data[at:at + 4] = value.to_bytes(4, order)
        return bytes(data), f"field {at} = {value:#x} ({order})"
    at = rng.randrange(size)
    length = min(rng.randint(1, 4096), size - at)
    return bytes(data[:at + length] + data[at:]), f"repeat {at}+{length}"


def convert(command, timeout, env):
    """The exit status (None: no end in time) and standard error of one conversion."""
    try:
        run = subprocess.run(command, capture_output=True, text=True, errors="replace", timeout=timeout, env=env)
        return run.returncode, run.stderr
    except subprocess.TimeoutExpired as e:
        return None, e.stderr.decode(errors="replace") if isinstance(e.stderr, bytes) else (e.stderr or "")


def has_video(path):
    """Whether ffprobe sees a video stream in path."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-select_streams", "v", "-show_entries", "stream=index",
                            "-of", "csv=p=0", path], capture_output=True, text=True, timeout=120)
    return probe.stdout.strip() != ""


def has_pictures(path):
    """Whether path has a video stream from which ffprobe reads a picture."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-select_streams", "v", "-count_packets", "-show_entries",
                            "stream=nb_read_packets", "-of", "csv=p=0", path], capture_output=True, text=True,
                           timeout=120)
    return any(c.strip().rstrip(",").isdigit() and int(c.strip().rstrip(",")) > 0
               for c in probe.stdout.splitlines())


def failure_texts(text, mutant, out):
    """The reasons of the summary's failure lines, the file's names replaced by NAME and OUT."""
    reasons = []
    for line in text.splitlines():
        if line.startswith("failed   "):
            reason = line[len("failed   "):].replace(mutant, "NAME").replace(out, "OUT")
            reasons.append(reason[len("NAME: "):] if reason.startswith("NAME: ") else reason)
    return reasons


def readable_length(path):
    """Seconds of picture or sound the ffmpeg program decodes from path (first frame's start to last one's end)."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "frame=pts_time,duration_time",
                            "-of", "csv=p=0", path], capture_output=True, text=True, timeout=300)
    start, end = None, 0.0
    for line in probe.stdout.splitlines():
        fields = [f for f in line.split(",") if f and f != "N/A"]
        try:
            values = [float(f) for f in fields[:2]]
        except ValueError:
            continue
        if values:
            start = values[0] if start is None else min(start, values[0])
            end = max(end, sum(values))
    return end - start if start is not None else 0.0


def times_run_backwards(path):
    """Whether a stream of path has a decode time before the one of its packet before."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "packet=stream_index,dts_time",
                            "-of", "csv=p=0", path], capture_output=True, text=True, timeout=300)
    last = {}
    for line in probe.stdout.splitlines():
        fields = line.split(",")
        if len(fields) < 2 or fields[1] in ("", "N/A"):
            continue
        stream, dts = fields[0], float(fields[1])
        if stream in last and dts < last[stream]:
            return True
        last[stream] = dts
    return False


def decodes(path):
    """Whether ffprobe sees a stream with frames and ffmpeg decodes the file without an error."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries", "stream=nb_read_frames",
                            "-of", "csv=p=0", path], capture_output=True, text=True, timeout=120)
    counts = [line.strip().rstrip(",") for line in probe.stdout.splitlines() if line.strip()]
    frames = sum(int(c) for c in counts if c.isdigit())
    if probe.returncode != 0 or frames == 0:
        return False
    decode = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"], capture_output=True,
                            text=True, timeout=120)
    return decode.returncode == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", default="build-asan/bin/korvane-convert")
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--seed", type=int, default=random.randrange(1 << 31))
    parser.add_argument("--keep", default="fuzz-findings")
    parser.add_argument("--timeout", type=int, default=120)
    parser.add_argument("--clips", default="", help="only the clips whose name contains this text")
    parser.add_argument("--reasons", default="", help="write the distinct failure texts here")
    parser.add_argument("--set", default="classic", choices=["classic", "modern"])
    args = parser.parse_args()
    modern = args.set == "modern"
    clip_list = MODERN_CLIPS if modern else CLIPS
    profiles = MODERN_PROFILES if modern else PROFILES
    sound_only = MODERN_SOUND_ONLY if modern else SOUND_ONLY
    print(f"media_fuzz seed {args.seed} (replay: --seed {args.seed} --count {args.count})", flush=True)
    rng = random.Random(args.seed)
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=0",
               UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")

    work = tempfile.mkdtemp(prefix="korvane-fuzz-")
    clips = []
    for name, make in clip_list:
        if args.clips not in name:
            continue
        path = os.path.join(work, name)
        if subprocess.run(["ffmpeg", "-v", "error", "-y"] + make.split() + [path]).returncode == 0:
            clips.append(path)
    outcomes = {}
    reasons = {}
    findings = []
    start = time.time()
    for n in range(args.count):
        source = rng.choice(clips)
        with open(source, "rb") as f:
            damaged, damage = mutate(f.read(), rng)
        base, extension = os.path.splitext(os.path.basename(source))
        mutant = os.path.join(work, f"m{n:04d}-{base}{extension}")
        with open(mutant, "wb") as f:
            f.write(damaged)
        out = os.path.join(work, f"out{n:04d}")
        os.mkdir(out)
        profile = rng.choice(profiles)
        command = [args.program, "-p", profile, "-o", out]
        option = ""
        if rng.random() < 0.15:
            option = rng.choice(ODD_OPTIONS)
            command += ["--option", option]
        command.append(mutant)
        status, text = convert(command, args.timeout, env)
        flake, first = False, text
        if "Tracer caught signal" in text and "ERROR: AddressSanitizer" not in text and "runtime error:" not in text:
            shutil.rmtree(out, ignore_errors=True)
            os.mkdir(out)
            status, text = convert(command, args.timeout, dict(env, ASAN_OPTIONS="detect_leaks=0"))
            flake = True
        written = [os.path.join(out, f) for f in os.listdir(out)]
        sanitizer = "ERROR: AddressSanitizer" in text or "runtime error:" in text or "LeakSanitizer" in text
        if status is None:
            outcome = "hang"
        elif sanitizer or status not in (0, 1):
            outcome = "crash"
        elif status == 0:
            outcome = "done" if len(written) == 1 and decodes(written[0]) else "done-bad"
            pictures_expected = profile not in sound_only and has_video(mutant)
            if outcome == "done" and pictures_expected and not has_pictures(written[0]):
                outcome = "done-bad"
            if outcome == "done" and times_run_backwards(written[0]):
                outcome = "done-bad"
            if outcome == "done" and modern and not option:
                # Shorter than the source reads, beyond the tolerance of an honest ending.
                had, readable = readable_length(written[0]), readable_length(mutant)
                if readable - had > max(1.0, readable / 20):
                    outcome = "done-bad"
        elif status == 1 and "\npartial  " in "\n" + text and len(written) == 1:
            outcome = "partial" if decodes(written[0]) else "done-bad"
        else:
            outcome = "failed-left" if written else "failed"
        if flake and outcome in ("done", "partial", "failed"):
            outcome = "lsan-flake"
        outcomes[outcome] = outcomes.get(outcome, 0) + 1
        for reason in failure_texts(text, mutant, out):
            reasons[reason] = reasons.get(reason, 0) + 1
        if outcome not in ("done", "partial", "failed"):
            os.makedirs(args.keep, exist_ok=True)
            kept = os.path.join(args.keep, os.path.basename(mutant))
            shutil.copy(mutant, kept)
            findings.append((outcome, kept, damage, " ".join(command[1:-1]), first[-2000:]))
        shutil.rmtree(out, ignore_errors=True)
        os.remove(mutant)
        if (n + 1) % 25 == 0:
            print(f"{n + 1} mutants, {time.time() - start:.0f} s: {outcomes}", flush=True)

    shutil.rmtree(work, ignore_errors=True)
    if args.reasons:
        with open(args.reasons, "w") as f:
            for reason, count in sorted(reasons.items(), key=lambda item: (-item[1], item[0])):
                f.write(f"{count:4d}  {reason}\n")
    print(f"seed {args.seed}, {args.count} mutants of {len(clips)} clips in {time.time() - start:.0f} s")
    for outcome in ("done", "partial", "done-bad", "failed", "failed-left", "crash", "hang", "lsan-flake"):
        print(f"  {outcome:12s} {outcomes.get(outcome, 0)}")
    for outcome, kept, damage, options, text in findings:
        print(f"\n{outcome}: {kept} ({damage}; {options})\n{text}")
    return 1 if any(outcome != "lsan-flake" for outcome, *_ in findings) else 0


if __name__ == "__main__":
    sys.exit(main())
