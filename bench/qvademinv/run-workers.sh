#!/usr/bin/env bash
# Parallel warehouse queries: whole inventories through the inventory host
# over the sample warehouse (4 query keys) with every query made slow by the
# stand-in's latency, beside the floor (the same query processes started one
# after the other). Times the engine with [Inventory] QueryWorkers absent
# (one query at a time) and set to each value asked for, prints each time
# and its ratio to the floor with the goals, checks that each run delivers
# the same files as the run without the setting, and compares the host's
# peak memory at two sizes with the most workers.
#
#   bench/qvademinv/run-workers.sh [--build DIR] [--nodes N] [--large N] [--delay-ms MS] [--workers "2 4 8"] [--keep]
#
#   --build DIR     build folder (default build/native-release; its targets are brought up to date)
#   --nodes N       nodes of the timed runs (default 1000)
#   --large N       nodes of the second memory run (default 4 x --nodes)
#   --delay-ms MS   latency of every warehouse query (default 50)
#   --workers LIST  QueryWorkers values timed besides the run without it (default "2 4 8";
#                   1 sets the key explicitly); the memory runs use the largest
#   --keep          keep the work folder (under ${TMPDIR:-/tmp})
#
# BENCH_BUILD, BENCH_NODES, BENCH_LARGE, BENCH_DELAY_MS, BENCH_WORKERS and
# BENCH_KEEP=1 set the same from the environment. A quick check takes under a
# minute: run-workers.sh --nodes 100 --large 200 --delay-ms 10
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

build=${BENCH_BUILD:-$root/build/native-release}
nodes=${BENCH_NODES:-1000}
large=${BENCH_LARGE:-}
delay=${BENCH_DELAY_MS:-50}
workers=${BENCH_WORKERS:-2 4 8}
keep=${BENCH_KEEP:-0}
usage() { sed -n '/run-workers.sh \[/,/--keep  /s/^#//p' "$0" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --build | --nodes | --large | --delay-ms | --workers) [ $# -ge 2 ] || usage ;;
  esac
  case $1 in
    --build) build=$2; shift ;;
    --nodes) nodes=$2; shift ;;
    --large) large=$2; shift ;;
    --delay-ms) delay=$2; shift ;;
    --workers) workers=$2; shift ;;
    --keep) keep=1 ;;
    *) usage ;;
  esac
  shift
done
large=${large:-$((4 * nodes))}
for v in "$nodes" "$large" "$delay" $workers; do
  [[ $v =~ ^[0-9]+$ ]] || { echo "run-workers: not a number: $v" >&2; exit 2; }
done
for w in $workers; do
  [ "$w" -ge 1 ] || { echo "run-workers: QueryWorkers values start at 1" >&2; exit 2; }
done
[ -n "$workers" ] || usage

# The floor program is whatever this folder's CMakeLists builds from inv_floor.cpp.
floor_target=$(sed -nE 's/^add_executable\(([A-Za-z0-9_]+) +inv_floor\.cpp.*/\1/p' "$here/CMakeLists.txt")
floor_target=${floor_target:-inv2_floor}
targets=(qvademinv qvadinv qvadinvhost ovdwquery fxsend zltgate "$floor_target")
if [ ! -e "$build/CMakeCache.txt" ]; then
  [ "$build" = "$root/build/native-release" ] || { echo "run-workers: $build is no configured build folder" >&2; exit 2; }
  (cd "$root" && cmake --preset native-release >/dev/null)
fi
build=$(cd "$build" && pwd)
# An out-of-date engine would be measured silently: bring the targets up to date.
if ! log=$(cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" 2>&1); then
  echo "$log" | tail -20 >&2
  exit 1
fi
bin=$build/bin
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")

work=$(mktemp -d "${TMPDIR:-/tmp}/qvad-inv-workers.XXXXXX")
if [ "$keep" = 1 ]; then
  trap 'echo "work folder kept: $work"' EXIT
else
  trap 'rm -rf "$work"' EXIT
fi
# Every query the floor and the engine start waits this long; nothing is canned.
export OVDWQUERY_DELAY_MS=$delay
unset OVDWQUERY_CANNED

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start"
echo "build: $build (${build_type:-unknown type})"
echo "runs: $nodes nodes x 4 query keys, ${delay} ms per query; QueryWorkers absent, then: $workers; memory at $nodes and $large nodes"
echo

field() { sed -nE "s/.*[ :]$1=([0-9.]+).*/\1/p" <<<"$2"; }
ms_to_s() { awk -v m="$1" 'BEGIN {printf "%.1f s", m / 1000}'; }

# The warehouse of a size, made once: this computer first, then the sample nodes.
warehouse() {
  local db=$work/warehouse-$1.db
  [ -e "$db" ] || python3 "$root/samples/make_warehouse.py" "$db" --nodes "$1" --own "$(hostname)" >&2
  echo "$db"
}

# One whole inventory in $work/<name> with QueryWorkers=<workers> ("" leaves
# the sample settings as they are). Sets: summary.
engine() {
  local name=$1 n=$2 w=$3 dir=$work/$1 out status=0
  mkdir -p "$dir/settings"
  cp "$(warehouse "$n")" "$dir/warehouse.db"
  local etc=""
  if [ -n "$w" ]; then
    awk -v w="$w" '{print} /^\[Inventory\][ \t\r]*$/ {print "QueryWorkers=" w; put = 1}
                   END {if (!put) {print "[Inventory]"; print "QueryWorkers=" w}}' \
      "$root/samples/RazSetting.ini" >"$dir/settings/RazSetting.ini"
    etc=$dir/settings
  fi
  out=$(DEMO_ETC=$etc "$root/samples/demo-inventory.sh" "$build" "$dir" "$n" --quiet 2>&1) || status=$?
  summary=$(grep '^summary:' <<<"$out" || true)
  if [ "$status" != 0 ] || [ -z "$summary" ] || [ "$(field failed "$summary")" != 0 ]; then
    echo "run-workers: the run $name failed (status $status):" >&2
    tail -20 <<<"$out" >&2
    exit 1
  fi
}

# Checksums of a run's delivered files (each node's result file and the
# repository file), with what differs between two good runs made neutral:
# the time stamps of TIMEGET and the run's own folder in FNAME.
digest() {
  python3 - "$work/$1" <<'PY'
import hashlib, os, re, sys
run = sys.argv[1]
stamp = re.compile(rb"[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}")
for sub in ("results", "fxsend"):
    folder = os.path.join(run, sub)
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".csv"):
            continue
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        data = stamp.sub(b"<time>", data.replace(run.encode() + b"/", b"<run>/"))
        print(hashlib.sha256(data).hexdigest(), sub + "/" + name)
PY
}

# The engine starts as many query processes as the floor. With at most N at
# a time, each waiting the latency, no run can be quicker than this.
check_latency() {
  local what=$1 ms=$2 procs=$3 w=$4
  awk -v ms="$ms" -v p="$procs" -v d="$delay" -v w="$w" 'BEGIN {exit !(ms < 0.95 * p * d / w)}' || return 0
  echo "  WARNING: $what took less than $procs queries x ${delay} ms / $w allow: the latency did not reach" \
    "ovdwquery, or more than $w queries ran at once"
  warnings=$((warnings + 1))
}

warnings=0
printf '%-34s %10s %9s  %-16s %s\n' "run ($nodes nodes)" "wall time" "/ floor" "goal" "files vs. no setting"

# The floor: its own installation with the sample definitions, nothing else.
mkdir -p "$work/floor/adapter/etc"
cp "$root/samples/RazInv.ini" "$work/floor/adapter/etc/"
db=$(warehouse "$nodes")
if ! f=$(LD_LIBRARY_PATH=$bin OVDWQUERY_DB=$db "$bin/$floor_target" "$work/floor/adapter" 2>&1); then
  echo "run-workers: the floor failed: $f" >&2
  exit 1
fi
floor_ms=$(field total_ms "$f")
floor_nodes=$(field nodes "$f")
procs=$(field processes "$f")
printf '%-34s %10s %9s\n' "floor ($procs query processes)" "$(ms_to_s "$floor_ms")" "1.000"
echo "  (their latency alone, one after another: $(ms_to_s $((procs * delay))))"
check_latency "the floor" "$floor_ms" "$procs" 1
per_node=$(((procs - 1) / floor_nodes))

declare -A goal=([4]=0.30 [8]=0.20) peaks=()
verdicts=()
# One engine run at the timed size: its line, its goal, its files against the first run's.
timed() {
  local label=$1 w=$2 name=${2:+w$2}
  name=${name:-absent}
  engine "$name" "$nodes" "$w"
  local ms peak got ratio g="" files=""
  ms=$(field total_ms "$summary")
  peak=$(field peak_kb "$summary")
  got=$(field nodes "$summary")
  peaks[$name]=$peak
  ratio=$(awk -v e="$ms" -v f="$floor_ms" 'BEGIN {printf "%.3f", e / f}')
  if [ -n "$w" ] && [ -n "${goal[$w]:-}" ]; then
    if awk -v r="$ratio" -v g="${goal[$w]}" 'BEGIN {exit !(r <= g)}'; then g="<= ${goal[$w]} PASS"; else g="<= ${goal[$w]} MISS"; fi
    verdicts+=("QueryWorkers=$w $ratio $g")
  fi
  digest "$name" >"$work/$name.sums"
  if [ "$name" = absent ]; then
    files="(reference, $(wc -l <"$work/absent.sums") files)"
  elif [ "$(wc -l <"$work/$name.sums")" -ne $((got + 1)) ]; then
    files="DIFFER ($(wc -l <"$work/$name.sums") files for $got nodes)"
  elif cmp -s "$work/absent.sums" "$work/$name.sums"; then
    files="MATCH"
  else
    local bad
    bad=$(diff "$work/absent.sums" "$work/$name.sums" | grep -c '^>' || true)
    files="DIFFER ($bad files, first: $(diff "$work/absent.sums" "$work/$name.sums" | sed -n 's/^> [0-9a-f]* //p' | head -1))"
  fi
  printf '%-34s %10s %9s  %-16s %s\n' "$label" "$(ms_to_s "$ms")" "$ratio" "$g" "$files"
  [ "$got" = "$floor_nodes" ] || {
    echo "  WARNING: the engine collected $got nodes, the floor queried $floor_nodes"
    warnings=$((warnings + 1))
  }
  check_latency "this run" "$ms" "$procs" "${w:-1}"
}

timed "engine, QueryWorkers absent" ""
[ "$(wc -l <"$work/absent.sums")" -eq $((floor_nodes + 1)) ] || {
  echo "  WARNING: the reference run kept $(wc -l <"$work/absent.sums") files for $floor_nodes nodes"
  warnings=$((warnings + 1))
}
most=0
for w in $workers; do
  [ ! -d "$work/w$w" ] || continue
  timed "engine, QueryWorkers=$w" "$w"
  [ "$w" -le "$most" ] || most=$w
done

# Peak memory with the most workers: the timed run's and one at the large size.
engine "mem" "$large" "$most"
big_peak=$(field peak_kb "$summary")
small_peak=${peaks[w$most]}
big_nodes=$(field nodes "$summary")
check_latency "the $large-node run" "$(field total_ms "$summary")" $((1 + big_nodes * per_node)) "$most"
echo
awk -v a="$small_peak" -v b="$big_peak" -v s="$nodes" -v l="$large" -v w="$most" 'BEGIN {
  d = b - a
  flat = (d <= 0.10 * a || d <= 512) ? "FLAT" : "NOT FLAT"
  printf "host peak memory, QueryWorkers=%d: %d kB at %d nodes, %d kB at %d nodes: %+d kB (%+.1f %%, %.0f bytes per added node): %s (within 10 %% or 512 kB)\n",
    w, a, s, b, l, d, 100 * d / a, (l > s ? d * 1024 / (l - s) : 0), flat
}'
[ ${#verdicts[@]} -eq 0 ] || echo "goals: $(printf '%s; ' "${verdicts[@]}" | sed 's/; $//')"
[ "$warnings" -eq 0 ] || echo "$warnings warning(s) above: the figures are not to be trusted"
