#!/usr/bin/env bash
# tower.exe is a 32-bit GUI program that imports only DLLs every Windows has,
# and carries its manifest: DPI-aware, and no claim to Windows 8 or later.
set -euo pipefail
# The driver exports TOWER_EXE and TOWER_OBJDUMP.

fail()
{
    echo "  $*" >&2
    exit 1
}

headers=$("$TOWER_OBJDUMP" -p "$TOWER_EXE") || fail "objdump cannot read $TOWER_EXE"

grep -q '^Magic.*10b' <<<"$headers" || fail "not a PE32 (32-bit) image"
grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI-subsystem executable"

allowed='^(KERNEL32|USER32|GDI32|OPENGL32|GLU32|msvcrt)\.dll$'
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ -n "$dlls" ] || fail "no imports found"
for dll in $dlls; do
    grep -qiE "$allowed" <<<"$dll" || fail "imports $dll, which is not a system DLL"
done
for dll in KERNEL32 USER32 GDI32 OPENGL32 GLU32; do
    grep -qix "$dll.dll" <<<"$dlls" || fail "does not import $dll.dll"
done

# The manifest is stored verbatim, as UTF-8, in the resource section.
grep -aq '<dpiAware[^>]*>true</dpiAware>' "$TOWER_EXE" || fail "no DPI-aware manifest embedded"
# Windows 8, 8.1 and 10/11: declaring any of them loses the 16-bit modes.
for guid in 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
    8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    if grep -aqi "$guid" "$TOWER_EXE"; then
        fail "the manifest claims Windows 8 or later ($guid)"
    fi
done
