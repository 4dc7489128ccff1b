#!/usr/bin/env bash
# Checks on the 32-bit shipping build, which cannot run on this machine:
# every binary is a 32-bit PE, needs no runtime DLL beyond the system's, and
# the libraries export their entry points by name at their ordinals.
set -euo pipefail
build=${1:-build/mingw-x86}
bin=$build/bin
objdump=i686-w64-mingw32-objdump
fail=0
pass=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then pass=$((pass + 1)); else echo "FAIL: $what"; fail=$((fail + 1)); fi
}
is_pe32() { file -b "$1" | grep -q 'PE32 executable' && ! file -b "$1" | grep -q 'PE32+'; }
no_runtime_dlls() { ! $objdump -p "$1" | grep -iE 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)' >/dev/null; }
# export NAME at ORDINAL in the export table of FILE
exports_at() {
  local file=$1 name=$2 ordinal=$3
  # The name table lists unbiased indexes; the ordinal is index + base.
  $objdump -p "$file" | awk -v n="$name" -v o="$ordinal" '
    /Ordinal Base/ {base=$NF}
    /\[Ordinal\/Name Pointer\] Table/ {t=1; next}
    t && /^[ \t]*\[/ { line=$0; sub(/^[ \t]*\[[ \t]*/, "", line); split(line, f, /\][ \t]*/); if (f[1] + base == o && f[2] == n) found=1 }
    t && /^$/ {t=0}
    END {exit found ? 0 : 1}'
}

for f in "$bin"/*.exe "$bin"/*.dll; do
  [ -e "$f" ] || continue
  check "$f is a 32-bit PE" is_pe32 "$f"
  check "$f carries its runtimes" no_runtime_dlls "$f"
done

i=1
for n in ZltOpenTracer ZltTrace ZltTraceCheck ZltCloseTracer ZltSnap ZltDump ZltSetMemoryDump ZltRelMemoryDump; do
  check "zltgate.dll exports $n at $i" exports_at "$bin/zltgate.dll" "$n" "$i"
  i=$((i + 1))
done
# Further checks of later deliverables live beside this script.
for extra in scripts/check-i686.d/*.sh; do
  [ -e "$extra" ] || continue
  # shellcheck source=/dev/null
  . "$extra"
done
# Record sizes are checked by static_assert at compile time; the build above
# would have failed on a wrong size.
echo "i686: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
