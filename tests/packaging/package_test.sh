#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package made from an existing build: Debian's checkers accept
# it, it holds the installed layout, and the programs unpacked from it run.
# The command-line converter finds its "Common Files" and a plug-in among its
# own files, and the window started from the menu entry's Exec line comes up
# under Xvfb with the program's icon.
# Usage: package_test.sh BUILD_DIR. Exit status 77 (skipped) when a tool is
# missing.
set -eu
BUILD=$(cd "$1" && pwd)
ID=com.korvane.VideoConverter
for tool in cpack dpkg-deb desktop-file-validate appstreamcli lintian xvfb-run xprop xwininfo ffmpeg; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is missing"; exit 77; }
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
fail() { echo "FAIL: $*"; exit 1; }
# Runs a checker; any output, a warning too, fails.
quiet() {
  "$@" >out.txt 2>&1 || { cat out.txt; fail "$1"; }
  grep -Eq '^(E|W):|warning|error' out.txt && { cat out.txt; fail "$1 warns"; }
  return 0
}

# Package what is built, as it is (cpack installs a Ninja build without
# building it again).
cpack --config "$BUILD/CPackConfig.cmake" -G DEB -B "$WORK/out" >cpack.txt 2>&1 ||
  { cat cpack.txt; fail "cpack"; }
set -- out/korvane_*_*.deb
[ -f "$1" ] || fail "cpack made no korvane_VERSION_ARCH.deb"
DEB=$PWD/$1

# The installed layout: programs in bin, their own files in lib/korvane, the
# desktop's files and the manual pages in share.
dpkg-deb -c "$DEB" | sed -E 's/^([^ ]+ +){5}\.//; s/ -> .*//' >files.txt
for path in /usr/bin/korvane /usr/bin/korvane-convert /usr/lib/korvane/help.html \
  /usr/lib/korvane/hook_grey.so /usr/lib/korvane/hook_box.so "/usr/lib/korvane/Common Files/libmyutil.so" \
  "/usr/lib/korvane/Common Files/libavcodec.so" /usr/share/applications/$ID.desktop \
  /usr/share/metainfo/$ID.metainfo.xml /usr/share/icons/hicolor/scalable/apps/$ID.svg \
  /usr/share/icons/hicolor/16x16/apps/$ID.png /usr/share/icons/hicolor/256x256/apps/$ID.png \
  /usr/share/man/man1/korvane.1.gz /usr/share/man/man1/korvane-convert.1.gz \
  /usr/share/doc/korvane/copyright /usr/share/doc/korvane/changelog.gz; do
  grep -qxF "$path" files.txt || { cat files.txt; fail "the package lacks $path"; }
done

ROOT=$WORK/root
dpkg -x "$DEB" "$ROOT"
quiet desktop-file-validate "$ROOT/usr/share/applications/$ID.desktop"
quiet appstreamcli validate --no-net "$ROOT/usr/share/metainfo/$ID.metainfo.xml"
lintian "$DEB" >lintian.txt 2>&1 || { cat lintian.txt; fail "lintian"; }
grep '^W:' lintian.txt || true

# The links in "Common Files" are relative, to the system's library folder
# under /usr; that folder gets links to the system's media libraries in the
# unpacked tree too.
for link in "$ROOT/usr/lib/korvane/Common Files"/lib*; do
  [ -L "$link" ] && [ ! -e "$link" ] || continue
  target=$(cd "$(dirname "$link")" && realpath -m "$(readlink "$link")")
  mkdir -p "$(dirname "$target")"
  ln -sfn "${target#"$ROOT"}" "$target"
done

"$ROOT/usr/bin/korvane-convert" --list-profiles >profiles.txt || fail "korvane-convert --list-profiles"
grep -q 'MP4 - H.264 Video, AAC Audio' profiles.txt || { cat profiles.txt; fail "no profiles listed"; }
ffmpeg -v error -f lavfi -i testsrc=duration=1:size=160x120:rate=10 -c:v mpeg4 clip.avi
mkdir converted
"$ROOT/usr/bin/korvane-convert" -p 'MP4 - H.264 Video, AAC Audio (*.mp4)' -o converted --hook hook_grey.so clip.avi \
  >convert.txt 2>&1 || { cat convert.txt; fail "the unpacked korvane-convert did not convert with a plug-in"; }

# The window, started as the menu entry says, with the clip for its %F: its
# main window is mapped (not just made as the parent of a message) and
# carries the program's icon, in the sizes of its PNGs (a stock icon has 16
# and 32 only).
EXEC=$(sed -n 's/^Exec=//p' "$ROOT/usr/share/applications/$ID.desktop" | sed "s|%F|$WORK/clip.avi|")
mkdir -m 700 run
env -u QT_QPA_PLATFORM PATH="$ROOT/usr/bin:$PATH" XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/run" \
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    $1 >window.txt 2>&1 &
    pid=$!
    for i in $(seq 100); do
      id=$(xwininfo -root -tree | awk "/\"Korvane Video Converter\": \\(\"korvane\"/ { print \$1; exit }")
      if [ -n "$id" ] && xwininfo -id "$id" | grep -q IsViewable && xprop -id "$id" _NET_WM_ICON >icon.txt &&
        grep -q "Icon (48 x 48)" icon.txt && grep -q "Icon (128 x 128)" icon.txt; then
        echo up >up.txt
        break
      fi
      sleep 0.1
    done
    xwininfo -root -tree >windows.txt
    kill -TERM $pid 2>/dev/null || echo "the window ended by itself" >>window.txt
    wait $pid || true' sh "$EXEC"
[ -f up.txt ] || { cat window.txt windows.txt; fail "the window did not come up with the program's icon"; }
grep -q "ended by itself" window.txt && { cat window.txt; fail "the window did not stay up"; }
echo "package $(basename "$DEB") checked"
