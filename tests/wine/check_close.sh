#!/usr/bin/env bash
# Closing the window, as a window manager's close button asks for it, ends
# tower.exe with exit code 0.
set -euo pipefail
# shellcheck source=tests/wine/lib.sh
source "$(dirname "$0")/lib.sh"

xvfb_start -screen 0 1024x768x24
start_tower

wait_tower_window
id=$TOWER_WINDOW
# Close it only once it is drawing, so the message goes through the frame loop.
expect_tower_on_screen 10 24

"$TOWER_WINE_TOOLS/close_window" "$id" || fail "could not send WM_DELETE_WINDOW"
wait_tower 10 || fail "still running 10 s after the window was closed"
[ "$TOWER_RC" = 0 ] || fail "exit code $TOWER_RC after closing the window, expected 0"
