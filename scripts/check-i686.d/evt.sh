# Checks of the event service's deliverables in the 32-bit build: the console
# stand-in exports cnsput3 at ordinal 9, the service imports it by that
# ordinal alone, and the message library carries its message table.
imports_ordinal() {  # file dll ordinal
  $objdump -p "$1" | awk -v d="$2" -v o="$3" '
    /DLL Name:/ {inside = ($3 == d)}
    inside && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && ($2 + 0) == o && $3 == "<none>" {found = 1}
    END {exit found ? 0 : 1}'
}
has_message_table() { $objdump -h "$1" | grep -q '\.rsrc'; }
check "QVCNSPUT.dll exports cnsput3 at 9" exports_at "$bin/QVCNSPUT.dll" cnsput3 9
check "qvadovevt.exe imports cnsput3 by ordinal 9" imports_ordinal "$bin/qvadovevt.exe" QVCNSPUT.dll 9
check "RazMessage.dll carries its message table" has_message_table "$bin/RazMessage.dll"
