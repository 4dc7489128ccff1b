# Helpers shared by the package tests (sourced): a named check that counts
# passes and failures, tree listings and binary inspections.
pass=0
fail=0
check() {  # description command...
  local what=$1; shift
  if "$@"; then
    pass=$((pass + 1))
  else
    echo "FAIL: $what"
    fail=$((fail + 1))
    return 1
  fi
}
summary() {  # name
  echo "$1: $pass passed, $fail failed"
  [ "$fail" -eq 0 ]
  exit
}
# Every file and link under a folder, and every empty folder (with a
# trailing slash), relative to it, sorted; links show their target.
tree_list() {
  (cd "$1" && find . -mindepth 1 \( -type d -empty -printf '%P/\n' \) -o \( -type l -printf '%P -> %l\n' \) \
    -o \( ! -type d -printf '%P\n' \)) | LC_ALL=C sort
}
same_list() {  # expected-file actual-file
  diff <(LC_ALL=C sort "$1") "$2" >/tmp/qvad-diff.$$ && { rm -f /tmp/qvad-diff.$$; return 0; }
  sed 's/^/    /' /tmp/qvad-diff.$$
  rm -f /tmp/qvad-diff.$$
  return 1
}
# Every ELF file under a folder has RUNPATH $ORIGIN and no RPATH.
clean_runpaths() {
  local f bad=0 n=0
  while IFS= read -r f; do
    head -c 4 "$f" | grep -q $'\x7fELF' || continue
    n=$((n + 1))
    local dyn
    dyn=$(readelf -d "$f")
    if grep -q '(RPATH)' <<<"$dyn"; then echo "    $f has an RPATH"; bad=1; fi
    local rp
    rp=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p' <<<"$dyn")
    if [ "$rp" != '$ORIGIN' ]; then echo "    $f: RUNPATH [$rp]"; bad=1; fi
  done < <(find "$1" -type f)
  [ "$n" -gt 0 ] && [ "$bad" -eq 0 ]
}
project_version() {  # the folder of this script
  sed -n 's/^project(qvadnerl VERSION \([0-9.]*\).*/\1/p' "$1/../../CMakeLists.txt"
}
version_is() {  # program version
  local out
  out=$("$1" --version) || return 1
  [[ $out == *" $2" ]] || { echo "    $1 --version: $out"; return 1; }
}
