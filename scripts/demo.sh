#!/usr/bin/env bash
# The adapter's main job on the built-in stand-ins and sample data, with the
# native release build:
#   1. installs the adapter into a scratch folder with cmake --install, the
#      stand-ins into another, and runs the setup tools (event source,
#      environment file, repository settings);
#   2. runs the event service: network-manager events reach the console
#      stand-in with their severities, then the service is stopped;
#   3. runs a whole inventory over the sample warehouse through the installed
#      front library and the inventory host stand-in, and delivers the
#      repository file.
#
#   scripts/demo.sh [work folder]        (default: $TMPDIR/qvad-demo)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup.sh --native
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j"$(nproc)" >/dev/null
work=${1:-${TMPDIR:-/tmp}/qvad-demo}
rm -rf "$work"
mkdir -p "$work"/{vrex/etc,trace,run}
# The adapter as it ships, and the stand-ins for the network manager and the
# console in a folder of their own, as the real products would be.
cmake --install build/native-release --component adapter --prefix "$work/adapter" >/dev/null
cmake --install build/native-release --component standins --prefix "$work/nnm" >/dev/null
export LD_LIBRARY_PATH=$work/nnm/bin
export QVAD_REGISTRY=$work/registry.reg QVAD_RUNDIR=$work/run ZLTGATE_DIR=$work/trace
export QVAD_EVENTLOG_FILE=$work/eventlog.txt QVCNSPUT_SPOOL=$work/console.txt
export OVDUMPEVENTS_SOURCE=$work/nnm-events.txt
cat > "$QVAD_REGISTRY" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Hewlett-Packard\\HP OpenView]
"InstallDir"="$work/nnm/"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion\\QvVrex]
"vrexroot"="$work/vrex"
REG

echo "== 1. install with the setup tools"
"$work/adapter/bin/qvadmsgdllreg" -p "$work/adapter" && echo "qvadmsgdllreg: event source QvAdnerl registered"
"$work/adapter/bin/qvademenv" -p "$work/adapter" && echo "qvademenv: $(tr '\n' '|' < "$work/vrex/etc/nerladapter.env")"
"$work/adapter/bin/qvadrepini" -p "$work/adapter" -i 127.0.0.1 -t 1 -s 1 && echo "qvadrepini: $(tr '\n' ' ' < "$work/adapter/etc/RepInfo.ini")"

echo "== 2. event forwarding"
echo "-- severities: $(grep -v '^;' "$work/adapter/etc/RazEvt.ini" | tr '\n' ' ')"
now=$(date +%s)
{
  printf '%s 0x1 router1.example.com\tStatus Link down on interface 3;Critical .1.3.6.1.4.1.11\n' "$now"
  printf '%s 0x1 10.0.0.7\tStatus Node up;Normal .1.3.6.1.4.1.11\n' "$now"
  printf '%s 0x1 switch2.example.com\tThreshold High CPU load;Major .1.3.6.1.4.1.11\n' "$((now + 1))"
  printf '%s 0x1 host_with_underscore\tStatus Not a valid host name;Normal .1\n' "$((now + 1))"
} > "$OVDUMPEVENTS_SOURCE"
"$work/adapter/bin/qvadovevt" &
svc=$!
for _ in $(seq 1 100); do
  [ -f "$QVCNSPUT_SPOOL" ] && [ "$(wc -l < "$QVCNSPUT_SPOOL")" -ge 3 ] && break
  sleep 0.1
done
printf '%s 0x1 router1.example.com\tStatus Link up on interface 3;Normal .1.3.6.1.4.1.11\n' "$((now + 2))" >> "$OVDUMPEVENTS_SOURCE"
sleep 1
kill -TERM "$svc"
wait "$svc" || true
echo "-- console received (cnsput3 calls):"
cat "$QVCNSPUT_SPOOL"
echo "-- event log:"
cat "$QVAD_EVENTLOG_FILE"
echo "-- state files: EvtKeep.txt=[$(cat "$work/adapter/etc/EvtKeep.txt")] EvtCount.txt=[$(cat "$work/adapter/etc/EvtCount.txt")] StopTime.txt=[$(cat "$work/adapter/etc/StopTime.txt")]"

echo "== 3. inventory over the sample warehouse, through the installed front library"
# The network manager's warehouse (this computer first, then the sample
# nodes), the suite's edition, and the stand-ins' query and transfer commands.
python3 "$top/samples/make_warehouse.py" "$work/warehouse.db" --nodes 20 --own "$(hostname -s)" >/dev/null
printf '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion]\n"DM InstallType"=dword:00000002\n' \
  >> "$QVAD_REGISTRY"
mkdir -p "$work/inventory/results" "$work/inventory/fxsend"
(
  export OVDWQUERY_DB=$work/warehouse.db FXSEND_DIR=$work/inventory/fxsend PATH=$work/nnm/bin:$PATH
  "$work/nnm/bin/qvadinvhost" --lib "$work/adapter/bin/libqvadinv.so" --keep "$work/inventory/results"
)
echo "-- node list: $(wc -l < "$work/adapter/var/node.csv") lines in $work/adapter/var/node.csv; delivered: $(ls "$work/inventory/fxsend" | tr "\n" " ")"
echo "== done: traces in $ZLTGATE_DIR, inventory results in $work/inventory/results"
