#!/usr/bin/env python3
"""Build the Linux packages and check what a user gets from them.

Usage: check_package.py [--build-dir DIR] [--install]

Without --build-dir, the program alone is configured and built with the
linux-program preset. cpack then makes the .deb and the .tar.gz, and this checks:
  - both hold exactly the program, its menu entry, icons, manual page and
    docs, and nothing else (no tests, no benchmarks);
  - the .deb's Depends are the packages that own the libraries the binary
    links (read here with readelf and dpkg -S, not through CPack);
  - the menu entry passes desktop-file-validate and names the installed
    program and icon; the icons have the sizes their folders claim; the
    changelog's newest entry is the package's version;
  - lintian finds no error but those that need a licence text, and no
    warning that is not explained below;
  - the packaged program, started as the menu entry's Exec line starts it, on
    a private Xvfb, shows the tower (tower_screen_check) and ends with 0 on
    Escape.
With --install the .deb is installed with apt-get, dependencies and all, and
the installed program is the one run: for a fresh machine, since it changes
the system. Without it the program runs from the unpacked .deb.
"""

import argparse
import configparser
import glob
import gzip
import os
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from xvfb import xvfb  # noqa: E402 (the scripts' one way to start Xvfb)

# What the packages install, relative to the prefix.
EXPECTED_FILES = {
    "bin/tower",
    "share/applications/tower.desktop",
    "share/icons/hicolor/48x48/apps/tower.png",
    "share/icons/hicolor/128x128/apps/tower.png",
    "share/icons/hicolor/256x256/apps/tower.png",
    "share/man/man1/tower.1.gz",
    "share/doc/tower/README.md",
    "share/doc/tower/changelog.gz",
}

# lintian errors that only a licence text can mend; none is chosen yet.
AWAITING_LICENCE = {"no-copyright-file"}
# lintian warnings that are kept, each with its reason. None so far.
KEPT_WARNINGS = {}

SCREEN = "1024x768x24"


class Checks:
    def __init__(self):
        self.failed = 0
        self.passed = 0

    def report(self, ok, name, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS: {name}")
        else:
            self.failed += 1
            print(f"FAIL: {name}")
        if detail:
            print("  " + detail.rstrip().replace("\n", "\n  "))


def run(args, **kwargs):
    kwargs.setdefault("check", True)
    return subprocess.run(args, **kwargs)


def output(args, **kwargs):
    return run(args, capture_output=True, text=True, **kwargs).stdout


def build_packages(build_dir, configure):
    jobs = os.environ.get("TOWER_JOBS", "2")
    if configure:
        run(["cmake", "--preset", "linux-program"], cwd=ROOT, stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build_dir, "--target", "tower", "-j", jobs],
        stdout=subprocess.DEVNULL)
    for old in glob.glob(os.path.join(build_dir, "tower*.deb")) + \
            glob.glob(os.path.join(build_dir, "tower*.tar.gz")):
        os.remove(old)
    started = time.monotonic()
    run(["cpack"], cwd=build_dir, stdout=subprocess.DEVNULL)
    debs = glob.glob(os.path.join(build_dir, "tower_*.deb"))
    tarballs = glob.glob(os.path.join(build_dir, "tower-*.tar.gz"))
    if len(debs) != 1 or len(tarballs) != 1:
        sys.exit(f"cpack made {debs + tarballs}; expected one .deb and one .tar.gz")
    print(f"cpack: {os.path.basename(debs[0])} ({os.path.getsize(debs[0])} bytes), "
          f"{os.path.basename(tarballs[0])} ({os.path.getsize(tarballs[0])} bytes) "
          f"in {time.monotonic() - started:.0f} s")
    return debs[0], tarballs[0]


def build_screen_check(build_dir):
    """The screen checker of the end-to-end tests, built on its own: it needs
    only Xlib and libpng, where the test build needs GoogleTest."""
    exe = os.path.join(build_dir, "tower_screen_check")
    e2e = os.path.join(ROOT, "tests", "e2e")
    sources = [os.path.join(e2e, f) for f in ("screen_check.cpp", "screen_grab.cpp",
                                             "tower_model.cpp")]
    if not os.path.exists(exe) or any(os.path.getmtime(s) > os.path.getmtime(exe)
                                      for s in sources):
        run(["g++", "-std=c++17", "-O2", "-I" + e2e, *sources, "-o", exe, "-lX11", "-lpng"])
    return exe


def files_under(top):
    found = set()
    for folder, _, names in os.walk(top):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), top))
    return found


def compare_files(checks, name, found):
    missing = sorted(EXPECTED_FILES - found)
    extra = sorted(found - EXPECTED_FILES)
    detail = "".join([f"missing: {m}\n" for m in missing] + [f"unexpected: {e}\n" for e in extra])
    checks.report(not detail, name, detail)


def library_owners(binary):
    """The Debian packages owning the libraries the binary names as NEEDED."""
    needed = [line.split("[", 1)[1].rstrip("]") for line in
              output(["readelf", "-d", binary]).splitlines() if "(NEEDED)" in line]
    arch = output(["dpkg", "--print-architecture"]).strip()
    owners = {}
    for soname in needed:
        result = run(["dpkg", "-S", "*/" + soname], capture_output=True, text=True, check=False)
        packages = set()
        for line in result.stdout.splitlines():
            package, _, path = line.partition(": ")
            name, _, package_arch = package.partition(":")
            if os.path.basename(path) == soname and package_arch in ("", arch):
                packages.add(name)
        owners[soname] = packages
    return owners


def depends_clauses(deb):
    """The Depends field as a list of alternatives, each a set of names."""
    field = output(["dpkg-deb", "--field", deb, "Depends"]).strip()
    clauses = []
    for clause in field.split(","):
        clauses.append({alt.split("(")[0].strip() for alt in clause.split("|")})
    return field, clauses


def check_depends(checks, deb, binary):
    field, clauses = depends_clauses(deb)
    owners = library_owners(binary)
    problems = []
    for soname, packages in owners.items():
        if not packages:
            problems.append(f"no installed package owns {soname}")
        elif not any(packages & clause for clause in clauses):
            problems.append(f"{soname} ({', '.join(sorted(packages))}) is not depended on")
    all_owners = set().union(*owners.values()) if owners else set()
    for clause in clauses:
        if not clause & all_owners:
            problems.append(f"'{' | '.join(sorted(clause))}' owns none of the binary's libraries")
    checks.report(not problems, "Depends are exactly the binary's libraries",
                  "".join(p + "\n" for p in problems) + f"Depends: {field}")


def read_desktop_entry(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    parser.read(path)
    return parser["Desktop Entry"]


def check_menu_entry(checks, prefix):
    path = os.path.join(prefix, "share/applications/tower.desktop")
    result = run(["desktop-file-validate", path], capture_output=True, text=True, check=False)
    checks.report(result.returncode == 0 and not result.stdout.strip(),
                  "desktop-file-validate", result.stdout + result.stderr)
    entry = read_desktop_entry(path)
    command = shlex.split(entry.get("Exec", ""))
    ok = command == ["tower"] and entry.get("Icon") == "tower" and \
        entry.get("Terminal") == "false"
    checks.report(ok, "the menu entry starts bin/tower with the tower icon",
                  "" if ok else f"Exec={entry.get('Exec')} Icon={entry.get('Icon')}")
    return command


def check_changelog(checks, deb, prefix):
    version = output(["dpkg-deb", "--field", deb, "Version"]).strip()
    with gzip.open(os.path.join(prefix, "share/doc/tower/changelog.gz"), "rt") as f:
        first = f.readline()
    ok = first.startswith(f"tower ({version}) ")
    checks.report(ok, "the changelog's newest entry is the package's version",
                  "" if ok else f"package {version}, changelog: {first.strip()}")


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def check_icons(checks, prefix):
    wrong = []
    for size in (48, 128, 256):
        path = os.path.join(prefix, f"share/icons/hicolor/{size}x{size}/apps/tower.png")
        got = png_size(path)
        if got != (size, size):
            wrong.append(f"{os.path.relpath(path, prefix)}: {got}")
    checks.report(not wrong, "icons are PNGs of their folders' sizes", "\n".join(wrong))


def check_lintian(checks, deb):
    result = run(["lintian", "--display-level", ">=warning", deb], capture_output=True,
                 text=True, check=False)
    errors, warnings, other = [], [], []
    for line in result.stdout.splitlines():
        kind, _, rest = line.partition(": ")
        tag = rest.partition(": ")[2].split(" ")[0]
        if kind == "E":
            (other if tag in AWAITING_LICENCE else errors).append(line)
        elif kind == "W":
            (other if tag in KEPT_WARNINGS else warnings).append(line)
    # lintian exits with 2 when it reports an error, allowed or not, and with
    # 1 when it could not do its work.
    reported_error = any(line.startswith("E: ") for line in result.stdout.splitlines())
    crashed = result.returncode not in (0, 2) or (result.returncode == 2 and not reported_error)
    detail = result.stdout
    if other:
        detail += "(allowed: " + ", ".join(sorted(AWAITING_LICENCE | set(KEPT_WARNINGS))) + \
            ", see check_package.py)"
    if crashed:
        detail += result.stderr
    checks.report(not errors and not warnings and not crashed, "lintian", detail)


def check_running(checks, command, path, screen_check):
    """Start the program as the menu would, see the tower, press Escape."""
    with xvfb(SCREEN) as display:
        env = dict(os.environ, DISPLAY=display, WAYLAND_DISPLAY="", PATH=path)
        program = None
        log = tempfile.TemporaryFile()
        try:
            resolved = shutil.which(command[0], path=path)
            print(f"running {resolved} on a private Xvfb at {display} ({SCREEN})")
            program = subprocess.Popen(command, env=env, stdout=log, stderr=log)

            shown, verdict = False, ""
            deadline = time.monotonic() + 20
            while not shown and time.monotonic() < deadline and program.poll() is None:
                time.sleep(0.5)
                result = run([screen_check, "--expect-depth", "24"], env=env, capture_output=True,
                             text=True, check=False)
                shown, verdict = result.returncode == 0, result.stdout + result.stderr
            if program.poll() is not None:
                verdict += f"\nthe program ended by itself with {program.returncode}"
            checks.report(shown, "the packaged tower draws the tower", "" if shown else verdict)

            for action in ("keydown", "keyup"):
                run(["xdotool", action, "Escape"], env=env, timeout=10)
                time.sleep(0.1)
            try:
                code = program.wait(10)
                checks.report(code == 0, "Escape ends it with 0",
                              f"exit code {code}" if code else "")
            except subprocess.TimeoutExpired:
                checks.report(False, "Escape ends it with 0", "still running 10 s after Escape")
        finally:
            if program is not None and program.poll() is None:
                program.kill()
                program.wait()
            log.seek(0)
            text = log.read().decode(errors="replace").strip()
            if text:
                print("  program output:\n  | " + text.replace("\n", "\n  | "))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", help="an existing Linux build to package")
    parser.add_argument("--install", action="store_true",
                        help="install the .deb with apt-get and run the installed program")
    args = parser.parse_args()
    # Our lines and the tools' own output, in the order they happened.
    sys.stdout.reconfigure(line_buffering=True)

    started = time.monotonic()
    build_dir = os.path.abspath(args.build_dir or os.path.join(ROOT, "build", "linux-program"))
    deb, tarball = build_packages(build_dir, configure=args.build_dir is None)
    screen_check = build_screen_check(build_dir)
    checks = Checks()

    with tempfile.TemporaryDirectory() as work:
        unpacked = os.path.join(work, "deb")
        run(["dpkg-deb", "--extract", deb, unpacked])
        prefix = os.path.join(unpacked, "usr")
        # Anything outside /usr keeps its full path and shows as unexpected.
        compare_files(checks, ".deb holds the program, menu entry, icons and docs only",
                      {f[len("usr/"):] if f.startswith("usr/") else "/" + f
                       for f in files_under(unpacked)})

        untarred = os.path.join(work, "tgz")
        os.mkdir(untarred)
        run(["tar", "-xzf", tarball, "-C", untarred])
        tops = os.listdir(untarred)
        top = os.path.join(untarred, tops[0]) if len(tops) == 1 else untarred
        compare_files(checks, ".tar.gz holds the same, under one folder",
                      files_under(top) if len(tops) == 1 else {"(no single top folder)"})

        check_depends(checks, deb, os.path.join(prefix, "bin", "tower"))
        command = check_menu_entry(checks, prefix)
        check_icons(checks, prefix)
        check_changelog(checks, deb, prefix)
        check_lintian(checks, deb)

        if args.install:
            as_root = [] if os.geteuid() == 0 else ["sudo"]
            run(as_root + ["apt-get", "install", "--reinstall", "-y", "-q", os.path.abspath(deb)],
                env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
            path = os.environ.get("PATH", "/usr/bin:/bin")
        else:
            path = os.path.join(prefix, "bin") + os.pathsep + os.environ.get("PATH", "")
        if shutil.which(command[0], path=path) is None:
            checks.report(False, "the menu entry's program is on PATH", command[0])
        else:
            check_running(checks, command, path, screen_check)

    print(f"package: {checks.passed} passed, {checks.failed} failed "
          f"in {time.monotonic() - started:.0f} s")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
