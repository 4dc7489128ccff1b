#!/usr/bin/env bash
# Runs a whole inventory over the sample warehouse with the native build:
# a scratch installation, the registry file, the environment file, the
# sample definitions, then the inventory host. Run it twice to see the
# second-run behaviour (backup and removed nodes).
#
#   samples/demo-inventory.sh [build folder] [work folder] [nodes] [qvadinvhost options...]
#
# $DEMO_ETC, when set, names a folder whose .ini files replace the samples'
# files of the same name in the installation (a benchmark's own settings).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/native-debug}" && pwd)
work=${2:-${TMPDIR:-/tmp}/qvad-inventory-demo}
nodes=${3:-20}
bin=$build/bin
mkdir -p "$work"/adapter/{etc,bin,var,ret,tmp/hard} "$work"/vrex/etc "$work"/trace "$work"/fxsend "$work"/run "$work"/results
export QVAD_REGISTRY=$work/registry.reg QVAD_RUNDIR=$work/run ZLTGATE_DIR=$work/trace FXSEND_DIR=$work/fxsend
export OVDWQUERY_DB=$work/warehouse.db PATH=$bin:$PATH LD_LIBRARY_PATH=$bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
build_root=${bin%bin}
cat > "$QVAD_REGISTRY" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion]
"DM InstallType"=dword:00000002

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion\\QvVrex]
"vrexroot"="$work/vrex"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Hewlett-Packard\\HP OpenView]
"InstallDir"="$build_root"
REG
printf '%s\n%s\n' "$work/adapter/bin/libqvadinv.so" "$work/adapter" > "$work/vrex/etc/nerladapter.env"
cp "$here/RazInv.ini" "$here/RepInfo.ini" "$here/RazSetting.ini" "$work/adapter/etc/"
if [ -n "${DEMO_ETC:-}" ]; then
  cp "$DEMO_ETC"/*.ini "$work/adapter/etc/"
fi
cp "$bin/libqvademinv.so" "$work/adapter/bin/"
# The warehouse: this computer first, then the sample nodes.
if [ ! -e "$OVDWQUERY_DB" ]; then
  python3 "$here/make_warehouse.py" "$OVDWQUERY_DB" --nodes "$nodes" --own "$(hostname)"
fi
# The host copies each node's file into results as it goes: the folder must be there first.
"$bin/qvadinvhost" --keep "$work/results" "${@:4}" || status=$?
echo "results kept in $work/results, delivered files in $FXSEND_DIR, traces in $ZLTGATE_DIR"
exit "${status:-0}"
