#!/usr/bin/env bash
# Every test of the adapter: the native sanitizer build and its tests, the
# native release build with its packages (install tree, Debian package), the
# x86_64 Win32 build and its tests under Wine (with its ZIP), the i686 build,
# its checks and its tests under Wine (with its ZIP) where the machine runs
# 32-bit programs, and the fuzz targets for a bounded time. Stage times are
# printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
declare -a times=()
stage() {
  local name=$1; shift
  local t0=$SECONDS
  echo "=== $name"
  "$@"
  times+=("$name: $((SECONDS - t0)) s")
}

native() {
  cmake --preset native-debug >/dev/null
  cmake --build --preset native-debug -j"$jobs"
  ctest --preset native-debug -j"$jobs"
}

packages() {
  cmake --preset native-release >/dev/null
  cmake --build --preset native-release -j"$jobs"
  # Verbose, so that what the Debian package test checked, the lintian
  # warnings and a skipped install (not root, no dpkg) are seen.
  ctest --preset native-release -L package --verbose
}

wine_x64() {
  cmake --preset mingw-x64 >/dev/null
  cmake --build --preset mingw-x64 -j"$jobs"
  ctest --preset mingw-x64 -j"$jobs"
}

i686() {
  cmake --preset mingw-x86 >/dev/null
  cmake --build --preset mingw-x86 -j"$jobs"
  scripts/check-i686.sh build/mingw-x86
  local why
  if ! why=$(bash scripts/can-run-i386.sh); then
    echo "i686: tests not run under Wine: $why (build and checks only)"
  elif ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    echo "i686: tests not run under Wine: wine32 is not installed (scripts/setup.sh installs it)"
  else
    ctest --preset mingw-x86 -j"$jobs"
  fi
}

fuzz() {
  if [ -f fuzz/CMakeLists.txt ]; then
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j"$jobs" --target fuzzers
    scripts/run-fuzz.sh build/fuzz "${QVAD_FUZZ_SECONDS:-20}"
  fi
}

stage "native (asan+ubsan)" native
stage "native release, packages" packages
stage "win32 x86_64 under wine" wine_x64
stage "win32 i686 under wine" i686
stage "fuzz" fuzz
echo "=== stage times"
printf '  %s\n' "${times[@]}"
