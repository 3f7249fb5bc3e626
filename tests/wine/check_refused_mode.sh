#!/usr/bin/env bash
# Where the display cannot change depth (an X server without RandR, so Wine
# offers only the desktop's own mode), tower.exe shows its "Display Error" box
# before any window, and once the user dismisses it the program ends by itself
# with exit code 1, as every failed start does. This also proves the other
# checks would see such a box.
set -euo pipefail
# shellcheck source=tests/wine/lib.sh
source "$(dirname "$0")/lib.sh"

xvfb_start -screen 0 800x600x24 -extension RANDR
start_tower

read -r kind id < <(wait_window_or_box 30) || fail "neither box nor window appeared within 30 s"
[ "$kind" = box ] || fail "no Display Error box: the 16-bit switch was accepted without RandR"
# The box is modal and comes before CreateWindowExA.
[ -z "$(find_window "OpenGL base code")" ] || fail "the window exists while the box is up"

dismiss_box "$id"
wait_tower 15 || fail "still running 15 s after the box was dismissed"
[ "$TOWER_RC" = 1 ] || fail "exit code $TOWER_RC after the refused switch, expected 1"
