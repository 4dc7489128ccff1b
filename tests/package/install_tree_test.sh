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
