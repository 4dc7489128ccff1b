#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the adapter on
# both platforms. Quiet and idempotent: packages already present are skipped.
#
#   scripts/setup.sh            everything scripts/test.sh needs
#   scripts/setup.sh --native   only the native build (what the demo needs)
#
# The i686 build's tests run under 64-bit Wine with its 32-bit part (wine32
# from the i386 architecture). That part is added only where the kernel runs
# 32-bit programs: on a kernel without them a 32-bit Wine breaks Wine
# altogether.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev
  libsqlite3-dev sqlite3
  python3
)
if [ "${1:-}" != "--native" ]; then
  packages+=(
    clang libclang-rt-14-dev
    mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    wine wine64
    file dpkg-dev lintian systemd
    debootstrap systemd-container
  )
fi
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
wine32=""
if [ "${1:-}" != "--native" ]; then
  if bash scripts/can-run-i386.sh >/dev/null; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      echo "setup: adding the i386 architecture for wine32"
      $sudo_cmd dpkg --add-architecture i386
    fi
    wine32="wine32:i386"
  fi
fi
installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
need_wine32=""
[ -n "$wine32" ] && ! installed "$wine32" && need_wine32=$wine32

# The package indexes: one index that cannot be fetched (a mirror in the
# middle of a sync, an extra source this machine does not reach) makes
# apt-get update exit 100 although every other index was fetched. A few
# tries, then on with what was fetched; a package that is truly missing is
# reported by the install below.
update_indexes() {
  local try log
  log=$(mktemp "${TMPDIR:-/tmp}/qvad-apt-update.XXXXXX")
  for try in 1 2 3; do
    if $sudo_cmd apt-get update -qq >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    [ "$try" -lt 3 ] && sleep $((try * 3))
  done
  echo "setup: some package indexes could not be fetched after 3 tries; going on with the others:"
  grep -E '^(E|W):' "$log" | sed 's/^/setup:   /' | head -5
  rm -f "$log"
}

export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ] || [ -n "$need_wine32" ]; then
  update_indexes
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # One set: what the build needs is there whole or setup fails here, with
  # apt's own words about the package it could not install.
  if ! out=$($sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" 2>&1); then
    printf '%s\n' "$out" | grep -E '^(E|W):|has no installation candidate|Unable to locate|Depends:' >&2 || printf '%s\n' "$out" >&2
    echo "setup: FAILED: could not install the packages the build needs (${missing[*]})" >&2
    exit 1
  fi
fi
if [ -n "$need_wine32" ]; then
  # The 32-bit part of Wine on its own: its i386 libraries must match the
  # amd64 ones installed, which a lagging i386 index can prevent. Without it
  # the i686 stage builds and checks only (scripts/test.sh says so). Nothing
  # installed is removed or downgraded to make room for it.
  if out=$($sudo_cmd apt-get install -y -qq --no-install-recommends --no-remove "$need_wine32" 2>&1); then
    echo "setup: installed $need_wine32"
  else
    why=$(printf '%s\n' "$out" | grep -E '^E:' | head -1)
    echo "setup: $need_wine32 cannot be installed here (${why:-apt-get failed}); the i686 tests will not run under Wine"
  fi
fi
