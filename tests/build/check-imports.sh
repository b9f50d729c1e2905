#!/bin/bash
# Checks that the installer imports at load time only DLLs the system loads from
# its own folder whatever lies beside the program (its known DLLs, and comctl32
# through the manifest's side-by-side entry). Any other DLL would be looked for
# in the program's folder first (a Downloads folder), before the program's first
# line; such DLLs are delay-loaded (cmake/delay_load.cmake) once the program has
# restricted the search to the system folder.
# Usage: check-imports.sh <exe>
set -u
exe="$1"
headers="$(x86_64-w64-mingw32-objdump -p "$exe")" || { echo "objdump failed"; exit 1; }
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|msvcrt|gdiplus|comctl32)\.dll$'
# objdump lists the import table's DLLs; delay-loaded ones are not among them.
static="$(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}')"
[ -n "$static" ] || { echo "no imports found"; exit 1; }
failures=0
for dll in $static; do
    if ! grep -Eq "$allowed" <<<"$dll"; then
        echo "FAIL: $dll is imported at load time: it would be looked for beside the program first"
        failures=$((failures + 1))
    fi
done
echo "imported at load time: $(echo $static)"
if [ "$failures" -eq 0 ]; then echo "imports OK"; exit 0; fi
exit 1
