#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when an executable in the given folder, or a given library, lists a
# media library (libav*, libsw*) or the utility library as NEEDED.
status=0
folder=$1
shift
checked=0
for file in "$folder"/* "$@"; do
  [ -f "$file" ] || continue
  [ -L "$file" ] && continue
  readelf -h "$file" >/dev/null 2>&1 || continue
  checked=$((checked + 1))
  needed=$(readelf -d "$file" | grep NEEDED | grep -E 'lib(av|sw|myutil)')
  if [ -n "$needed" ]; then
    echo "$file links at build time:"
    echo "$needed"
    status=1
  fi
done
if [ "$checked" -lt 2 ]; then
  echo "nothing to check in $folder"
  exit 1
fi
echo "$checked files checked"
exit $status
