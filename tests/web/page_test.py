"""The web page in a real browser: Debian's headless Chromium loads build/web
from 127.0.0.1, and what it shows is judged by the same screen checker as the
desktop builds.

    python3 tests/web/page_test.py BUILD_WEB_DIR TOWER_SCREEN_CHECK

1. The tower draws on load; a click takes the page full-screen and the prompt
   goes; two screenshots are frames of the tower model, the later one further
   on; a smaller viewport is followed, projection included; Escape ends the
   program with code 0 on the page, and the last frame stays.
2. Closing the page (its pagehide event) ends the program with code 0.
3. Without WebGL (--disable-webgl) the context's box shows, waits for OK, and
   the program ends with code 1, as every failed start does.
Exit status 0 when all of it holds, 1 when something does not."""
import contextlib
import os
import re
import subprocess
import sys
import tempfile
import time

# The harness beside this file, without leaving compiled copies in the tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

WIDTH, HEIGHT = 1024, 768
ENDED = "The program ended with exit code 0."
FAILED = "The program ended with exit code 1."


class Failed(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failed(what)
    print("ok:", what)


def check_screen(checker, png):
    """Runs the screen checker on a screenshot; returns the frame it matched."""
    run = subprocess.run([checker, "--png", png], capture_output=True, text=True, timeout=120)
    print(run.stdout.rstrip())
    if run.returncode != 0:
        raise Failed("the screen checker rejects %s:\n%s" % (png, run.stderr))
    return int(re.search(r"best frame (\d+)", run.stdout).group(1))


def status(page):
    return page.evaluate("Module.statusLine.hidden ? '' : Module.statusLine.textContent")


@contextlib.contextmanager
def chromium(*flags):
    """A browser with one page, whose console is shown when a step fails."""
    page = browser.Chromium(WIDTH, HEIGHT, flags)
    try:
        yield page
    except Exception:
        print("page console:", *page.console, sep="\n  ")
        raise
    finally:
        page.close()


def frames_after(page, count):
    """Waits until the program has presented `count` more frames."""
    start = page.evaluate("TowerWeb.frames")
    page.wait_for("TowerWeb.frames >= %d" % (start + count))


def the_tower(server, checker, shots):
    with chromium() as page:
        # Screen and viewport one size, so going full-screen changes no size.
        page.set_viewport(WIDTH, HEIGHT)
        page.open(server.url)
        page.wait_for("typeof TowerWeb == 'object' && TowerWeb.frames > 10")
        expect(page.evaluate("[TowerWeb.canvas.width, TowerWeb.canvas.height]") == [WIDTH, HEIGHT],
               "the window is the page's size, %dx%d" % (WIDTH, HEIGHT))
        expect(status(page).startswith("Click or press a key for full screen"),
               "a prompt invites full-screen")
        page.click(WIDTH // 2, HEIGHT // 2)
        page.wait_for("!!document.fullscreenElement && Module.statusLine.hidden")
        print("ok: a click takes the page full-screen and the prompt goes")

        first, second = (os.path.join(shots, name) for name in ("first.png", "second.png"))
        page.screenshot(first)
        frames_after(page, 20)
        page.screenshot(second)
        a, b = check_screen(checker, first), check_screen(checker, second)
        expect(b > a, "both screenshots are the tower, the second further on (%d, %d)" % (a, b))

        page.set_viewport(800, 600)
        page.wait_for("TowerWeb.canvas.width == 800 && TowerWeb.canvas.height == 600")
        frames_after(page, 5)
        smaller = os.path.join(shots, "800x600.png")
        page.screenshot(smaller)
        check_screen(checker, smaller)
        print("ok: the window follows the viewport to 800x600, projection included")

        last = page.evaluate("TowerWeb.frames")
        page.press("Escape", "Escape", 27)
        page.wait_for("TowerWeb.ended")
        expect(status(page) == ENDED, "Escape ends the program: " + status(page))
        expect(not page.evaluate("!!document.fullscreenElement"), "the page left full-screen")
        # The status line is checked above; the picture beneath it is checked here.
        page.evaluate("Module.statusLine.hidden = true")
        ended = os.path.join(shots, "ended.png")
        page.screenshot(ended)
        frame = check_screen(checker, ended)
        expect(frame >= last - 1, "the last frame stays (frame %d)" % frame)
        expect(not page.evaluate("!!document.querySelector('dialog')"), "no box was shown")


def closing(server):
    with chromium() as page:
        page.open(server.url)
        page.wait_for("typeof TowerWeb == 'object' && TowerWeb.frames > 10")
        # What the browser sends as the tab closes; afterwards it would run
        # nothing more, so the test sends it to a page that stays.
        page.evaluate("window.dispatchEvent(new PageTransitionEvent('pagehide'))")
        page.wait_for("TowerWeb.ended")
        expect(status(page) == ENDED, "closing the page ends the program: " + status(page))


def without_webgl(server):
    with chromium("--disable-webgl") as page:
        page.open(server.url)
        page.wait_for("!!document.querySelector('dialog[open]')")
        box = page.evaluate("[...document.querySelectorAll('dialog[open] h1, dialog[open] p')]"
                            ".map(e => e.textContent)")
        expect(box == ["OpenGL Rendering Context Error",
                       "Failed to Create the OpenGL Rendering Context"],
               "without WebGL the context's box shows: %s" % box)
        time.sleep(0.5)
        expect(not page.evaluate("TowerWeb.ended"), "the program waits for the box")
        ok = page.evaluate("(() => { const r = document.querySelector('dialog[open] button')"
                           ".getBoundingClientRect(); return [r.x + r.width / 2, "
                           "r.y + r.height / 2]; })()")
        page.click(*ok)
        page.wait_for("TowerWeb.ended")
        expect(status(page) == FAILED, "after OK the program ends, failed: " + status(page))
        expect(not page.evaluate("!!document.querySelector('dialog')"), "no other box followed")
        expect("OpenGL Rendering Context Error: Failed to Create the OpenGL Rendering Context"
               in page.console, "the box is also on the console")


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[3].strip(), file=sys.stderr)
        return 2
    folder, checker = sys.argv[1], sys.argv[2]
    server = browser.Server(folder)
    try:
        with tempfile.TemporaryDirectory(prefix="tower-page-") as shots:
            the_tower(server, checker, shots)
        closing(server)
        without_webgl(server)
    except (Failed, browser.BrowserError) as e:
        print("FAIL:", e)
        return 1
    finally:
        server.close()
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
