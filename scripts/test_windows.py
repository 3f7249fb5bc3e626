"""scripts/test-windows: build both Windows executables with MinGW-w64 and check them: each
one's image, imports and manifest always, and the behaviour of one of them under Wine, the way
lib.wine_choose picks: the 32-bit tower.exe that ships, under 32-bit Wine or else under 64-bit
Wine's WoW64, or the x64 build only where neither can run (TOWER_WINE_ARCH=i686, wow64 or x64
asks for one). The checks are tests/wine/wine_checks.py's."""
import os
import re
import subprocess
import sys
import time

import lib

# The preset and the MinGW-w64 tool prefix of each architecture.
BUILDS = {"x86": ("windows-i686", "i686-w64-mingw32"), "x64": ("windows-x64", "x86_64-w64-mingw32")}
CHECKS = os.path.join(lib.ROOT, "tests", "wine", "wine_checks.py")


class Tally:
    passed = failed = 0

    def check(self, name, what, **env):
        """Run one check with a hard time limit and report it."""
        started = time.monotonic()
        result = subprocess.run(["timeout", "-k", "10", "120", sys.executable, CHECKS, name],
                                env=dict(os.environ, **env), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, errors="replace")
        # Each check stops its own Wine; this catches one that was killed first.
        if "WINEPREFIX" in os.environ:
            lib.wine_stop()
        if result.returncode == 0:
            print(f"PASS: {name}, {what} ({time.monotonic() - started:.0f} s)")
            print("".join(re.findall(r"^  (?:stripped|wine):.*\n", result.stdout, re.M)), end="")
            self.passed += 1
        else:
            timed_out = "  timed out after 120 s\n" if result.returncode == 124 else ""
            print(f"FAIL: {name}, {what} (exit {result.returncode})\n{result.stdout}{timed_out}",
                  end="")
            self.failed += 1

    def fail(self, what, detail=""):
        print(f"FAIL: {what}" + (f"\n{detail}" if detail else ""))
        self.failed += 1


def say(failure):
    if str(failure):
        print(failure, file=sys.stderr)


def wine_ready(tally):
    """Choose the way and make its prefix, where the way is settled, as WoW64 is tried there;
    the record of the way, or None once the failure is told."""
    try:
        wine = lib.wine_choose()
    except lib.Failure as failure:
        say(failure)
        return tally.fail("installing Wine")
    # The screen checker models the tower independently of any GL. It is a Linux tool: the
    # linux preset's.
    if "TOWER_SCREEN_CHECK" not in os.environ:
        try:
            os.environ["TOWER_SCREEN_CHECK"] = os.path.join(
                lib.build("linux", "tower_screen_check", quiet=True), "tests", "e2e",
                "tower_screen_check")
        except lib.Failure as failure:
            return tally.fail("no screen checker", str(failure))
    log = os.path.join(lib.ROOT, "build", BUILDS[wine.arch][0], "wineboot.log")
    try:
        with lib.output_to(log):
            try:
                lib.wine_prefix(wine, os.path.join(os.path.dirname(log), "wineprefix"))
            except lib.Failure as failure:
                say(failure)
                raise
    except lib.Failure:
        with open(log) as f:
            return tally.fail("wine prefix (Wine is installed, but its prefix cannot be made)",
                              f.read().rstrip("\n"))
    return wine


def main():
    started = time.monotonic()
    # The screen checker is built from the Linux test tree, which wants the program's packages,
    # GoogleTest and libpng.
    lib.ensure_packages(*lib.BUILD, *lib.TEST_TREE, *lib.WINDOWS, "icoutils", "xvfb", "xauth",
                        "xdotool", "x11-utils")
    for preset, _ in BUILDS.values():
        print(f"== Windows build ({preset})")
        lib.build(preset)
    tally = Tally()

    print("== Static checks")
    for arch, (preset, tools) in BUILDS.items():
        tally.check("static", f"build/{preset}/tower.exe", TOWER_ARCH=arch,
                    TOWER_EXE=os.path.join(lib.ROOT, "build", preset, "tower.exe"),
                    TOWER_OBJDUMP=f"{tools}-objdump", TOWER_STRIP=f"{tools}-strip")

    print("== Wine")
    wine = wine_ready(tally)
    if wine:
        exe = f"build/{BUILDS[wine.arch][0]}/tower.exe"
        print(f"wine: {wine.mode}: {wine.what}; {wine.why}")
        print(f"wine: the checks run {exe} under {wine.loader.removeprefix(lib.ROOT + '/')}")
        os.environ.pop("DISPLAY", None)
        for name in ("escape", "close", "16bit_screen", "refused_mode"):
            tally.check(name, f"{exe} under Wine ({wine.mode})", TOWER_WINE_MODE=wine.mode,
                        TOWER_EXE=os.path.join(lib.ROOT, exe))

    print(f"took {time.monotonic() - started:.0f} s")
    print(f"wine: {tally.passed} passed, {tally.failed} failed")
    return 1 if tally.failed else 0


if __name__ == "__main__":
    lib.main(main)
