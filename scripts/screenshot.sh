#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the README's pictures of the main window in a virtual X display
# (Xvfb): the real window with three clips made now, and a failed row's
# reason, and the preview of a row.
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" build/bin/window_screenshot docs/main-window.png \
  docs/failed-row.png docs/preview.png
echo "docs/main-window.png docs/failed-row.png docs/preview.png"
