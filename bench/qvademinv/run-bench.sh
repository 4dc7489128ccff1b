#!/usr/bin/env bash
# Inventory benchmark: whole runs through the inventory host over the sample
# warehouse (4 query keys) at two sizes, each followed by its floor (the same
# warehouse queries started directly). Prints the figures and the ratios.
#
#   bench/qvademinv/run-bench.sh [build folder, default build/native-release] [small, default 1000] [large, default 4000]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/native-release}
small=${2:-1000}
large=${3:-4000}
if [ ! -x "$build/bin/qvadinvhost" ]; then
  cmake --preset native-release >/dev/null
  cmake --build --preset native-release --target qvademinv qvadinv qvadinvhost ovdwquery fxsend zltgate inv2_floor >/dev/null
  build=$root/build/native-release
fi
declare -A total floor peak
for n in $small $large; do
  work=${TMPDIR:-/tmp}/qvad-inv-bench-$n
  rm -rf "$work"
  out=$("$root/samples/demo-inventory.sh" "$build" "$work" "$n" --quiet | grep '^summary:')
  f=$(LD_LIBRARY_PATH=$build/bin OVDWQUERY_DB=$work/warehouse.db "$build/bin/inv2_floor" "$work/adapter")
  echo "$n nodes: engine $out"
  echo "$n nodes: $f"
  total[$n]=$(sed -E 's/.*total_ms=([0-9]+).*/\1/' <<<"$out")
  peak[$n]=$(sed -E 's/.*peak_kb=([0-9]+).*/\1/' <<<"$out")
  floor[$n]=$(sed -E 's/.*total_ms=([0-9]+).*/\1/' <<<"$f")
  awk -v e="${total[$n]}" -v f="${floor[$n]}" -v n="$n" \
    'BEGIN {printf "%s nodes: engine/floor = %.3f (goal <= 1.10)\n", n, e / f}'
done
awk -v a="${total[$small]}" -v b="${total[$large]}" -v s="$small" -v l="$large" \
  'BEGIN {printf "scaling %s -> %s nodes: time ratio %.2f (goal <= %.1f)\n", s, l, b / a, 4.2 * l / s / 4}'
echo "peak memory of the host: ${peak[$small]} kB at $small nodes, ${peak[$large]} kB at $large nodes"
