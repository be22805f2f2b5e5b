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
              without pictures from a source whose film (not a cover)
              ffprobe sees, through a profile that writes video, a sound
              profile's output without sound, one whose times run backwards
              or repeat, one much shorter (by more than max(1 s, 5%)) than
              what the ffmpeg program reads of the mutant (of the range
              asked for), one whose container says it lasts longer than the
              range (unless a copy says it began at the key frame before
              the start), one over its target size, or a preview that is the
              cover; and a "partial" whose output is not short of what the
              converter said the source declares
  partial     exit 1 with a "partial" line and an output that decodes: the
              source was cut short or damaged, and the converter said so
  failed      exit 1 with a reason and no output left behind
  refused     exit 2 (a usage error: a track or range the file does not
              have) with nothing written
  failed-left exit 1 or 2 but an output file left behind
  json-bad    under --json, a line on standard output that is not a JSON
              object, or a summary that is missing or not last
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
covers of films and songs, chapters and subtitles, a phone's turned clip, a
variable frame rate) and converts them with the modern profiles, rows 63 to
70, now and then with a range, a preview, a target size, a burnt subtitle,
chosen audio tracks, and --json.
The seed is printed; the same seed makes the same mutants and choices.
Mutants whose outcome is not done or failed are kept in DIR for replay.
--reasons writes every distinct failure text (file names replaced by NAME)
with its count, to read them as the people who get them would.
"""
import argparse
import json
import os
import re
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
    ("covered-song.mp3", "-f lavfi -i sine=duration=2 -f lavfi -i color=blue:size=64x64 -map 0:a -map 1:v "
                         "-t 2 -frames:v 1 -c:a libmp3lame -c:v png -disposition:v attached_pic -id3v2_version 3"),
    ("covered-song.flac", "-f lavfi -i sine=duration=2 -f lavfi -i color=blue:size=64x64 -map 0:a -map 1:v "
                          "-t 2 -frames:v 1 -c:a flac -c:v png -disposition:v attached_pic"),
    ("chapters.mkv", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 -f lavfi -i sine=duration=4 "
                     "-i {chapters} -i {subtitles} -map 0 -map 1 -map 3 -map_chapters 2 -c:v libx264 "
                     "-preset ultrafast -c:a aac -c:s srt"),
    ("vfr.mp4", "-f lavfi -i testsrc2=size=320x240:rate=30:duration=2 -f lavfi -i sine=duration=2 "
                "-vf setpts=N/30/TB+0.02*sin(N)/TB -fps_mode vfr -c:v libx264 -preset ultrafast -c:a aac"),
]

# What the chapter clip takes: two chapters and three subtitles.
CHAPTERS = """;FFMETADATA1
[CHAPTER]
TIMEBASE=1/1000
START=0
END=2000
title=One
[CHAPTER]
TIMEBASE=1/1000
START=2000
END=4000
title=Two
"""
SUBTITLES = """1
00:00:00,200 --> 00:00:01,200
one

2
00:00:01,500 --> 00:00:02,500
two

3
00:00:03,000 --> 00:00:04,000
three
"""
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
    """The exit status (None: no end in time), standard error and standard output of one conversion."""
    try:
        run = subprocess.run(command, capture_output=True, text=True, errors="replace", timeout=timeout, env=env)
        return run.returncode, run.stderr, run.stdout
    except subprocess.TimeoutExpired as e:
        def text(value):
            return value.decode(errors="replace") if isinstance(value, bytes) else (value or "")
        return None, text(e.stderr), text(e.stdout)


def modern_choices(rng, profile):
    """The options of a modern run besides the profile, and what they promise of the output:
    a dict with 'range' (start, end), 'preview', 'target' (bytes) and 'json' where chosen."""
    options, promise = [], {}
    roll = rng.random()
    if roll < 0.25:
        start = rng.choice([0.3, 0.5, 1.0, 1.7])
        end = start + rng.choice([0.5, 1.0, 3.0])
        options += ["--start", str(start), "--end", str(end)]
        promise["range"] = (start, end)
    elif roll < 0.35:
        at = rng.choice([0.2, 1.0, 1.5])
        options += ["--preview", str(at)]
        promise["preview"] = at
    elif roll < 0.45 and profile != "66":
        size = rng.choice(["300K", "1M", "900G"])
        options += ["--target-size", size]
        promise["target"] = int(float(size[:-1]) * {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}[size[-1]])
    elif roll < 0.55:
        options += ["--burn-subtitle", "1"]
    elif roll < 0.65:
        options += ["--audio-tracks", rng.choice(["1", "2,1", "none", "all", "2"])]
    if rng.random() < 0.3:
        options.append("--json")
        promise["json"] = True
    return options, promise


def json_faults(stdout):
    """What is wrong with the standard output of a --json run: a line that is no object, or a
    summary that is missing or not last. Empty when every line is an object and the summary ends it."""
    events = []
    for line in stdout.splitlines():
        try:
            value = json.loads(line)
        except ValueError:
            return f"not JSON: {line[:120]!r}"
        if not isinstance(value, dict):
            return f"not an object: {line[:120]!r}"
        events.append(value.get("event"))
    if not events or events[-1] != "summary":
        return f"the summary is not last: {events[-3:]}"
    return ""


def json_outcome(stdout):
    """The outcome of the first end event of a --json run (done, partial, failed, stopped), or ''."""
    for line in stdout.splitlines():
        try:
            value = json.loads(line)
        except ValueError:
            continue
        if isinstance(value, dict) and value.get("event") == "end":
            return value.get("outcome", "")
    return ""


def has_video(path):
    """Whether ffprobe sees a video stream in path that is not a cover (an attached picture)."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-select_streams", "v", "-show_entries",
                            "stream=index:stream_disposition=attached_pic", "-of", "csv=p=0", path],
                           capture_output=True, text=True, timeout=120)
    return any(line.split(",")[1:2] == ["0"] for line in probe.stdout.splitlines())


def has_pictures(path):
    """Whether path has a video stream, not a cover, from which ffprobe reads a picture."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-select_streams", "v", "-count_packets", "-show_entries",
                            "stream=nb_read_packets:stream_disposition=attached_pic", "-of", "csv=p=0", path],
                           capture_output=True, text=True, timeout=120)
    for line in probe.stdout.splitlines():
        fields = line.strip().split(",")
        if len(fields) >= 2 and fields[0].isdigit() and int(fields[0]) > 0 and fields[1] == "0":
            return True
    return False


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


def repeated_times(path):
    """Whether a picture or sound stream of path has a decode time that does not rise strictly, or
    a presentation time it already had."""
    streams = subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "stream=index,codec_type",
                              "-of", "csv=p=0", path], capture_output=True, text=True, timeout=120)
    timed = {line.split(",")[0] for line in streams.stdout.splitlines()
             if line.split(",")[1:2] in (["video"], ["audio"])}
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "packet=stream_index,pts,dts",
                            "-of", "csv=p=0", path], capture_output=True, text=True, timeout=300)
    last, seen = {}, {}
    for line in probe.stdout.splitlines():
        fields = line.split(",")
        if len(fields) < 3 or fields[0] not in timed:
            continue
        stream, pts, dts = fields[0], fields[1], fields[2]
        if dts not in ("", "N/A"):
            if stream in last and int(dts) <= last[stream]:
                return True
            last[stream] = int(dts)
        if pts not in ("", "N/A"):
            if pts in seen.setdefault(stream, set()):
                return True
            seen[stream].add(pts)
    return False


def count_frames(path, kind):
    """The frames ffprobe decodes of the streams of one kind ('a' or 'v') of path."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-select_streams", kind, "-count_frames", "-show_entries",
                            "stream=nb_read_frames", "-of", "csv=p=0", path], capture_output=True, text=True,
                           timeout=120)
    return sum(int(c.strip().rstrip(",")) for c in probe.stdout.splitlines() if c.strip().rstrip(",").isdigit())


def container_length(path):
    """The length the container of path states, in seconds (0 when it states none)."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                           capture_output=True, text=True, timeout=120)
    try:
        return float(probe.stdout.strip())
    except ValueError:
        return 0.0


def picture_size(path):
    """(width, height) of the first picture stream of path, or None."""
    probe = subprocess.run(["ffprobe", "-v", "quiet", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height", "-of", "csv=p=0", path], capture_output=True, text=True,
                           timeout=120)
    try:
        width, height = probe.stdout.strip().split(",")[:2]
        return int(width), int(height)
    except ValueError:
        return None


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


def judge(status, text, stdout, out, mutant, profile, sound_only, modern, option, promise):
    """The outcome of one conversion, and what was wrong when it is a finding."""
    # The converter's own journal of what it left incomplete is not an output.
    written = [os.path.join(out, f) for f in os.listdir(out) if f != ".korvane-journal"]
    sanitizer = "ERROR: AddressSanitizer" in text or "runtime error:" in text or "LeakSanitizer" in text
    if promise.get("json"):
        fault = json_faults(stdout)
        if fault and status is not None and not sanitizer:
            return "json-bad", fault
        said = json_outcome(stdout)
        text = text + "".join(f"\n{said}  {json.loads(line).get('reason', '')}" for line in stdout.splitlines()
                              if said and '"event":"end"' in line)
    if status is None:
        return "hang", ""
    if sanitizer or status not in (0, 1, 2):
        return "crash", ""
    if status == 2:
        # A usage error: fine for a choice the file cannot take, as long as nothing was written.
        return ("refused", "") if not written and (option or promise or modern) else ("failed-left", "usage")
    if status == 1 and not ("\npartial  " in "\n" + text or "\npartial" in text):
        return ("failed-left", "") if written else ("failed", "")
    if len(written) != 1:
        return "done-bad", f"{len(written)} files written"
    output = written[0]
    if "preview" in promise:
        size = picture_size(output)
        if not decodes(output) or size is None:
            return "done-bad", "the preview does not decode"
        if "covered" in mutant and size == (64, 64):
            return "done-bad", "the preview is the cover"
        return ("done", "") if status == 0 else ("done-bad", "a preview said partial")
    if not decodes(output):
        return "done-bad", "the output does not decode"
    if profile not in sound_only and has_video(mutant) and not has_pictures(output):
        return "done-bad", "no pictures"
    if profile in sound_only and count_frames(output, "a") == 0:
        return "done-bad", "a sound output without sound"
    if times_run_backwards(output) or repeated_times(output):
        return "done-bad", "times run backwards or repeat"
    if "target" in promise and os.path.getsize(output) > promise["target"]:
        return "done-bad", f"{os.path.getsize(output)} bytes over the target {promise['target']}"
    start, end = promise.get("range", (0.0, None))
    # A copy begins at the key frame before the start, and says so.
    copied_from_key_frame = "a copy can only begin on a key frame" in text
    if end is not None and not copied_from_key_frame and container_length(output) > end - start + 0.5:
        return "done-bad", f"the container says {container_length(output):.2f} s for a {end - start:.2f} s range"
    if status == 1:
        # An honest partial is short of what the source declares.
        said = re.search(r"only ([0-9.]+) s of ([0-9.]+) s", text)
        if said:
            declared = float(said.group(2))
            if readable_length(output) >= declared - max(1.0, declared / 20):
                return "done-bad", f"partial, but {readable_length(output):.2f} s of {declared} s are there"
        return "partial", ""
    if modern and not option:
        # Shorter than the source reads, beyond the tolerance of an honest ending.
        readable = readable_length(mutant)
        if end is not None:
            readable = max(0.0, min(readable, end) - start)
        had = readable_length(output)
        if readable - had > max(1.0, readable / 20):
            return "done-bad", f"{had:.2f} s of a readable {readable:.2f} s"
    return "done", ""


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
    inputs = {"chapters": os.path.join(work, "chapters.txt"), "subtitles": os.path.join(work, "subtitles.srt")}
    for key, text in (("chapters", CHAPTERS), ("subtitles", SUBTITLES)):
        with open(inputs[key], "w") as f:
            f.write(text)
    clips = []
    for name, make in clip_list:
        if args.clips not in name:
            continue
        path = os.path.join(work, name)
        arguments = [word.format(**inputs) for word in make.split()]
        if subprocess.run(["ffmpeg", "-v", "error", "-y"] + arguments + [path], timeout=120).returncode == 0:
            clips.append(path)
        else:
            print(f"could not make {name}", file=sys.stderr)
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
        option, promise = "", {}
        if rng.random() < 0.15:
            option = rng.choice(ODD_OPTIONS)
            command += ["--option", option]
        if modern:
            chosen, promise = modern_choices(rng, profile)
            command += chosen
        command.append(mutant)
        status, text, stdout = convert(command, args.timeout, env)
        flake, first = False, text
        if "Tracer caught signal" in text and "ERROR: AddressSanitizer" not in text and "runtime error:" not in text:
            shutil.rmtree(out, ignore_errors=True)
            os.mkdir(out)
            status, text, stdout = convert(command, args.timeout, dict(env, ASAN_OPTIONS="detect_leaks=0"))
            flake = True
        outcome, why = judge(status, text, stdout, out, mutant, profile, sound_only, modern, option, promise)
        if why:
            first = why + "\n" + first
        if flake and outcome in ("done", "partial", "failed", "refused"):
            outcome = "lsan-flake"
        outcomes[outcome] = outcomes.get(outcome, 0) + 1
        for reason in failure_texts(text, mutant, out):
            reasons[reason] = reasons.get(reason, 0) + 1
        if outcome not in ("done", "partial", "failed", "refused"):
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
    for outcome in ("done", "partial", "done-bad", "failed", "refused", "failed-left", "json-bad", "crash", "hang",
                    "lsan-flake"):
        print(f"  {outcome:12s} {outcomes.get(outcome, 0)}")
    for outcome, kept, damage, options, text in findings:
        print(f"\n{outcome}: {kept} ({damage}; {options})\n{text}")
    return 1 if any(outcome != "lsan-flake" for outcome, *_ in findings) else 0


if __name__ == "__main__":
    sys.exit(main())
