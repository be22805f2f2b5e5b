#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages the build, the program and the tests need,
# when any of them is missing. Run as root.
set -e
PACKAGES="build-essential cmake ninja-build pkg-config
  libavcodec-extra libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  libswresample-dev libavfilter-dev
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
  libgtest-dev libgmock-dev
  ffmpeg xvfb xauth x11-utils qt6-gtk-platformtheme
  librsvg2-bin desktop-file-utils appstream lintian
  parallel python3 clang-format"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  # shellcheck disable=SC2086
  apt-get install -y --no-install-recommends $missing
fi
