#!/usr/bin/env bash
# The adapter's main job on the built-in stand-ins and sample data, with the
# native release build:
#   1. installs the adapter into a scratch folder with the setup tools
#      (event source, environment file, repository settings);
#   2. runs the event service: network-manager events reach the console
#      stand-in with their severities, then the service is stopped;
#   3. runs a whole inventory over the sample warehouse through the front
#      library and the inventory host, and delivers the repository file.
#
#   scripts/demo.sh [work folder]        (default: $TMPDIR/qvad-demo)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j"$(nproc)" >/dev/null
bin=$top/build/native-release/bin
work=${1:-${TMPDIR:-/tmp}/qvad-demo}
rm -rf "$work"
mkdir -p "$work"/{adapter/bin,adapter/etc,nnm/bin,vrex/etc,trace,run}
for f in qvadovevt libqvcnsput.so libzltgate.so RazMessage.cat libqvadinv.so libqvademinv.so; do
  cp "$bin/$f" "$work/adapter/bin/"
done
cp "$bin/ovdumpevents" "$work/nnm/bin/"
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
"$bin/qvadmsgdllreg" -p "$work/adapter" && echo "qvadmsgdllreg: event source QvAdnerl registered"
"$bin/qvademenv" -p "$work/adapter" && echo "qvademenv: $(tr '\n' '|' < "$work/vrex/etc/nerladapter.env")"
"$bin/qvadrepini" -p "$work/adapter" -i 127.0.0.1 -t 1 -s 1 && echo "qvadrepini: $(tr '\n' ' ' < "$work/adapter/etc/RepInfo.ini")"

echo "== 2. event forwarding"
printf '[Severity]\nCritical=4\nMajor=3\nNormal=1\n' > "$work/adapter/etc/RazEvt.ini"
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

echo "== 3. inventory over the sample warehouse"
bash "$top/samples/demo-inventory.sh" "$top/build/native-release" "$work/inventory" 20
echo "== done: traces in $ZLTGATE_DIR, inventory results in $work/inventory"
