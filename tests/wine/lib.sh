# Shared by the Wine checks: tower.exe under Wine on a private X server
# (xvfb_start, from scripts/lib.sh), and leaving nothing behind. Each check
# is its own bash process that sources this.
# The driver exports TOWER_EXE, WINEPREFIX, WINELOADER (and WINEDLLPATH),
# TOWER_WINE_MODE (i686, wow64 or x64), TOWER_WINE_TOOLS and
# TOWER_SCREEN_CHECK.
# shellcheck shell=bash
# TOWER_RC and the other results are read by the checks that source this.
# shellcheck disable=SC2034

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

# Quiet, but for the line in which Wine says it starts a program through WoW64.
export WINEDEBUG=-all,err+environ

TOWER_PID=
TOWER_RC=
TOWER_LOG=
CHECK_TMP=$(mktemp -d "${TMPDIR:-/tmp}/tower-wine.XXXXXX")

# Say why the check failed and end it.
fail()
{
    echo "  $*" >&2
    if [ -n "$TOWER_LOG" ] && [ -s "$TOWER_LOG" ]; then
        echo "  --- tower.exe output:" >&2
        sed 's/^/  | /' "$TOWER_LOG" | tail -20 >&2
    fi
    exit 1
}

# Run tower.exe in the background, bounded by a timeout.
start_tower()
{
    TOWER_LOG="$CHECK_TMP/tower.log"
    timeout -k 5 60 "$WINELOADER" "$TOWER_EXE" >"$TOWER_LOG" 2>&1 &
    TOWER_PID=$!
}

# Wait up to $1 seconds for tower.exe to end; its exit code goes to TOWER_RC
# (124 if the timeout ended it, empty if it is still running). Under wow64,
# Wine must have said that it ran tower.exe through WoW64, and the line is
# shown.
wait_tower()
{
    local limit=$1 said
    TOWER_RC=
    for _ in $(seq $((limit * 10))); do
        if ! kill -0 "$TOWER_PID" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    if kill -0 "$TOWER_PID" 2>/dev/null; then
        return 1
    fi
    wait "$TOWER_PID" && TOWER_RC=0 || TOWER_RC=$?
    TOWER_PID=
    if [ "${TOWER_WINE_MODE:-}" = wow64 ]; then
        said=$(grep -o 'starting .*tower\.exe" in experimental wow64 mode' "$TOWER_LOG") ||
            fail "Wine did not say that it ran tower.exe through WoW64"
        echo "  wine: $said"
    fi
}

# The X id of the first top-level window whose title is exactly $1, or
# nothing.
find_window()
{
    # xdotool fails when nothing matches; that is an answer, not an error.
    { xdotool search --name "^$1\$" 2>/dev/null || true; } | head -n1
}

# Wait up to $1 seconds for either the program's window or its "Display
# Error" box; prints "window ID" or "box ID", or nothing on timeout.
wait_window_or_box()
{
    local limit=$1 id
    for _ in $(seq $((limit * 5))); do
        id=$(find_window "Display Error")
        if [ -n "$id" ]; then
            echo "box $id"
            return 0
        fi
        id=$(find_window "OpenGL base code")
        if [ -n "$id" ]; then
            echo "window $id"
            return 0
        fi
        kill -0 "$TOWER_PID" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}

# Dismiss a message box the way a user does: focus it and press Return.
dismiss_box()
{
    # --sync waits for the focus to arrive, so bound it.
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || true
    xdotool key Return
}

# Wait for the tower's window and put its id in TOWER_WINDOW; a Display Error
# box in its place fails the check, once dismissed so nothing is left waiting.
wait_tower_window()
{
    local kind id
    read -r kind id < <(wait_window_or_box 30) || fail "no window appeared within 30 s"
    if [ "$kind" = box ]; then
        dismiss_box "$id"
        fail "the switch to 16-bit colour was refused (Display Error box)"
    fi
    TOWER_WINDOW=$id
}

# Fail unless window $1 is viewable and covers the whole root window.
expect_covers_screen()
{
    local info root x y w h state rw rh
    # The window exists from CreateWindowExA on, but WM_CREATE shows it only
    # after the GL set-up.
    for _ in $(seq 50); do
        info=$(xwininfo -id "$1") || fail "window $1 vanished"
        grep -q 'Map State: IsViewable' <<<"$info" && break
        sleep 0.2
    done
    root=$(xwininfo -root)
    x=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/^ *Width: *//p' <<<"$info")
    h=$(sed -n 's/^ *Height: *//p' <<<"$info")
    state=$(sed -n 's/^ *Map State: *//p' <<<"$info")
    rw=$(sed -n 's/^ *Width: *//p' <<<"$root")
    rh=$(sed -n 's/^ *Height: *//p' <<<"$root")
    [ "$state" = IsViewable ] || fail "window still not viewable after 10 s (map state $state)"
    [ "$x,$y,$w,$h" = "0,0,$rw,$rh" ] ||
        fail "window is ${w}x$h at ($x,$y), the screen ${rw}x$rh"
}

# Fail unless, within $1 seconds, the screen shows the tower at depth $2 (the
# first frames may still be on their way).
expect_tower_on_screen()
{
    local limit=$1 depth=$2
    for _ in $(seq $((limit * 2))); do
        if "$TOWER_SCREEN_CHECK" --expect-depth "$depth" >"$CHECK_TMP/screen.log" 2>&1; then
            return 0
        fi
        sleep 0.5
    done
    fail "the screen does not show the tower: $(tail -5 "$CHECK_TMP/screen.log")"
}

# Press and release Escape through XTEST, as a user at the keyboard would.
press_escape()
{
    xdotool keydown Escape
    sleep 0.1
    xdotool keyup Escape
}

# Stop everything this check started: the program and the prefix's other Wine
# processes, then the X server.
cleanup()
{
    if [ -n "$TOWER_PID" ]; then
        kill "$TOWER_PID" 2>/dev/null || true
    fi
    timeout 20 wineserver -k 2>/dev/null || true
    if [ -n "$TOWER_PID" ]; then
        wait "$TOWER_PID" 2>/dev/null || true
    fi
    xvfb_stop
    rm -rf "$CHECK_TMP"
}
trap cleanup EXIT
