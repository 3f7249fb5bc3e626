"""scripts/run --web: serve the page on 127.0.0.1 and print its address.

    python3 tests/web/serve_page.py BUILD_WEB_DIR

With a display it serves until Ctrl-C, for a browser of the user's. Without
one it shows the page to headless Chromium for a few seconds instead, saves
what it showed to build/tower-web.png, presses Escape, and exits with the
program's exit code, as scripts/run does on a private Xvfb."""
import gzip
import os
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402


def page_size(folder):
    total = 0
    for name in ("index.html", "tower.js", "tower.wasm", "favicon.png"):
        with open(os.path.join(folder, name), "rb") as f:
            total += len(gzip.compress(f.read(), 9))
    return total


def headless(url, screenshot):
    page = browser.Chromium(1280, 720)
    try:
        page.set_viewport(1280, 720)
        page.open(url)
        page.wait_for("typeof TowerWeb == 'object' && TowerWeb.frames > 0", timeout=30)
        time.sleep(3)
        if page.evaluate("TowerWeb.ended"):
            print("the program ended by itself within 3 seconds, with code %s"
                  % page.evaluate("TowerWeb.exitCode"), file=sys.stderr)
            return 1
        page.screenshot(screenshot)
        print("Screenshot:", os.path.relpath(screenshot))
        page.press("Escape", "Escape", 27)
        page.wait_for("TowerWeb.ended", timeout=10)
        code = page.evaluate("TowerWeb.exitCode")
        print("The page says:", page.evaluate("Module.statusLine.textContent"))
        return code
    except browser.BrowserError as e:
        print(e, file=sys.stderr)
        print("page console:", *page.console, sep="\n  ", file=sys.stderr)
        return 1
    finally:
        page.close()


def main():
    folder = sys.argv[1]
    server = browser.Server(folder)
    print("Serving %s (%.1f KB gzipped) at %s" % (folder, page_size(folder) / 1000, server.url))
    try:
        if os.environ.get("DISPLAY"):
            print("Open that address in a browser; Ctrl-C stops serving.")
            while True:
                time.sleep(3600)
        screenshot = os.path.join(os.path.dirname(os.path.abspath(folder)), "tower-web.png")
        return headless(server.url, screenshot)
    except KeyboardInterrupt:
        return 0
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
