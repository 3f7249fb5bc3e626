#!/usr/bin/env bash
# On a desktop that is already 16-bit the switch is a formality: tower.exe
# still covers the screen, draws the tower and ends with 0 on Escape.
set -euo pipefail
# shellcheck source=tests/wine/lib.sh
source "$(dirname "$0")/lib.sh"

xvfb_start -screen 0 800x600x16
start_tower

wait_tower_window
id=$TOWER_WINDOW
expect_covers_screen "$id"
expect_tower_on_screen 10 16

press_escape
wait_tower 10 || fail "still running 10 s after Escape"
[ "$TOWER_RC" = 0 ] || fail "exit code $TOWER_RC after Escape, expected 0"
