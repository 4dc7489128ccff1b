#!/usr/bin/env bash
# A Win32 ZIP: built by CPack with exactly the shipped files and no
# stand-in, every binary carrying its version resource; unpacked, its
# install.cmd run under Wine's cmd registers the event source, writes the
# environment file and RepInfo.ini and registers the service with Wine's
# service manager, stopping at the first failure with its status;
# uninstall.cmd removes all of it, and again finds nothing to remove.
#
#   zip_test.sh <build folder> <i686|x86_64>
set -uo pipefail
build=$(cd "$1" && pwd)
arch=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/testlib.sh"
version=$(project_version "$here")
work=$(mktemp -d "$build/zip-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QVAD_WINE_BUILD_DIR=$build
win() { bash "$here/../../cmake/wine-run.sh" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
# 32-bit programs see the 32-bit view of HKLM\SOFTWARE, 64-bit ones the
# other: the value is set in the view of the ZIP's programs.
view=/reg:64
[ "$arch" = i686 ] && view=/reg:32
service_key='HKLM\SYSTEM\CurrentControlSet\Services\Ordovan Nerl NNM'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\QvAdnerl'

echo "-- the ZIP"
cmake --build "$build" --target package >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
zip=$build/packages/qvadnerl-$version-win32-$arch.zip
check "ZIP is named qvadnerl-<version>-win32-<arch>.zip" test -f "$zip"
[ -f "$zip" ] || summary zip
(cd "$work" && cmake -E tar xf "$zip")
dir=$work/qvadnerl-$version-win32-$arch
check "ZIP holds exactly the shipped files" same_list "$here/adapter-win32.txt" <(tree_list "$dir")
has_version() { strings -el "$1" | grep -qx "$version" && strings -el "$1" | grep -qx FileVersion; }
for f in "$dir"/bin/*.exe "$dir"/bin/*.dll; do
  check "$(basename "$f") carries a version resource with $version" has_version "$f"
done

wdir=$(winpath "$dir")
mkdir -p "$work/assets/etc"
win reg add 'HKLM\SOFTWARE\Vantrel\Quorvane\CurrentVersion\QvVrex' /v vrexroot /d "$(winpath "$work/assets")" /f $view >/dev/null
win reg delete "$source_key" /f >/dev/null

echo "-- install.cmd"
win cmd /c "$wdir\\install.cmd" -i 192.0.2.10 -t 1 -s 2 -n Tokyo >"$work/install.log"
rc=$?
sed 's/^/    /' "$work/install.log"
check "install.cmd succeeds" test "$rc" -eq 0
check "service registered with Wine's service manager, its program quoted" \
  grep -qF "\"$wdir\\bin\\qvadovevt.exe\"" <(win reg query "$service_key" /v ImagePath)
check "event source registered with the message library" \
  grep -qF "$wdir\\bin\\RazMessage.dll" <(win reg query "$source_key" /v EventMessageFile)
check "environment file names the install folder" \
  test "$(tr -d '\r' <"$work/assets/etc/nerladapter.env" | head -1)" = "$wdir\\bin\\qvadinv.dll"
check "repository settings written" grep -q '^SiteName=Tokyo' <(tr -d '\r' <"$dir/etc/RepInfo.ini")
check "working folders made" test -d "$dir/tmp/hard" -a -d "$dir/var" -a -d "$dir/ret"

win cmd /c "$wdir\\install.cmd" -i 192.0.2.10 -t 2 >"$work/again.log"
rc=$?
# Wine's own exit status carries the low 8 bits of the Windows one.
check "a second install.cmd stops at the service with its status 1073" test "$rc" -eq $((1073 % 256))
check "and says which step failed" grep -q 'service failed with status 1073' "$work/again.log"

echo "-- uninstall.cmd"
win cmd /c "$wdir\\uninstall.cmd" >"$work/uninstall.log"
rc=$?
sed 's/^/    /' "$work/uninstall.log"
check "uninstall.cmd succeeds" test "$rc" -eq 0
check "service removed" bash -c "! grep -q ImagePath <(bash '$here/../../cmake/wine-run.sh' reg query '$service_key' /v ImagePath 2>/dev/null)"
check "event source removed" bash -c "! grep -q EventMessageFile <(bash '$here/../../cmake/wine-run.sh' reg query '$source_key' 2>/dev/null)"
check "environment file removed" test ! -e "$work/assets/etc/nerladapter.env"
check "repository settings removed" test ! -e "$dir/etc/RepInfo.ini"
win cmd /c "$wdir\\uninstall.cmd" >"$work/uninstall2.log"
check "uninstall.cmd on a clean machine finds nothing to fail on" test $? -eq 0 || sed 's/^/    /' "$work/uninstall2.log"

echo "-- install.cmd stops at the first failure"
win cmd /c "$wdir\\install.cmd" -i 192.0.2.10 -t 3 >"$work/bad.log"
rc=$?
check "invalid repository options stop install.cmd with status 22" test "$rc" -eq 22
check "no service registered after the failed step" \
  bash -c "! grep -q ImagePath <(bash '$here/../../cmake/wine-run.sh' reg query '$service_key' /v ImagePath 2>/dev/null)"
win cmd /c "$wdir\\uninstall.cmd" >/dev/null
summary zip
