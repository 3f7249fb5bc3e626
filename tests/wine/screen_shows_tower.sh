#!/usr/bin/env bash
# A rough look at $DISPLAY's root window for the tower: black corners (the
# clear colour, where the tower never reaches) and the many distinct colours
# that only the smooth-shaded triangles produce. Used when tower_screen_check
# cannot be built; it takes the same --expect-depth N.
set -euo pipefail

if [ "${1:-}" = --expect-depth ] && [ -n "${2:-}" ]; then
    depth=$(xdpyinfo | sed -n 's/^ *depth of root window: *\([0-9]*\) planes/\1/p')
    if [ "$depth" != "$2" ]; then
        echo "depth $depth, expected $2"
        exit 1
    fi
fi

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
