#!/usr/bin/env bash
# The Debian package under a real systemd: a minimal Debian tree booted with
# systemd-nspawn, the package installed in it with dpkg, set up with
# qvadnerl-setup, and its service driven with systemctl as an operator
# drives it: started, fed events (they reach the console stand-in and the
# counters of the status line), stopped (a clean stop, no error in the
# journal), its main process killed (systemd restarts it and no event is
# lost), and fed by a source that fails at once (restarts keep coming at the
# unit's pace; the unit is never given up).
#
#   systemd_test.sh <build folder>
#
# The tree is made once with debootstrap from this machine's own Debian
# mirror and kept in $QVAD_TEST_CACHE (default /var/cache/qvadnerl-test);
# each run boots an overlay of it, so the cached tree stays as made. Where
# the container cannot be had (not root, no debootstrap or systemd-nspawn,
# no mirror reachable, a container that does not boot) the test says why in
# one line and exits 77, which CTest counts as skipped.
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/testlib.sh"
version=$(project_version "$here")
skip() {
  echo "SKIP: the package under systemd: $*"
  exit 77
}
now_s() { date +%s.%N; }
start_time=$(now_s)
since() { awk -v a="$1" -v b="$(now_s)" 'BEGIN { printf "%.1f", b - a }'; }

[ "$(id -u)" -eq 0 ] || skip "not root (booting a container needs it)"
for tool in debootstrap systemd-nspawn nsenter dpkg-deb; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup.sh installs it)"
done

cache=${QVAD_TEST_CACHE:-/var/cache/qvadnerl-test}
tree=$cache/bookworm-systemd
work=$(mktemp -d "${TMPDIR:-/tmp}/qvad-systemd-test.XXXXXX")
chmod 755 "$work"
root=$work/root
building="" # a tree being made, removed if this run ends before it is whole
overlay=0
nspawn_pid=""
init=""

# Everything mounted at or below a folder, deepest first.
mounts_below() {
  awk -v d="$1" '{ m = $5; gsub(/\\040/, " ", m); if (m == d || index(m, d "/") == 1) print m }' \
    /proc/self/mountinfo | LC_ALL=C sort -r
}
# A folder removed without ever reaching into what is mounted in it (a
# debootstrap killed half way leaves its /proc and /sys mounted).
remove_tree() {
  local m
  while IFS= read -r m; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null; done < <(mounts_below "$1")
  rm -rf --one-file-system "$1"
}
teardown() {
  if [ -n "$nspawn_pid" ] && kill -0 "$nspawn_pid" 2>/dev/null; then
    # systemd-nspawn turns SIGTERM into an orderly poweroff of the container.
    kill -TERM "$nspawn_pid" 2>/dev/null
    for _ in $(seq 1 150); do kill -0 "$nspawn_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$nspawn_pid" 2>/dev/null; then
      echo "teardown: the container did not power off in 15 s; killing it"
      # The container's init ends its whole PID namespace with it.
      [ -n "$init" ] && kill -KILL "$init" 2>/dev/null
      kill -KILL "$nspawn_pid" 2>/dev/null
    fi
    wait "$nspawn_pid" 2>/dev/null
  fi
  [ -n "$building" ] && remove_tree "$building"
  remove_tree "$work"
}
# A run killed outright (a CTest time-out) can leave its container running
# and its overlay mounted; the next run ends them. Each run's folder names
# its script and its container's init with that process's start time, so a
# PID used again since is never taken for it.
start_of() { awk '{ print $22 }' "/proc/$1/stat" 2>/dev/null; }
for owner in "${TMPDIR:-/tmp}"/qvad-systemd-test.*/owner; do
  [ -f "$owner" ] || continue
  read -r run_pid run_start old_init old_start <"$owner"
  [ -n "$run_pid" ] && [ "$(start_of "$run_pid")" = "$run_start" ] && continue # that run goes on
  if [ -n "${old_init:-}" ] && [ "$(start_of "$old_init")" = "$old_start" ]; then
    kill -KILL "$old_init"
    for _ in $(seq 1 50); do [ -d "/proc/$old_init" ] || break; sleep 0.1; done
  fi
  remove_tree "$(dirname "$owner")"
done
echo "$$ $(start_of $$)" >"$work/owner"
trap teardown EXIT
trap 'exit 130' INT TERM

# The Debian mirror this machine's apt uses, with the keyring that signs it:
# the first deb source that carries bookworm, else the first that carries a
# release (a suite without '-', not -security or -updates).
apt_mirror() {
  local files=() f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && files+=("$f")
  done
  [ ${#files[@]} -gt 0 ] || return 1
  awk '
    function stanza_end() {
      if (types ~ /(^| )deb( |$)/ && enabled != "no") offer(uris, suites, signed)
      types = ""; uris = ""; suites = ""; signed = ""; enabled = ""
    }
    function offer(u, s, k,   n, i, list) {
      split(u, list, " "); u = list[1]
      if (u !~ /^(https?|file):/) return
      n = split(s, list, " ")
      for (i = 1; i <= n; i++) {
        if (list[i] == "bookworm" && best == "") best = u "\t" k
        if (list[i] !~ /-/ && any == "") any = u "\t" k
      }
    }
    FNR == 1 { if (deb822) stanza_end(); deb822 = FILENAME ~ /\.sources$/ }
    deb822 && /^[ \t]*$/ { stanza_end(); next }
    deb822 && /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0; next }
    deb822 && /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0; next }
    deb822 && /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0; next }
    deb822 && /^Enabled:/ { sub(/^Enabled:[ \t]*/, ""); enabled = $0; next }
    deb822 && /^Signed-By:[ \t]*\// { sub(/^Signed-By:[ \t]*/, ""); signed = $0; next }
    !deb822 && $1 == "deb" {
      i = 2; k = ""
      if ($2 ~ /^\[/) {
        for (; i <= NF; i++) {
          if ($i ~ /^\[?signed-by=/) { k = $i; sub(/^\[?signed-by=/, "", k); sub(/\]$/, "", k) }
          if ($i ~ /\]$/) { i++; break }
        }
      }
      offer($i, $(i + 1), k)
    }
    END { if (deb822) stanza_end(); if (best != "") print best; else if (any != "") print any; else exit 1 }
  ' "${files[@]}"
}

# (a) The tree: made beside its final name and renamed when whole, under a
# lock, so that neither a killed debootstrap nor two checkouts at once leave
# a half tree where the next run takes it.
tree_seconds=""
if [ ! -x "$tree/lib/systemd/systemd" ]; then
  mkdir -p "$cache" || skip "cannot make $cache"
  exec 9>"$cache/.lock"
  flock 9
  if [ ! -x "$tree/lib/systemd/systemd" ]; then
    for stale in "$cache"/.bookworm-systemd.*; do
      [ -d "$stale" ] && remove_tree "$stale"
    done
    source_line=$(apt_mirror) || skip "no Debian mirror in this machine's apt sources to make the container tree from"
    mirror=${source_line%%$'\t'*}
    keyring=${source_line#*$'\t'}
    keyopt=()
    [ -n "$keyring" ] && [ -f "$keyring" ] && keyopt=(--keyring="$keyring")
    building=$(mktemp -d "$cache/.bookworm-systemd.XXXXXX")
    t0=$(now_s)
    # In the foreground, so that whatever ends this run ends debootstrap
    # with it; a debootstrap left running would hold the lock until done.
    if ! timeout --foreground 900 debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus "${keyopt[@]}" \
      bookworm "$building" "$mirror" >"$work/debootstrap.log" 2>&1; then
      why=$(grep -E '^E:' "$work/debootstrap.log" | tail -1)
      skip "the container tree cannot be made (debootstrap from $mirror: ${why:-$(tail -1 "$work/debootstrap.log")})"
    fi
    tree_seconds=$(since "$t0")
    chmod 755 "$building"
    mv -T "$building" "$tree" || skip "cannot put the container tree in place at $tree"
    building=""
  fi
  exec 9>&-
fi

# A run's changes go to an overlay of the tree (or, where this kernel has
# no overlayfs, to a copy of it).
mkdir -p "$work/upper" "$work/overlay-work" "$root"
if mount -t overlay overlay -o "lowerdir=$tree,upperdir=$work/upper,workdir=$work/overlay-work" "$root" 2>"$work/mount.log"
then
  overlay=1
else
  cp -a "$tree/." "$root/" || skip "no overlay of the container tree ($(cat "$work/mount.log")) and no room for a copy"
fi

# The package and the stand-ins go into the tree before it boots.
cmake --build "$build" --target package >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$build/packages/qvadnerl_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: no package $deb"; exit 1; }
cmake --install "$build" --component standins --prefix "$work/nnm" >"$work/standins.log" 2>&1 ||
  { cat "$work/standins.log"; exit 1; }
mkdir -p "$root/root/qvad" "$root/srv/qvad/trace" "$root/srv/assets/etc"
cp "$deb" "$root/root/qvad/qvadnerl.deb"
cp -a "$work/nnm" "$root/srv/nnm"

# (b) Boot. The container's init is systemd-nspawn's child; commands run in
# all its namespaces with nsenter, with an environment of their own.
t0=$(now_s)
# A name of its own: systemd-nspawn keeps a folder per machine name in
# /run, and two checkouts may run this test at once.
systemd-nspawn -q -D "$root" -b --console=passive --register=no --keep-unit --machine="qvadtest-$$" \
  >"$work/nspawn.log" 2>&1 &
nspawn_pid=$!
find_init() {
  local p
  for p in $(cat "/proc/$nspawn_pid/task/$nspawn_pid/children" 2>/dev/null); do
    [ "$(cat "/proc/$p/comm" 2>/dev/null)" = systemd ] && { echo "$p"; return 0; }
  done
  return 1
}
# Each bounded: a minute at most.
ct() { timeout 60 nsenter -t "$init" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
state=""
end=$((SECONDS + 60))
while [ "$SECONDS" -lt "$end" ]; do
  kill -0 "$nspawn_pid" 2>/dev/null || break
  [ -n "$init" ] || init=$(find_init) || init=""
  if [ -n "$init" ]; then
    state=$(timeout 5 nsenter -t "$init" -a systemctl is-system-running 2>/dev/null)
    case $state in running | degraded) break ;; esac
  fi
  sleep 0.1
done
case $state in
  running | degraded) ;;
  *)
    # Its last word on a disk-backed /run (it may not clean its folder
    # there) is no reason.
    grep -v -e '^$' -e 'Attempted to remove disk file system' "$work/nspawn.log" >"$work/nspawn.why"
    why=$(grep -iE 'fail|error|cannot|denied|not supported|refusing' "$work/nspawn.why" | head -1)
    [ -z "$why" ] && why=$(tail -1 "$work/nspawn.why")
    kill -0 "$nspawn_pid" 2>/dev/null && why="${why:+$why; }systemd in it is '${state:-not answering}' after 60 s"
    skip "the container does not boot (systemd-nspawn: ${why:-no output})"
    ;;
esac
boot_seconds=$(since "$t0")
echo "$$ $(start_of $$) $init $(start_of "$init")" >"$work/owner"
[ -n "$tree_seconds" ] && echo "-- container tree made in $tree_seconds s with debootstrap, kept in $tree"
echo "-- container booted in $boot_seconds s: systemd $(ct systemctl --version | sed -n '1s/^systemd //p'), system $state$([ "$overlay" -eq 1 ] || echo ', on a copy of the tree')"

unit='Ordovan\x20Nerl\x20NNM.service'
srv=$root/srv/qvad # the container's /srv/qvad, seen from here
waitfor() { # seconds command...: tried until it succeeds or the time is up
  local end=$((SECONDS + $1))
  shift
  while :; do
    "$@" && return 0
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.2
  done
}
prop() { ct systemctl show -p "$1" --value "$unit"; }
prop_is() { [ "$(prop "$1")" = "$2" ]; }
# The journal from a cursor on, as one line per entry with its identifier.
cursor() { ct journalctl -q -n 0 --show-cursor | sed -n 's/^-- cursor: //p'; }
journal_from() { ct journalctl -q --no-pager -o short-unix --after-cursor "$1"; }
journal_has() { # cursor pattern: an entry after the cursor matches
  local out
  out=$(journal_from "$1")
  grep -q -- "$2" <<<"$out"
}
# Event lines: time, a sequence tag the spool is searched for, host, severity.
event() { # tag [severity]
  printf '%s 0x1 node%s.example.com\tStatus Event %s;%s .1.3.6.1\n' "$(date +%s)" "$((RANDOM % 50))" "$1" "${2:-Normal}"
}
delivered() {
  local n
  n=$(grep -c "Event $1\$" "$srv/console.txt" 2>/dev/null)
  echo "${n:-0}"
}
all_delivered() { # prefix count: every tag prefix-0001 .. prefix-count reached the console
  local i
  for i in $(seq -f '%04g' 1 "$2"); do [ "$(delivered "$1-$i")" -ge 1 ] || return 1; done
}
show_service() {
  ct systemctl status --no-pager -n 20 "$unit" 2>&1 | sed 's/^/    /'
}

echo "-- dpkg -i and qvadnerl-setup install in the container"
ct dpkg -i /root/qvad/qvadnerl.deb >"$work/dpkg.log" 2>&1
check "dpkg -i installs the package" grep -q 'install ok installed' <(ct dpkg-query -W -f='${Status}' qvadnerl) ||
  sed 's/^/    /' "$work/dpkg.log"
# The stand-ins as the service is pointed at the suite's libraries and the
# network manager; no event-log file, so events go to the journal.
cat >>"$root/etc/opt/qvadnerl/qvadovevt.env" <<'EOF'
LD_LIBRARY_PATH=/srv/nnm/bin
ZLTGATE_DIR=/srv/qvad/trace
QVCNSPUT_SPOOL=/srv/qvad/console.txt
OVDUMPEVENTS_SOURCE=/srv/qvad/events.txt
OVDUMPEVENTS_ARGS=/srv/qvad/events.args
EOF
ct /opt/qvadnerl/bin/qvadnerl-setup install --nnm-dir /srv/nnm --asset-root /srv/assets -i 192.0.2.10 -t 2 \
  >"$work/setup.log" 2>&1
rc=$?
check "qvadnerl-setup install succeeds" test "$rc" -eq 0 || sed 's/^/    /' "$work/setup.log"
check "setup sees systemd running and names the start command" grep -q 'systemctl start' "$work/setup.log"
check "the unit is known to systemd and enabled" test "$(ct systemctl is-enabled "$unit" 2>&1)" = enabled
check "the unit is loaded from the file qvadaddservice wrote" \
  test "$(prop FragmentPath)" = "/etc/systemd/system/$unit"

echo "-- systemctl start, events, status line"
: >"$srv/events.txt"
for i in 0001 0002; do event "start-$i" Critical >>"$srv/events.txt"; done
mark=$(cursor)
t0=$(now_s)
ct systemctl start "$unit"
rc=$?
check "systemctl start returns once the service is ready (Type=notify)" test "$rc" -eq 0 || show_service
echo "    started in $(since "$t0") s"
check "the unit is active and running" test "$(prop ActiveState)/$(prop SubState)" = active/running
for i in 0003 0004 0005; do event "start-$i" >>"$srv/events.txt"; done
check "events reach the console stand-in" waitfor 20 all_delivered start 5
check "severity from the package's RazEvt.ini (Critical 4 -> 772)" grep -q $'^0\t772\t.*Event start-0001$' "$srv/console.txt"
status_ok() { [[ $(prop StatusText) == "Forwarding: 5 forwarded, 0 skipped as repeats, 0 refused; last forwarded event "* ]]; }
check "Status= counts the events forwarded" waitfor 15 status_ok || echo "    StatusText=$(prop StatusText)"
check "the service's program start is in the journal (identifier QvAdnerl)" \
  waitfor 10 journal_has "$mark" 'QvAdnerl\[[0-9]*\]: INFORMATION 0x6000044D'

echo "-- systemctl stop"
main=$(prop MainPID)
mark=$(cursor)
ct systemctl stop "$unit"
check "systemctl stop returns" test $? -eq 0
check "the stop is a success (Result=success)" prop_is Result success
check "the unit is inactive, not failed" prop_is ActiveState inactive
check "the program ended with the stop's status 1" prop_is ExecMainStatus 1
check "the program's end is in the journal" waitfor 10 journal_has "$mark" 'QvAdnerl\[[0-9]*\]: INFORMATION 0x6000044E'
journal_from "$mark" >"$work/stop.journal"
check "no error event in the journal at the stop" bash -c "! grep -qE 'ERROR 0x|Failed with result' '$work/stop.journal'" ||
  sed 's/^/    /' "$work/stop.journal"
check "the stop time was recorded" test -s "$root/var/opt/qvadnerl/etc/StopTime.txt"

echo "-- kill -9 of the main process: systemd restarts it, nothing is lost"
ct systemctl start "$unit"
check "started again" test $? -eq 0
restarts0=$(prop NRestarts)
main=$(prop MainPID)
mark=$(cursor)
# Events flow while the process is killed and while it is down; each is
# tagged so the console's spool shows which arrived.
feed() {
  local i
  for i in $(seq -f '%04g' 1 60); do
    event "kill-$i" >>"$srv/events.txt"
    sleep 0.1
  done
}
feed &
feeder=$!
some_kill_events() { [ "$(grep -c 'Event kill-' "$srv/console.txt" 2>/dev/null)" -ge 10 ]; }
waitfor 10 some_kill_events
t0=$(now_s)
# Processes of the container by name, counted from here.
in_container() { # name
  local p ns n=0
  ns=$(readlink "/proc/$init/ns/pid")
  for p in /proc/[0-9]*; do
    [ "$(cat "$p/comm" 2>/dev/null)" = "$1" ] && [ "$(readlink "$p/ns/pid" 2>/dev/null)" = "$ns" ] && n=$((n + 1))
  done
  echo "$n"
}
# The container's shell kills by the PID systemd reports, in the container's
# PID namespace (and never PID 0, which would be the caller's process group).
kill_main() { [ "$main" -gt 1 ] && ct sh -c 'kill -KILL "$1"' sh "$main"; }
check "kill -9 the main process ($main)" kill_main
wait "$feeder"
restarted() { [ "$(prop NRestarts)" -gt "$restarts0" ] && prop_is ActiveState active && [ "$(prop MainPID)" != "$main" ]; }
check "systemd restarts it (NRestarts grows, a new main process)" waitfor 30 restarted || show_service
echo "    running again after $(since "$t0") s, NRestarts $restarts0 -> $(prop NRestarts), main process $main -> $(prop MainPID)"
check "the journal shows the kill" journal_has "$mark" 'Main process exited, code=killed, status=9/KILL'
check "every event reached the console, none lost" waitfor 30 all_delivered kill 60 || {
  for i in $(seq -f '%04g' 1 60); do [ "$(delivered "kill-$i")" -ge 1 ] || echo "    lost: kill-$i"; done
}
twice=$(grep -o 'Event kill-[0-9]*$' "$srv/console.txt" | sort | uniq -d | wc -l)
echo "    events delivered twice across the kill: $twice"
check "the killed run's source is gone: one ovdumpevents runs" test "$(in_container ovdumpevents)" -eq 1
ct systemctl stop "$unit"
check "stopped cleanly after the restart" prop_is Result success

echo "-- a source that fails at once: restarts keep coming, the unit is not given up"
mv "$root/srv/nnm/bin/ovdumpevents" "$root/srv/nnm/bin/ovdumpevents.real"
printf '#!/bin/sh\necho "no connection to the network manager" >&2\nexit 3\n' >"$root/srv/nnm/bin/ovdumpevents"
chmod 755 "$root/srv/nnm/bin/ovdumpevents"
mark=$(cursor)
t0=$(now_s)
ct systemctl start --no-block "$unit"
# Every half second for 40 s: the unit's state and its restart count, and
# when the count went up (a start by hand sets it back to 0 first).
: >"$work/pace.log"
given_up=""
last_n=""
grown=0
end=$((SECONDS + 40))
while [ "$SECONDS" -lt "$end" ]; do
  line=$(ct systemctl show -p ActiveState -p SubState -p Result -p NRestarts "$unit" | LC_ALL=C sort | tr '\n' ' ')
  n=$(sed -n 's/.*NRestarts=\([0-9]*\).*/\1/p' <<<"$line")
  if [ -n "$n" ]; then
    if [ -n "$last_n" ] && [ "$n" -gt "$last_n" ]; then
      echo "$(since "$t0") $n" >>"$work/pace.log"
      grown=$((grown + n - last_n))
    fi
    last_n=$n
  fi
  case $line in *ActiveState=failed* | *start-limit-hit*) given_up=$line ;; esac
  sleep 0.5
done
elapsed=$(since "$t0")
echo "    in $elapsed s $grown restarts (NRestarts $last_n), at (s after the start):" \
  "$(awk '{ printf "%s ", $1 }' "$work/pace.log")"
check "restarts keep coming (at least 2 in 40 s)" test "$grown" -ge 2
check "never failed nor start-limit-hit" test -z "$given_up" || echo "    $given_up"
# RestartSec=10s after each end, which comes a few seconds after each start
# (the pipe wait that sees the source gone, then a second for a stop).
pace_ok() {
  awk 'NR > 1 { d = $1 - prev; if (d < 9 || d > 17) { print "    restart " NR " came " d " s after the one before"; bad = 1 } }
       { prev = $1 } END { exit bad }' "$work/pace.log"
}
check "restarts are about RestartSec (10 s) apart" pace_ok
check "each run ends with status 74 (event processing ended)" waitfor 12 prop_is ExecMainStatus 74
journal_from "$mark" >"$work/fail.journal"
check "the failure is in the journal (0xE0000C89)" grep -q '0xE0000C89' "$work/fail.journal"
check "the source's own words are in the journal" grep -q 'no connection to the network manager' "$work/fail.journal"
ct systemctl stop "$unit"
check "a stop ends the restarts" prop_is ActiveState inactive
mv -f "$root/srv/nnm/bin/ovdumpevents.real" "$root/srv/nnm/bin/ovdumpevents"

echo "-- dpkg -i over the running service, then dpkg -r"
ct systemctl start "$unit"
main=$(prop MainPID)
event upgrade-0001 >>"$srv/events.txt"
waitfor 20 all_delivered upgrade 1
ct dpkg -i /root/qvad/qvadnerl.deb >"$work/dpkg.log" 2>&1
check "reinstalling succeeds" test $? -eq 0 || sed 's/^/    /' "$work/dpkg.log"
replaced() { prop_is ActiveState active && [ "$(prop MainPID)" != "$main" ] && [ "$(prop MainPID)" != 0 ]; }
check "the running service is restarted with the new programs" waitfor 20 replaced
event upgrade-0002 >>"$srv/events.txt"
check "events flow after the upgrade" waitfor 20 all_delivered upgrade 2
check "nothing forwarded twice across the upgrade" test "$(delivered upgrade-0001)" -eq 1
main=$(prop MainPID)
ct dpkg -r qvadnerl >"$work/dpkg.log" 2>&1
check "dpkg -r succeeds" test $? -eq 0 || sed 's/^/    /' "$work/dpkg.log"
check "removal stops the service and unloads the unit" prop_is LoadState not-found ||
  echo "    $(ct systemctl show -p LoadState -p ActiveState -p NeedDaemonReload "$unit" | tr '\n' ' ')"
check "no process of the service is left" test "$(in_container qvadovevt)" -eq 0 -a "$(in_container ovdumpevents)" -eq 0

echo "-- this run took $(since "$start_time") s"
summary systemd
