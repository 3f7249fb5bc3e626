#!/usr/bin/env python3
"""Build the Linux packages and check what a user gets from them.

Usage: check_package.py [--build-dir DIR] [--install] [--reproducible]

Without --build-dir, the program alone is configured and built with the
linux-program preset. scripts/package's own code then makes the .deb and the
.tar.gz, and this checks:
  - both hold exactly the program, its menu entry, icons, manual page, docs
    with the README's pictures, and the licence (Debian's copyright file in
    the .deb, LICENSE in the tarball), and nothing else;
  - the tarball's program, installed by cmake --install --strip, is the
    .deb's, byte for byte;
  - the copyright file states LICENSE;
  - the .deb's Depends are the packages that own the libraries the binary
    links (read here with readelf and dpkg -S, not through CPack);
  - the menu entry passes desktop-file-validate and names the installed
    program and icon; the icons have the sizes their folders claim; the
    changelog's newest entry is the package's version;
  - lintian reports no error and no warning, and no info tag that is not
    explained below;
  - the packaged program, started as the menu entry's Exec line starts it, on
    a private Xvfb, shows the tower (tower_screen_check) and ends with 0 on
    Escape.
With --install the .deb is installed with apt-get, dependencies and all, and
the installed program is the one run: for a fresh machine, since it changes
the system. Without it the program runs from the unpacked .deb.
With --reproducible, scripts/package also builds every release file in two
copies of the tree, in different folders, one after the other, the second in
another time zone, locale and umask; both SHA256SUMS must be the same, and the
zips and the web page hold what they should.
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
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import lib  # noqa: E402 (the scripts' shared module)
import release  # noqa: E402 (scripts/package's code: the packages are made as it makes them)

# What both packages install, relative to the prefix.
EXPECTED_FILES = {
    "bin/tower",
    "share/applications/tower.desktop",
    "share/icons/hicolor/48x48/apps/tower.png",
    "share/icons/hicolor/128x128/apps/tower.png",
    "share/icons/hicolor/256x256/apps/tower.png",
    "share/man/man1/tower.1.gz",
    "share/doc/tower/README.md",
    "share/doc/tower/docs/tower.webp",
    "share/doc/tower/docs/tower.png",
    "share/doc/tower/changelog.gz",
}
# The licence: the .deb states it in Debian's copyright file, the tarball in LICENSE.
DEB_LICENCE = "share/doc/tower/copyright"
TARBALL_LICENCE = "share/doc/tower/LICENSE"

# lintian's info tags that stay, each with the reason it stays. None does.
EXPLAINED_INFO = {}

# What the zips and the web page's folder hold, under their top folders.
ZIP_FILES = {"bin/tower.exe", "README.md", "LICENSE", "docs/tower.webp", "docs/tower.png"}

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


def build_packages(build_dir, configure, out):
    if configure:
        release.build_preset("linux-program")
    else:
        run(["cmake", "--build", build_dir, "--target", "tower", "-j", lib.JOBS],
            stdout=subprocess.DEVNULL)
    started = time.monotonic()
    os.umask(0o022)
    deb, tarball = release.package_linux(build_dir, out, release.source_date_epoch())
    print(f"packed: {os.path.basename(deb)} ({os.path.getsize(deb)} bytes), "
          f"{os.path.basename(tarball)} ({os.path.getsize(tarball)} bytes) "
          f"in {time.monotonic() - started:.0f} s")
    return deb, tarball


def build_screen_check():
    """The screen checker of the end-to-end tests, from the linux preset's tree."""
    return os.path.join(lib.build("linux", "tower_screen_check", quiet=True), "tests", "e2e",
                        "tower_screen_check")


def files_under(top):
    found = set()
    for folder, _, names in os.walk(top):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), top))
    return found


def compare_files(checks, name, found, expected):
    missing = sorted(expected - found)
    extra = sorted(found - expected)
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
    result = run(["lintian", "--display-info", deb], capture_output=True, text=True, check=False)
    unexplained = []
    for line in result.stdout.splitlines():
        kind, _, rest = line.partition(": ")
        tag = rest.partition(": ")[2].split(" ")[0]
        if kind != "I" or tag not in EXPLAINED_INFO:
            unexplained.append(line)
        else:
            print(f"  lintian: {line} (kept: {EXPLAINED_INFO[tag]})")
    # lintian exits with 2 when it reports an error, and with 1 when it could
    # not do its work.
    ok = not unexplained and result.returncode == 0
    checks.report(ok, "lintian: no error, no warning, no unexplained info tag",
                  "\n".join(unexplained) + ("" if result.returncode in (0, 2) else result.stderr))


def check_stripped(checks, deb_prefix, tarball_top, build_dir):
    """Both install routes give the same stripped program."""
    with open(os.path.join(deb_prefix, "bin", "tower"), "rb") as f:
        packaged = f.read()
    with open(os.path.join(tarball_top, "bin", "tower"), "rb") as f:
        installed = f.read()
    sections = output(["readelf", "-S", "-W", os.path.join(deb_prefix, "bin", "tower")])
    ok = packaged == installed and ".symtab" not in sections and ".debug_" not in sections
    checks.report(ok, "the .deb's and the tarball's program are the same, stripped",
                  f"{len(packaged)} and {len(installed)} bytes, "
                  f"{os.path.getsize(os.path.join(build_dir, 'tower'))} unstripped")


def check_copyright(checks, deb_prefix):
    """Debian's copyright file states LICENSE: its copyright line and its text."""
    with open(os.path.join(deb_prefix, DEB_LICENCE)) as f:
        fields = f.read()
    with open(os.path.join(ROOT, "LICENSE")) as f:
        holder, _, text = f.read().partition("\n\n")
    stated = fields.partition("\nLicense: Zlib\n")[2]
    unindented = "\n".join("" if line == " ." else line[1:] for line in stated.splitlines())
    ok = ("\nCopyright: " + holder.removeprefix("Copyright (C) ") + "\n") in fields and \
        unindented.strip() == text.strip()
    checks.report(ok, "the copyright file states LICENSE", "" if ok else fields)


def check_running(checks, command, path, screen_check):
    """Start the program as the menu would, see the tower, press Escape."""
    with lib.xvfb(SCREEN) as display, tempfile.TemporaryFile() as log:
        env = dict(os.environ, DISPLAY=display, WAYLAND_DISPLAY="", PATH=path)
        print(f"running {shutil.which(command[0], path=path)} on a private Xvfb at {display} "
              f"({SCREEN})")
        with lib.running(command, env=env, stdout=log, stderr=log) as program:
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
            code = lib.end_with_escape(program, env)
            checks.report(code == 0, "Escape ends it with 0", "still running 10 s after Escape"
                          if code is None else f"exit code {code}" if code else "")
        log.seek(0)
        text = log.read().decode(errors="replace").strip()
        if text:
            print("  program output:\n  | " + text.replace("\n", "\n  | "))


def copy_tree(dest):
    """The tree as scripts/test builds it: every file git does not ignore."""
    listed = output(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others",
                     "--exclude-standard"]).split("\0")
    for name in filter(None, listed):
        source = os.path.join(ROOT, name)
        if os.path.lexists(source):
            os.makedirs(os.path.dirname(os.path.join(dest, name)), exist_ok=True)
            shutil.copy2(source, os.path.join(dest, name), follow_symlinks=False)


def check_reproducible(checks):
    """Every release file built twice, in different folders, at different times."""
    epoch = str(release.source_date_epoch())
    base = tempfile.mkdtemp(prefix="tower-twice-")
    trees = [os.path.join(base, "one", "tower"),
             os.path.join(base, "a", "second", "checkout", "elsewhere")]
    # The second build also sees another time zone (UTC+14), locale and umask.
    variations = [{}, {"TZ": "TOWER-14", "LC_ALL": "C", "umask": "077"}]
    sums = []
    for tree, variation in zip(trees, variations):
        copy_tree(tree)
        env = dict(os.environ, SOURCE_DATE_EPOCH=epoch,
                   **{k: v for k, v in variation.items() if k != "umask"})
        started = time.monotonic()
        umask = int(variation.get("umask", "022"), 8)
        result = run([sys.executable, "scripts/release.py"], cwd=tree, env=env,
                     preexec_fn=lambda: os.umask(umask), capture_output=True, text=True,
                     check=False)
        if result.returncode != 0:
            checks.report(False, f"scripts/package in {tree}", result.stdout + result.stderr)
            return
        print(f"scripts/package in {tree}: {time.monotonic() - started:.0f} s")
        with open(os.path.join(tree, "build", "release", "SHA256SUMS")) as f:
            sums.append(f.read())
    same = sums[0] == sums[1]
    first, second = ({line.split("  ", 1)[1]: line for line in text.splitlines()} for text in sums)
    differ = sorted(name for name in first.keys() | second.keys()
                    if first.get(name) != second.get(name))
    checks.report(same, "the release files built in two folders are the same bytes",
                  sums[0] if same else f"they differ: {', '.join(differ)}\n"
                  f"both trees are kept under {base} (build/release in each)")
    if same:
        check_release_contents(checks, os.path.join(trees[0], "build", "release"), sums[0])
        shutil.rmtree(base)


def check_release_contents(checks, out, sums):
    """The zips and the web page hold what they should; SHA256SUMS lists them all."""
    listed = {line.split("  ", 1)[1] for line in sums.splitlines()}
    on_disk = files_under(out) - {"SHA256SUMS"}
    problems = [f"SHA256SUMS lists {sorted(listed)}, the folder holds {sorted(on_disk)}"] \
        if listed != on_disk else []
    for path in sorted(glob.glob(os.path.join(out, "*.zip"))):
        top = os.path.basename(path)[:-len(".zip")]
        with zipfile.ZipFile(path) as archive:
            names = {n[len(top) + 1:] for n in archive.namelist() if not n.endswith("/")}
        if names != ZIP_FILES:
            problems.append(f"{top}.zip holds {sorted(names)}")
    webs = {f for f in listed if "/" in f}
    if {os.path.basename(f) for f in webs} != set(release.WEB_FILES):
        problems.append(f"the web page's folder holds {sorted(webs)}")
    kinds = sorted(os.path.splitext(f)[1] for f in listed if "/" not in f)
    if kinds != [".deb", ".gz", ".zip", ".zip"]:
        problems.append(f"the release files are {sorted(listed)}")
    checks.report(not problems, "the release folder: .deb, tarball, two zips, the web page",
                  "\n".join(problems))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", help="an existing Linux build to package")
    parser.add_argument("--install", action="store_true",
                        help="install the .deb with apt-get and run the installed program")
    parser.add_argument("--reproducible", action="store_true",
                        help="also build every release file twice, in two folders, and compare")
    args = parser.parse_args()
    lib.ensure_packages(*lib.BUILD, *lib.PACKAGE)

    started = time.monotonic()
    build_dir = os.path.abspath(args.build_dir or os.path.join(ROOT, "build", "linux-program"))
    checks = Checks()

    with tempfile.TemporaryDirectory() as work:
        deb, tarball = build_packages(build_dir, args.build_dir is None, work)
        screen_check = build_screen_check()
        unpacked = os.path.join(work, "deb")
        run(["dpkg-deb", "--extract", deb, unpacked])
        prefix = os.path.join(unpacked, "usr")
        # Anything outside /usr keeps its full path and shows as unexpected.
        compare_files(checks, ".deb holds the program, menu entry, icons, docs and copyright only",
                      {f[len("usr/"):] if f.startswith("usr/") else "/" + f
                       for f in files_under(unpacked)}, EXPECTED_FILES | {DEB_LICENCE})

        untarred = os.path.join(work, "tgz")
        os.mkdir(untarred)
        run(["tar", "-xzf", tarball, "-C", untarred])
        tops = os.listdir(untarred)
        top = os.path.join(untarred, tops[0]) if len(tops) == 1 else untarred
        compare_files(checks, ".tar.gz holds the same with LICENSE, under one folder",
                      files_under(top) if len(tops) == 1 else {"(no single top folder)"},
                      EXPECTED_FILES | {TARBALL_LICENCE})

        check_stripped(checks, prefix, top, build_dir)
        check_copyright(checks, prefix)
        check_depends(checks, deb, os.path.join(prefix, "bin", "tower"))
        command = check_menu_entry(checks, prefix)
        check_icons(checks, prefix)
        check_changelog(checks, deb, prefix)
        check_lintian(checks, deb)

        if args.install:
            run(lib.as_root(["env", "DEBIAN_FRONTEND=noninteractive", "apt-get", "install",
                             "--reinstall", "-y", "-q", os.path.abspath(deb)]))
            path = os.environ.get("PATH", "/usr/bin:/bin")
        else:
            path = os.path.join(prefix, "bin") + os.pathsep + os.environ.get("PATH", "")
        if shutil.which(command[0], path=path) is None:
            checks.report(False, "the menu entry's program is on PATH", command[0])
        else:
            check_running(checks, command, path, screen_check)

    if args.reproducible:
        check_reproducible(checks)

    print(f"package: {checks.passed} passed, {checks.failed} failed "
          f"in {time.monotonic() - started:.0f} s")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    lib.main(main)
