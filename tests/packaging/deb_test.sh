#!/usr/bin/env bash
# The Debian package: built by CPack, holding exactly the adapter's files in
# the system layout and no stand-in, checked by lintian; then, as root on a
# machine without the adapter, installed for real with dpkg, set up with
# qvadnerl-setup, its service started the way its unit starts it and an
# inventory run through the installed front library, reinstalled over
# changed settings and state, removed and purged, leaving nothing behind.
#
#   deb_test.sh <build folder>
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
. "$here/testlib.sh"
version=$(project_version "$here")
work=$(mktemp -d "${TMPDIR:-/tmp}/qvad-deb-test.XXXXXX")
chmod 755 "$work"
svc_pid=""
installed_by_us=0
unit="/etc/systemd/system/Ordovan\\x20Nerl\\x20NNM.service"

# dpkg removes the empty folders of a purged package that no other package
# lists, even when they were there before it; they are put back as found.
existing_dirs=()
for d in /opt /etc/opt /var/opt /usr/share/lintian/overrides; do
  [ -d "$d" ] && existing_dirs+=("$d")
done
cleanup() {
  [ -n "$svc_pid" ] && kill -KILL "$svc_pid" 2>/dev/null
  if [ "$installed_by_us" -eq 1 ] && dpkg-query -W -f='${Status}' qvadnerl 2>/dev/null | grep -q installed; then
    echo "cleanup: purging the package"
    dpkg_do --purge qvadnerl >/dev/null 2>&1
  fi
  for d in "${existing_dirs[@]}"; do
    [ -d "$d" ] || mkdir -p -m 755 "$d"
  done
  rm -rf "$work"
}
trap cleanup EXIT

# dpkg refuses at once when another dpkg or apt holds its lock; wait for it.
dpkg_do() {
  local i out
  for i in $(seq 1 60); do
    out=$(dpkg "$@" 2>&1) && { echo "$out"; return 0; }
    grep -q "lock" <<<"$out" || { echo "$out"; return 1; }
    sleep 2
  done
  echo "$out"
  return 1
}

if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
  echo "SKIP: the Debian package needs dpkg-deb and dpkg-shlibdeps (dpkg-dev), which are not installed"
  exit 0
fi

echo "-- the package file"
cmake --build "$build" --target package >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$build/packages/qvadnerl_${version}_$(dpkg --print-architecture 2>/dev/null || echo amd64).deb
check "package is named qvadnerl_<version>_<arch>.deb" test -f "$deb"
[ -f "$deb" ] || summary deb
deb_list() {  # the package's files as tree_list shows a folder
  dpkg-deb --fsys-tarfile "$deb" | tar -t -v | awk '{
    name = $6; sub(/^\.\//, "", name); if (name == "") next
    if ($1 ~ /^l/) print name " -> " $8; else print name }' | LC_ALL=C sort
}
# Folders holding something are implied by their content.
nonempty_dirs_removed() {
  awk '{ all[NR] = $0 } END { for (i = 1; i <= NR; i++) { l = all[i]; keep = 1
    if (l ~ /\/$/) for (j = 1; j <= NR; j++) if (j != i && index(all[j], l) == 1) { keep = 0; break }
    if (keep) print l } }'
}
check "package holds exactly the adapter's files and links" same_list "$here/adapter-fhs.txt" \
  <(deb_list | nonempty_dirs_removed)
control=$(dpkg-deb -f "$deb" Depends)
check "depends on the C library" grep -q 'libc6' <<<"$control"
check "depends on the C++ library" grep -q 'libstdc++6' <<<"$control"
check "settings are conffiles" same_list <(printf '%s\n' /etc/opt/qvadnerl/{RazEvt.ini,RazInv.ini,RazSetting.ini,qvadovevt.env}) \
  <(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | LC_ALL=C sort)

echo "-- lintian"
if command -v lintian >/dev/null; then
  lintian "$deb" >"$work/lintian.log" 2>&1
  grep -E '^[WI]:' "$work/lintian.log" | sed 's/^/    /'
  check "lintian reports no error" bash -c "! grep -q '^E:' '$work/lintian.log'"
  grep '^E:' "$work/lintian.log" | sed 's/^/    /'
else
  echo "SKIP: lintian is not installed (scripts/setup.sh installs it)"
fi

# Installing for real changes the machine: only as root, with dpkg, and only
# where no adapter is installed or left over.
skip_install=""
[ "$(id -u)" -eq 0 ] || skip_install="not root"
command -v dpkg >/dev/null || skip_install="no dpkg"
for p in /opt/qvadnerl /etc/opt/qvadnerl /var/opt/qvadnerl /etc/qvadnerl/registry.reg "$unit"; do
  [ -z "$skip_install" ] && [ -e "$p" ] && skip_install="$p exists on this machine"
done
if [ -z "$skip_install" ] && dpkg-query -W -f='${Status}' qvadnerl 2>/dev/null | grep -q installed; then
  skip_install="qvadnerl is already installed"
fi
if [ -n "$skip_install" ]; then
  echo "SKIP: installing the package for real ($skip_install)"
  summary deb
fi
# One such test on the machine at a time, whichever checkout runs it.
exec 8>/var/lock/qvadnerl-deb-test.lock
flock 8

echo "-- dpkg -i"
installed_by_us=1
dpkg_do -i "$deb" >"$work/dpkg.log" 2>&1
check "dpkg -i installs the package" grep -q 'install ok installed' <(dpkg-query -W -f='${Status}' qvadnerl)
check "registry file made from its template" grep -q '^Windows Registry Editor Version 5.00' /etc/qvadnerl/registry.reg
check "settings in /etc/opt/qvadnerl" test -f /etc/opt/qvadnerl/RazInv.ini
check "install folder reaches the settings" test -f /opt/qvadnerl/etc/RazInv.ini

# The network manager and the asset component are the stand-ins, installed
# beside; the console and tracer libraries come from their folder through
# the service's settings file, as an operator points them at the suite's.
cmake --install "$build" --component standins --prefix "$work/nnm" >/dev/null
mkdir -p "$work/assets/etc" "$work/trace" "$work/fxsend"
cat >>/etc/opt/qvadnerl/qvadovevt.env <<EOF
LD_LIBRARY_PATH=$work/nnm/bin
ZLTGATE_DIR=$work/trace
QVCNSPUT_SPOOL=$work/console.txt
OVDUMPEVENTS_SOURCE=$work/events.txt
OVDUMPEVENTS_ARGS=$work/events.args
QVAD_EVENTLOG_FILE=$work/eventlog.txt
EOF

echo "-- qvadnerl-setup install"
/opt/qvadnerl/bin/qvadnerl-setup install --nnm-dir "$work/nnm" --asset-root "$work/assets" -i 192.0.2.10 -t 2 \
  >"$work/setup.log" 2>&1
rc=$?
sed 's/^/    /' "$work/setup.log"
check "qvadnerl-setup install succeeds" test "$rc" -eq 0
check "event source registered with the catalogue" \
  grep -q '"EventMessageFile"=hex(2):' /etc/qvadnerl/registry.reg
check "environment file names the install folder" \
  test "$(sed -n 2p "$work/assets/etc/nerladapter.env")" = /opt/qvadnerl
check "repository settings written to /etc/opt/qvadnerl" grep -q '^ServerIP=192.0.2.10' /etc/opt/qvadnerl/RepInfo.ini
check "service unit written" test -f "$unit"
if command -v systemd-analyze >/dev/null; then
  # verify looks up the units it is pointed at by their folder.
  check "systemd-analyze verify accepts the unit" systemd-analyze verify "$unit"
else
  echo "SKIP: systemd-analyze is not installed"
fi

echo "-- the service started as its unit starts it"
unit_value() { sed -n "s/^$1=//p" "$unit" | tail -1; }
check "unit waits for readiness (Type=notify)" test "$(unit_value Type)" = notify
exec_start=$(unit_value ExecStart | sed 's/%%/%/g')
env_file=$(unit_value EnvironmentFile)
env_file=${env_file#-}
runtime_dir=/run/$(unit_value RuntimeDirectory)
svc_env=(PATH=/usr/sbin:/usr/bin:/sbin:/bin NOTIFY_SOCKET="$work/notify")
while IFS= read -r line; do
  case $line in ''|'#'*) ;; *=*) svc_env+=("$line") ;; esac
done <"$env_file"
mkdir -p "$runtime_dir"
python3 - "$work/notify" "$work/notify.log" <<'PY' &
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
s.settimeout(60)
with open(sys.argv[2], "a") as log:
    try:
        while True:
            log.write(s.recv(4096).decode() + "\n"); log.flush()
    except socket.timeout:
        pass
PY
listener=$!
for _ in $(seq 1 50); do [ -S "$work/notify" ] && break; sleep 0.1; done
now=$(date +%s)
printf '%s 0x1 router1.example.com\tStatus Link down;Critical .1.3.6.1\n%s 0x1 10.0.0.7\tStatus Node up;Normal .1.3\n' \
  "$now" "$now" >"$work/events.txt"
cd /
env -i "${svc_env[@]}" $exec_start &
svc_pid=$!
waitfor() {  # seconds command...
  local n=$(($1 * 10)); shift
  while [ "$n" -gt 0 ]; do "$@" && return 0; sleep 0.1; n=$((n - 1)); done
  return 1
}
check "service reports READY=1" waitfor 20 grep -q '^READY=1' "$work/notify.log"
printf '%s 0x1 switch2.example.com\tThreshold High load;Major .1.3\n' "$((now + 1))" >>"$work/events.txt"
lines() { [ -f "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ]; }
check "events reach the console stand-in" waitfor 20 lines "$work/console.txt" 3
check "severity from RazEvt.ini in /etc/opt (Critical 4 -> 0x304)" grep -q $'\t772\trouter1' "$work/console.txt"
kill -TERM "$svc_pid"
wait "$svc_pid"
rc=$?
svc_pid=""
check "a requested stop ends with a status the unit counts as success" \
  grep -qw "$rc" <<<"$(unit_value SuccessExitStatus) 0"
check "state files are plain files under /var/opt/qvadnerl" test -f /var/opt/qvadnerl/etc/EvtKeep.txt -a ! -L /var/opt/qvadnerl/etc/EvtKeep.txt
check "no state file in the settings folder" test ! -e /etc/opt/qvadnerl/EvtKeep.txt
kill "$listener" 2>/dev/null
sed 's/^/    console: /' "$work/console.txt" 2>/dev/null

echo "-- an inventory through the installed front library"
python3 "$src/samples/make_warehouse.py" "$work/warehouse.db" --nodes 3 --seed 7 --own "$(hostname -s)" >/dev/null
printf '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion]\n"DM InstallType"=dword:00000002\n' \
  >>/etc/qvadnerl/registry.reg
mkdir -p "$work/results"
(
  export PATH=$work/nnm/bin:$PATH LD_LIBRARY_PATH=$work/nnm/bin OVDWQUERY_DB=$work/warehouse.db \
    FXSEND_DIR=$work/fxsend ZLTGATE_DIR=$work/trace
  "$work/nnm/bin/qvadinvhost" --lib /opt/qvadnerl/bin/libqvadinv.so --keep "$work/results"
) >"$work/inv.log" 2>&1
rc=$?
check "inventory run succeeds" test "$rc" -eq 0 || sed 's/^/    /' "$work/inv.log"
check "node list written under /var/opt/qvadnerl" test -s /var/opt/qvadnerl/var/node.csv
check "the var folder is the install group's, setgid" test "$(stat -c '%a %G' /var/opt/qvadnerl/var)" = "2775 qvadnerl"
check "the run lock is the install group's, 0660" \
  test "$(stat -c '%a %G' /var/opt/qvadnerl/var/qavdinv.lock)" = "660 qvadnerl"
# The host is handed <install>/ret/<node>.csv, which the link puts under /var/opt.
check "node result files handed from the install's ret folder" \
  test "$(grep -c ' file=/opt/qvadnerl/ret/.*\.csv rows=[1-9]' "$work/inv.log")" -ge 4
check "node result files written under /var/opt/qvadnerl" \
  test "$(find "$work/results" -name '*.csv' | wc -l)" -ge 4
check "repository file delivered" test -s "$work/fxsend/Repository.csv"

echo "-- reinstalling keeps settings and state"
echo "; changed by the operator" >>/etc/opt/qvadnerl/RazEvt.ini
keep_evt=$(cat /etc/opt/qvadnerl/RazEvt.ini)
keep_state=$(cat /var/opt/qvadnerl/etc/EvtKeep.txt)
dpkg_do -i "$deb" >"$work/dpkg.log" 2>&1
check "reinstall succeeds" test $? -eq 0
check "changed RazEvt.ini kept" test "$(cat /etc/opt/qvadnerl/RazEvt.ini)" = "$keep_evt"
check "RepInfo.ini kept" test -f /etc/opt/qvadnerl/RepInfo.ini
check "state kept" test "$(cat /var/opt/qvadnerl/etc/EvtKeep.txt)" = "$keep_state"
check "registration kept" test -f "$unit"

echo "-- remove, then purge"
files=$(dpkg -L qvadnerl)
dpkg_do -r qvadnerl >"$work/dpkg.log" 2>&1
check "dpkg -r succeeds" test $? -eq 0
check "removal unregisters the service" test ! -e "$unit"
check "removal unregisters the event source" bash -c "! grep -q 'Application.QvAdnerl\]' /etc/qvadnerl/registry.reg"
check "removal deletes the environment file" test ! -e "$work/assets/etc/nerladapter.env"
check "removal keeps the settings" test -f /etc/opt/qvadnerl/RazEvt.ini -a -f /etc/opt/qvadnerl/RepInfo.ini
dpkg_do --purge qvadnerl >"$work/dpkg.log" 2>&1
check "dpkg --purge succeeds" test $? -eq 0
left=""
while IFS= read -r f; do
  case $f in /|/etc|/opt|/var|/usr|/usr/share|/usr/share/doc|/etc/opt|/var/opt|/usr/share/lintian|/usr/share/lintian/overrides) continue ;; esac
  [ -e "$f" ] || [ -L "$f" ] && left+=" $f"
done <<<"$files"
for f in /opt/qvadnerl /etc/opt/qvadnerl /var/opt/qvadnerl /etc/qvadnerl "$runtime_dir"; do
  [ -e "$f" ] && left+=" $f"
done
getent group qvadnerl >/dev/null && left+=" group:qvadnerl"
check "nothing of the package is left after purge" test -z "$left" || echo "    left:$left"
check "package is gone from dpkg" bash -c "! dpkg-query -W -f='\${Status}' qvadnerl 2>/dev/null | grep -q 'ok installed'"
installed_by_us=0
summary deb
