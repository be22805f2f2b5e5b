#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and makes the Debian package
# build/korvane_VERSION_ARCH.deb (install it with apt install ./build/korvane_*.deb).
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
cd build
cpack -G DEB
ls "$PWD"/korvane_*.deb
