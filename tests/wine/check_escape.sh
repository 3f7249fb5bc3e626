#!/usr/bin/env bash
# On an ordinary 24-bit desktop tower.exe switches to 16-bit colour without a
# "Display Error" box, covers the screen, draws the tower, and ends with exit
# code 0 when Escape is pressed.
set -euo pipefail
# shellcheck source=tests/wine/lib.sh
source "$(dirname "$0")/lib.sh"

xvfb_start -screen 0 1024x768x24
start_tower

wait_tower_window
id=$TOWER_WINDOW
expect_covers_screen "$id"
expect_tower_on_screen 10 24
[ -z "$(find_window "Display Error")" ] || fail "a Display Error box is showing"

press_escape
wait_tower 10 || fail "still running 10 s after Escape"
[ "$TOWER_RC" = 0 ] || fail "exit code $TOWER_RC after Escape, expected 0"
