#!/usr/bin/env bash
# tower.exe, as built for TOWER_ARCH (x86 or x64), is a GUI program of that
# machine type that imports only DLLs every Windows has, carries a manifest
# naming its own architecture, DPI-aware and claiming no Windows 8 or later,
# has the tower as its first icon, and stays small once stripped. These need
# no Wine, so they run everywhere.
set -euo pipefail
# The driver exports TOWER_EXE, TOWER_ARCH, TOWER_OBJDUMP and TOWER_STRIP.

fail()
{
    echo "  $*" >&2
    exit 1
}

case $TOWER_ARCH in
x86) format=pei-i386 magic=10b kind=PE32 manifest_arch=x86 ;;
x64) format=pei-x86-64 magic=20b kind=PE32+ manifest_arch=amd64 ;;
*) fail "unknown TOWER_ARCH '$TOWER_ARCH'" ;;
esac

headers=$("$TOWER_OBJDUMP" -p "$TOWER_EXE") || fail "objdump cannot read $TOWER_EXE"

grep -q "file format $format\$" <<<"$headers" || fail "not a $format image"
grep -q "^Magic.*$magic" <<<"$headers" || fail "not a $kind image"
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

# The manifest is stored verbatim, as UTF-8, in the resource section. Wine
# ignores its architecture; Windows refuses to start a program whose manifest
# names another one.
arches=$(grep -ao 'processorArchitecture="[^"]*"' "$TOWER_EXE" | sort -u) ||
    fail "no processorArchitecture in the embedded manifest"
[ "$arches" = "processorArchitecture=\"$manifest_arch\"" ] ||
    fail "the manifest names $arches, the image is $manifest_arch"
grep -aq '<dpiAware[^>]*>true</dpiAware>' "$TOWER_EXE" || fail "no DPI-aware manifest embedded"
# Windows 8, 8.1 and 10/11: declaring any of them loses the 16-bit modes.
for guid in 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
    8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    if grep -aqi "$guid" "$TOWER_EXE"; then
        fail "the manifest claims Windows 8 or later ($guid)"
    fi
done

# Explorer shows the first icon group. wrestool rebuilds it as an .ico file,
# padded with zeros at the end; up to there it must be ours, byte for byte.
icon=$TOWER_ROOT/icon/tower.ico
first_group=$(wrestool -l --type=14 "$TOWER_EXE" | head -n1 | grep -o -- '--name=[^ ]*') ||
    fail "no icon resource"
extracted=$(mktemp)
trap 'rm -f "$extracted"' EXIT
wrestool -x --type=14 "$first_group" -o "$extracted" "$TOWER_EXE" ||
    fail "wrestool cannot extract the icon group ($first_group)"
cmp -s -n "$(stat -c %s "$icon")" "$extracted" "$icon" ||
    fail "the first icon group ($first_group) is not icon/tower.ico"

# The code, stripped, is what a runtime dragged in by accident would swell;
# resources are left out of the budget.
stripped=$(mktemp)
trap 'rm -f "$extracted" "$stripped"' EXIT
"$TOWER_STRIP" -o "$stripped" "$TOWER_EXE"
size=$(stat -c %s "$stripped")
rsrc=$("$TOWER_OBJDUMP" -h "$stripped" | awk '$2 == ".rsrc" { print $3 }')
code=$((size - 16#${rsrc:-0}))
echo "  stripped: $size bytes, $code without resources"
[ "$code" -le 32768 ] || fail "stripped, the code is $code bytes; the budget is 32 KiB"
