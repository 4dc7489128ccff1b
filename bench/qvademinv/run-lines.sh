#!/usr/bin/env bash
# Cost of one node's result size: a whole run over a warehouse of one node
# with 1,000 to 20,000 interfaces (one repository row each), beside its
# floor (the same warehouse queries started directly) in the same run. The
# engine's own cost per interface row should stay flat as the node grows.
#
#   bench/qvademinv/run-lines.sh [build folder, default build/native-release] [sizes...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/native-release}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 2500 5000 10000 20000)
if [ ! -x "$build/bin/qvadinvhost" ]; then
  cmake --preset native-release >/dev/null
  cmake --build --preset native-release --target qvademinv qvadinv qvadinvhost ovdwquery fxsend zltgate inv2_floor >/dev/null
  build=$root/build/native-release
fi
first=""
for n in "${sizes[@]}"; do
  work=${TMPDIR:-/tmp}/qvad-inv-lines-$n
  rm -rf "$work"
  mkdir -p "$work"
  python3 "$root/samples/make_warehouse.py" "$work/warehouse.db" --nodes 1 --interfaces "$n"
  out=$("$root/samples/demo-inventory.sh" "$build" "$work" 1 --quiet | grep '^summary:')
  f=$(LD_LIBRARY_PATH=$build/bin OVDWQUERY_DB=$work/warehouse.db "$build/bin/inv2_floor" "$work/adapter")
  e_ms=$(sed -E 's/.*total_ms=([0-9]+).*/\1/' <<<"$out")
  f_ms=$(sed -E 's/.*total_ms=([0-9]+).*/\1/' <<<"$f")
  own=$(awk -v e="$e_ms" -v f="$f_ms" -v n="$n" 'BEGIN {printf "%.1f", (e - f) * 1000 / n}')
  [ -n "$first" ] || first=$own
  echo "$n interfaces: engine total_ms=$e_ms, floor total_ms=$f_ms, engine's own cost ${own} us per row"
  rm -rf "$work"
done
echo "per-row cost at the largest size / at the smallest: $(awk -v a="$first" -v b="$own" 'BEGIN {printf "%.2f", (a > 0 ? b / a : 0)}') (linear: about 1)"
