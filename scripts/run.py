"""scripts/run: build the program and run it: on the desktop when there is one (X11 or Wayland);
otherwise on a private Xvfb for a few seconds, with a screenshot in build/tower.png, ended by
Escape as a user would.

scripts/run --web builds the web page instead and serves it on 127.0.0.1; without a display,
headless Chromium shows it and build/tower-web.png keeps what it showed."""
import os
import subprocess
import sys
import time

import lib


def web():
    headless = not os.environ.get("DISPLAY")
    lib.ensure_packages("cmake", "make", *lib.WEB, *(lib.BROWSER if headless else []))
    if headless:
        lib.puppeteer()
    lib.build("web", "tower")
    os.chdir(lib.ROOT)
    os.execvp("node", ["node", "tests/web/show.js", "build/web"])


def main(args):
    if args == ["--web"]:
        return web()
    if args:
        print("usage: scripts/run [--web]", file=sys.stderr)
        return 2
    headless = not os.environ.get("DISPLAY") and not os.environ.get("WAYLAND_DISPLAY")
    lib.ensure_packages(*lib.BUILD, *(["xvfb", "xauth", "xdotool", "imagemagick"] if headless
                                      else []))
    # The program alone: the tests and benchmarks need packages a user running it does not.
    program = os.path.join(lib.build("linux-program", "tower"), "tower")
    if not headless:
        status = lib.exit_code(subprocess.run([program]))
        print(f"tower exited with code {status}")
        return status

    with lib.xvfb("1280x720x24") as display:
        print(f"Running on a private Xvfb at {display}")
        env = dict(os.environ, DISPLAY=display)
        with lib.running([program], env=env) as tower:
            time.sleep(3)
            if tower.poll() is not None:
                print("tower ended by itself within 3 seconds, with code "
                      f"{lib.exit_code(tower)}", file=sys.stderr)
                return 1
            screenshot = os.path.join(lib.ROOT, "build", "tower.png")
            subprocess.run(["import", "-window", "root", screenshot], env=env, check=True)
            print("Screenshot: build/tower.png")
            status = lib.end_with_escape(tower, env)
            if status is None:
                print("tower was still running 10 seconds after Escape", file=sys.stderr)
                return 1
    print(f"tower exited with code {status}")
    return status


if __name__ == "__main__":
    lib.main(main, sys.argv[1:])
