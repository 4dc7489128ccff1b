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
  )
fi
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
if [ "${1:-}" != "--native" ]; then
  if bash scripts/can-run-i386.sh >/dev/null; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      echo "setup: adding the i386 architecture for wine32"
      $sudo_cmd dpkg --add-architecture i386
    fi
    packages+=(wine32:i386)
  fi
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq >/dev/null
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
