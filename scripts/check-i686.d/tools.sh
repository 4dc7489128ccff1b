# Setup tools of the 32-bit build (sourced by scripts/check-i686.sh): the
# console tools are console programs, the launcher opens no console.
subsystem_is() {  # file, "Windows GUI" or "Windows CUI"
  $objdump -p "$1" | grep -E '^Subsystem' | grep -q "($2)"
}
for t in qvademenv qvadrmenv qvadrepini qvadaddservice qvaddelservice qvadmsgdllreg qvadmsgdllunreg; do
  check "$t.exe is built" test -f "$bin/$t.exe"
  [ -f "$bin/$t.exe" ] && check "$t.exe is a console program" subsystem_is "$bin/$t.exe" "Windows CUI"
done
check "runhidden.exe is built" test -f "$bin/runhidden.exe"
[ -f "$bin/runhidden.exe" ] && check "runhidden.exe is a windowed program" subsystem_is "$bin/runhidden.exe" "Windows GUI"
