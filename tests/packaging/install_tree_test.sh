#!/usr/bin/env bash
# cmake --install on Linux, into scratch folders: the adapter component holds
# exactly the shipped files and no stand-in, the stand-ins install on their
# own, every installed binary finds its libraries beside it only (RUNPATH
# $ORIGIN), settings survive a second install, and the prefix /opt/qvadnerl
# gives the system layout with its links.
#
#   install_tree_test.sh <build folder>
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qvad-install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$here/testlib.sh"

inst() {  # component prefix [DESTDIR]
  DESTDIR=${3:-} cmake --install "$build" --component "$1" --prefix "$2" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; return 1; }
}

echo "-- folder install: adapter and stand-ins apart"
inst adapter "$work/adapter"
inst standins "$work/standins"
check "adapter component holds exactly the shipped files" same_list "$here/adapter-linux.txt" <(tree_list "$work/adapter")
check "stand-ins component holds exactly the stand-ins" same_list "$here/standins-linux.txt" <(tree_list "$work/standins")
for f in "$work"/standins/bin/*; do
  name=$(basename "$f")
  check "stand-in $name is not in the adapter component" test ! -e "$work/adapter/bin/$name"
done
check "adapter binaries: RUNPATH \$ORIGIN only" clean_runpaths "$work/adapter"
check "stand-in binaries: RUNPATH \$ORIGIN only" clean_runpaths "$work/standins"
for f in "$work"/standins/bin/{qvadinvhost,ovdumpevents,ovdwquery,fxsend}; do
  check "$(basename "$f") --version names the project's version" version_is "$f" "$(project_version "$here")"
done

echo "-- a second install keeps the operator's settings"
echo "Critical=9" >> "$work/adapter/etc/RazEvt.ini"
before=$(cat "$work/adapter/etc/RazEvt.ini")
inst adapter "$work/adapter"
check "changed RazEvt.ini kept" test "$(cat "$work/adapter/etc/RazEvt.ini")" = "$before"

echo "-- qvadnerl-setup on the folder install, with a scratch registry and unit folder"
setup=$work/adapter/bin/qvadnerl-setup
export QVAD_REGISTRY=$work/registry.reg QVAD_SYSTEMD_DIR=$work/units ZLTGATE_DIR=$work/trace
mkdir -p "$work/units" "$work/assets/etc" "$work/trace"
unit="$work/units/Ordovan\\x20Nerl\\x20NNM.service"
"$setup" install --nnm-dir "$work/nnm" --asset-root "$work/assets" -i 192.0.2.10 -t 2 >"$work/setup.log" 2>&1
check "install succeeds without a preflight check" test $? -eq 0 || cat "$work/setup.log"
check "registry made from the template, with the other products' folders" \
  grep -q "^\"InstallDir\"=\"$work/nnm/\"" "$QVAD_REGISTRY"
check "event source, environment file, repository settings and unit all there" \
  test -f "$work/assets/etc/nerladapter.env" -a -f "$work/adapter/etc/RepInfo.ini" -a -f "$unit"
check "unit runs the installed service" grep -qx "ExecStart=$work/adapter/bin/qvadovevt" "$unit"
"$setup" install -i 192.0.2.10 -t 2 >"$work/again.log" 2>&1
rc=$?
# 1073, the service exists, is 49 on Linux.
check "a second install stops at the service with its status" test "$rc" -eq 49
check "and names the failed step and the tool's message" \
  grep -q 'service failed with status 49: qvadaddservice error in CreateService(1073)' "$work/again.log"
printf '#!/bin/sh\necho "preflight: network manager missing"\nexit 3\n' >"$work/adapter/bin/qvadcheck"
chmod +x "$work/adapter/bin/qvadcheck"
"$setup" uninstall >"$work/uninstall.log" 2>&1
check "uninstall succeeds" test $? -eq 0 || cat "$work/uninstall.log"
check "uninstall removes unit, environment file, repository settings and event source" \
  bash -c "test ! -e '$unit' -a ! -e '$work/assets/etc/nerladapter.env' -a ! -e '$work/adapter/etc/RepInfo.ini' && ! grep -q 'Application.QvAdnerl\]' '$QVAD_REGISTRY'"
"$setup" uninstall >"$work/uninstall.log" 2>&1
check "uninstall with nothing left to remove succeeds" test $? -eq 0 || cat "$work/uninstall.log"
# A run lock left by an older version, open to every user.
touch "$work/adapter/var/qavdinv.lock" && chmod 0666 "$work/adapter/var/qavdinv.lock"
"$setup" install --group "$(id -gn)" -i 192.0.2.10 -t 2 >"$work/check.log" 2>&1
rc=$?
check "a preflight check that fails leaves the install's own status" test "$rc" -eq 0
check "--group gives the var folder to the group, setgid" \
  test "$(stat -c '%a %G' "$work/adapter/var")" = "2775 $(id -gn)"
check "and the run lock, 0660" test "$(stat -c '%a %G' "$work/adapter/var/qavdinv.lock")" = "660 $(id -gn)"
check "and its output and result are shown" \
  bash -c "grep -q 'preflight: network manager missing' '$work/check.log' && grep -q 'qvadcheck: status 3' '$work/check.log'"
"$setup" uninstall >/dev/null 2>&1
rm -f "$work/adapter/bin/qvadcheck"
"$setup" install -i 192.0.2.10 -t 3 >"$work/bad.log" 2>&1
check "invalid repository settings stop the installer with status 22" test $? -eq 22
check "before the service is registered" test ! -e "$unit"
"$setup" uninstall >/dev/null 2>&1
unset QVAD_REGISTRY QVAD_SYSTEMD_DIR ZLTGATE_DIR

echo "-- the system prefix /opt/qvadnerl, into a staging root"
inst adapter /opt/qvadnerl "$work/root"
check "system layout holds exactly the shipped files and links" same_list "$here/adapter-fhs.txt" <(tree_list "$work/root")
check "system layout: RUNPATH \$ORIGIN only" clean_runpaths "$work/root/opt/qvadnerl"
# The links resolve inside the staging root as they will on the machine.
resolves() {  # link under the root, file it must reach under the root
  [ "$(readlink -f "$work/root/$1" | sed "s|^$work/root||")" = "$2" ] ||
    [ "$(cd "$work/root" && readlink "$1")" = "$2" ]
}
check "install folder's etc reaches the state folder" resolves opt/qvadnerl/etc /var/opt/qvadnerl/etc
check "settings in the state folder reach /etc/opt" resolves var/opt/qvadnerl/etc/RazInv.ini /etc/opt/qvadnerl/RazInv.ini
echo "Critical=9" >> "$work/root/etc/opt/qvadnerl/RazEvt.ini"
before=$(cat "$work/root/etc/opt/qvadnerl/RazEvt.ini")
inst adapter /opt/qvadnerl "$work/root"
check "second system install keeps /etc/opt/qvadnerl/RazEvt.ini" \
  test "$(cat "$work/root/etc/opt/qvadnerl/RazEvt.ini")" = "$before"
check "second system install keeps the links" same_list "$here/adapter-fhs.txt" <(tree_list "$work/root")

summary install_tree
