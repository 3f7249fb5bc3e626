#!/usr/bin/env bash
# A rough look at $DISPLAY's root window for the tower: black corners (the
# clear colour, where the tower never reaches) and the many distinct colours
# that only the smooth-shaded triangles produce. Used when the precise checker
# from the Linux build is not there.
set -euo pipefail

shot=$(mktemp --suffix=.png)
trap 'rm -f "$shot"' EXIT

import -window root "$shot"
read -r w h < <(identify -format '%w %h\n' "$shot")
colours=$(identify -format '%k' "$shot")
for corner in "0,0" "$((w - 1)),0" "0,$((h - 1))" "$((w - 1)),$((h - 1))"; do
    pixel=$(identify -format "%[pixel:p{$corner}]" "$shot")
    case "$pixel" in
    "srgb(0,0,0)" | black | "gray(0)") ;;
    *)
        echo "corner ($corner) is $pixel, not black"
        exit 1
        ;;
    esac
done
if [ "$colours" -lt 500 ]; then
    echo "only $colours distinct colours on the screen"
    exit 1
fi
