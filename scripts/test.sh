#!/usr/bin/env bash
# Every test of the adapter: the native sanitizer build and its tests, the
# x86_64 Win32 build and its tests under Wine, the i686 build and its checks,
# and the fuzz targets for a bounded time. Stage times are printed at the end.
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

wine_x64() {
  cmake --preset mingw-x64 >/dev/null
  cmake --build --preset mingw-x64 -j"$jobs"
  ctest --preset mingw-x64 -j"$jobs"
}

i686() {
  cmake --preset mingw-x86 >/dev/null
  cmake --build --preset mingw-x86 -j"$jobs"
  scripts/check-i686.sh build/mingw-x86
}

fuzz() {
  if [ -f fuzz/CMakeLists.txt ]; then
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j"$jobs" --target fuzzers
    scripts/run-fuzz.sh build/fuzz "${QVAD_FUZZ_SECONDS:-20}"
  fi
}

stage "native (asan+ubsan)" native
stage "win32 x86_64 under wine" wine_x64
stage "win32 i686 checks" i686
stage "fuzz" fuzz
echo "=== stage times"
printf '  %s\n' "${times[@]}"
