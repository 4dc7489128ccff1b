#!/usr/bin/env bash
# Runs a Win32 program under 64-bit Wine with a prefix of its own inside the
# build tree. The prefix is made once per build tree; a lock keeps parallel
# test runs from initialising it twice.
set -e
here=$(pwd)
build=${QVAD_WINE_BUILD_DIR:-}
if [ -z "$build" ]; then
  d=$here
  while [ "$d" != "/" ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  build=$d
fi
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/.qvad-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.qvad-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
      touch "$WINEPREFIX/.qvad-ready"
    fi
  ) 9>"$build/.wineprefix.lock"
fi
exec wine "$@"
