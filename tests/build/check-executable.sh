#!/bin/bash
# Checks the installer executable's PE header, imports, embedded manifest and size.
# Usage: check-executable.sh <exe> [build type]
set -u
exe="$1"
build_type="${2:-}"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers="$(x86_64-w64-mingw32-objdump -p "$exe")" || { echo "objdump failed"; exit 1; }
grep -q 'file format pei-x86-64' <<<"$headers" || fail "not a PE32+ x86-64 image"
grep -Eq '^Subsystem\s+0*2\b' <<<"$headers" || fail "not a Windows GUI subsystem image"

# Windows system DLLs only: no C++ runtime, libgcc or winpthread DLLs.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|msimg32|gdiplus|d2d1|dwrite|wininet|msi|msvcrt|uxtheme|version|ws2_32|crypt32|imm32|winmm|rpcrt4|dwmapi|bcrypt|oleacc|api-ms-win-[a-z0-9-]+)\.dll$'
imports="$(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}')"
[ -n "$imports" ] || fail "no imports found"
for dll in $imports; do
    grep -Eq "$system_dlls" <<<"$dll" || fail "imports a non-system DLL: $dll"
done

manifest="$(x86_64-w64-mingw32-strings -n 8 "$exe" | tr -d '\r')"
grep -q 'requestedExecutionLevel level="requireAdministrator"' <<<"$manifest" || fail "manifest does not require administrator"
grep -q '<dpiAware[^>]*>true</dpiAware>' <<<"$manifest" || fail "manifest is not DPI-aware"
grep -q 'Microsoft.Windows.Common-Controls' <<<"$manifest" || fail "manifest does not ask for common controls 6"

if [ "$build_type" = Release ]; then
    x86_64-w64-mingw32-objdump -h "$exe" | grep -q ' \.debug_' && fail "a release image carries debug sections"
fi

# The installer is a download: a release image stays within 640 KiB.
size="$(stat -c %s "$exe")"
limit=$((640 * 1024))
if [ "$build_type" = Release ] && [ "$size" -gt "$limit" ]; then
    fail "the image is $size bytes, above the limit of $limit"
fi

echo "imports: $(echo $imports)"
echo "size: $size bytes ($((size / 1024)) KiB; a release image may have up to $((limit / 1024)) KiB)"
if [ "$failures" -eq 0 ]; then echo "executable image OK"; exit 0; fi
exit 1
