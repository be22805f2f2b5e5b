#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Whether two builds of korvane-convert write the same outputs. The same
# clips (made here with the ffmpeg program: a film with a subtitle track, a
# 5.1 recording, a film whose sound starts late) go through every profile
# with three option sets, and each output is compared stream by stream by
# the hashes of its packets (ffmpeg's streamhash of a copy of every stream).
# A reshaping of the engine that changes no behaviour changes no hash.
#
#   bench/same_outputs.sh OLD_PROGRAM NEW_PROGRAM [WORK_FOLDER [SETS]]
#
# SETS names the option sets to run (default "a b c"). Each program is run
# from where it is, so it finds its own "Common Files" and plug-ins. Prints
# a line for every output or exit status that differs, then the counts;
# exits 1 when anything differs. The work folder keeps the outputs, and
# each run's log under logs/.
set -eu
if [ $# -lt 2 ]; then
  echo "usage: $0 OLD_PROGRAM NEW_PROGRAM [WORK_FOLDER [SETS]]" >&2
  exit 2
fi
OLD=$1
NEW=$2
WORK=${3:-$(mktemp -d)}
SETS=${4:-a b c}
CLIPS="$WORK/clips"
mkdir -p "$CLIPS"

# The option sets: the profiles' defaults; the volume, the channels and a
# time range changed; a plug-in, every subtitle track, keeping the sound in
# step with the clock and deinterlacing.
SET_a=""
SET_b="--volume 7 --channels Mono --start 0.4 --end 2.2"
SET_c="--hook hook_grey.so --subtitles all --option async=1 --option deinterlace=1"

make_clips() {
  ff="ffmpeg -nostdin -v error -y"
  printf '1\n00:00:00,300 --> 00:00:01,200\nOne\n\n2\n00:00:01,500 --> 00:00:02,400\nTwo\n' >"$CLIPS/film.srt"
  $ff -f lavfi -i testsrc2=size=320x240:rate=25:duration=3 \
    -f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 -i "$CLIPS/film.srt" \
    -map 0 -map 1 -map 2 -c:v libx264 -preset veryfast -c:a aac -ac 2 -c:s srt \
    -metadata title=Film "$CLIPS/film.mkv"
  $ff -f lavfi \
    -i "aevalsrc=0.3*sin(2*PI*440*t)|0.3*sin(2*PI*550*t)|0.2*sin(2*PI*660*t)|0|0.1*sin(2*PI*330*t)|0.1*sin(2*PI*770*t):c=5.1:s=48000:d=2" \
    -c:a pcm_s16le "$CLIPS/surround.wav"
  $ff -f lavfi -i testsrc=size=352x288:rate=30000/1001:duration=3 \
    -itsoffset 0.4 -f lavfi -i sine=frequency=300:sample_rate=44100:duration=2.5 \
    -map 0 -map 1 -c:v mpeg4 -q:v 4 -c:a libmp3lame "$CLIPS/late.avi"
}
[ -f "$CLIPS/late.avi" ] || make_clips

# Every profile row (the separator rows are not profiles).
ROWS=$("$NEW" --list-profiles | awk -F '\t' '$2 !~ /^ *-+ *$/ { print $1 }')

convert_all() { # SIDE PROGRAM SET
  for row in $ROWS; do
    out="$WORK/$1/$3/$row"
    logs="$WORK/logs/$1/$3"
    mkdir -p "$out" "$logs"
    eval "options=\$SET_$3"
    status=0
    # shellcheck disable=SC2086
    "$2" -p "$row" -o "$out" --overwrite $options \
      "$CLIPS/film.mkv" "$CLIPS/surround.wav" "$CLIPS/late.avi" >"$logs/$row.log" 2>&1 || status=$?
    echo "$status" >"$logs/$row.status"
  done
}

hashes() {
  ffmpeg -nostdin -v error -i "$1" -map 0 -c copy -f streamhash - 2>&1
}

for set in $SETS; do
  convert_all old "$OLD" "$set"
  convert_all new "$NEW" "$set"
done

same=0
differ=0
for set in $SETS; do
  for row in $ROWS; do
    a=$(cat "$WORK/logs/old/$set/$row.status")
    b=$(cat "$WORK/logs/new/$set/$row.status")
    if [ "$a" != "$b" ]; then
      echo "set $set, profile $row: exit status $a before, $b now"
      differ=$((differ + 1))
    fi
  done
  files=$( (cd "$WORK/old/$set" && find . -type f ! -name '.*') ; (cd "$WORK/new/$set" && find . -type f ! -name '.*'))
  for file in $(printf '%s\n' "$files" | sort -u); do
    old="$WORK/old/$set/$file"
    new="$WORK/new/$set/$file"
    if [ ! -f "$old" ] || [ ! -f "$new" ]; then
      echo "set $set: $file is written by one program only"
      differ=$((differ + 1))
    elif [ "$(hashes "$old")" = "$(hashes "$new")" ]; then
      same=$((same + 1))
    else
      echo "set $set: $file differs:"
      hashes "$old" | sed 's/^/  before /'
      hashes "$new" | sed 's/^/  now    /'
      differ=$((differ + 1))
    fi
  done
done
echo "profiles: $(echo "$ROWS" | wc -w), option sets: $SETS"
echo "outputs identical stream by stream: $same; differences: $differ"
[ "$differ" -eq 0 ]
