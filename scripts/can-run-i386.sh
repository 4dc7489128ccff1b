#!/usr/bin/env bash
# Exits 0 when this machine's kernel runs 32-bit x86 programs, else 1 with
# the reason on standard output. It runs a 100-byte static i386 program
# that only exits with status 42, so it needs no 32-bit library, compiler
# or package: installing a 32-bit Wine where this fails would break Wine.
set -u
case $(uname -m) in
  x86_64|i?86) ;;
  *) echo "not an x86 machine ($(uname -m))"; exit 1 ;;
esac
probe=$(mktemp "${TMPDIR:-/tmp}/qvad-i386-probe.XXXXXX")
trap 'rm -f "$probe"' EXIT
{
  # ELF header: 32-bit, little endian, executable for i386, entry 0x08048054.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  # One loadable segment: the whole file at 0x08048000, readable and executable.
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  # mov ebx, 42; mov eax, 1 (exit); int 0x80
  printf '\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'
} >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
rc=$?
if [ "$rc" -ne 42 ]; then
  echo "the kernel does not run 32-bit programs (a static i386 program gave status $rc)"
  exit 1
fi
exit 0
