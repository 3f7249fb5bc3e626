#!/usr/bin/env python3
"""scripts/package: build the release files into build/release, with SHA256SUMS.

Usage: release.py [linux] [windows] [web]     (all three without arguments)

  linux    tower_<version>_<arch>.deb (cpack) and tower-<version>-linux-<machine>.tar.gz
  windows  tower-<version>-win32.zip and tower-<version>-win64.zip
  web      tower-<version>-web/: index.html, tower.js, tower.wasm and favicon.png

Each is built from its preset (linux-program, windows-i686 and windows-x64, web)
and the archives pack what `cmake --install <build> --strip` installs. The same
sources give the same bytes wherever and whenever they are built: the compilers
are told to name no folder (CMakeLists.txt), tower.exe carries no link time, and
every archive member is dated SOURCE_DATE_EPOCH (the last commit's time unless
the environment sets it), owned by root, with a mode of 644 or 755, in sorted
order, in a gzip stream without a time stamp.
"""

import gzip
import hashlib
import os
import platform
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

import lib

ROOT = lib.ROOT
TARGETS = ("linux", "windows", "web")
# The web page's files, as the web preset leaves them in its build folder.
WEB_FILES = ("index.html", "tower.js", "tower.wasm", "favicon.png")
# What building each needs: no checker, and neither MinGW-w64 nor Emscripten for linux alone.
PACKAGES = {"linux": [*lib.BUILD, *lib.DEB], "windows": ["cmake", "make", *lib.WINDOWS],
            "web": ["cmake", "make", *lib.WEB]}


def run(args, **kwargs):
    """Run a build step quietly; on failure show what it said and stop."""
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            **kwargs)
    if result.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({result.returncode}):\n{result.stdout}")
    return result.stdout


def source_date_epoch():
    """SOURCE_DATE_EPOCH from the environment, else the last commit's time."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    result = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"],
                            capture_output=True, text=True)
    if result.returncode != 0 or not result.stdout.strip():
        sys.exit("no commit to date the release files by: set SOURCE_DATE_EPOCH "
                 f"(seconds since 1970) or build from a git checkout\n{result.stderr}")
    return int(result.stdout)


def build_preset(preset):
    """Configure and build the program with one of the presets; its build folder."""
    print(f"building preset {preset}", flush=True)
    return lib.build(preset, "tower", quiet=True)


def project_version(build_dir):
    with open(os.path.join(build_dir, "CMakeCache.txt")) as f:
        found = re.search(r"^CMAKE_PROJECT_VERSION:\w+=(.+)$", f.read(), re.M)
    if not found:
        sys.exit(f"{build_dir} has no project version in its CMakeCache.txt")
    return found.group(1)


def install_stripped(build_dir, prefix):
    """What a user's `cmake --install <build> --prefix <prefix> --strip` gives."""
    run(["cmake", "--install", build_dir, "--prefix", prefix, "--strip"])


def members(tree):
    """Every folder and file under tree, relative to it, parents before children, sorted."""
    found = []
    for folder, dirs, files in os.walk(tree):
        for name in dirs + files:
            found.append(os.path.relpath(os.path.join(folder, name), tree))
    return sorted(found)


def mode_of(path):
    """644 or 755: the file system's own bits depend on the builder's umask."""
    if os.path.isdir(path) or os.stat(path).st_mode & 0o100:
        return 0o755
    return 0o644


def write_tarball(tree, top, path, epoch):
    """tree packed as top/... into a .tar.gz."""
    with open(path, "wb") as raw, \
            gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as gz, \
            tarfile.open(fileobj=gz, mode="w", format=tarfile.GNU_FORMAT) as tar:
        for member in [""] + members(tree):
            source = os.path.join(tree, member)
            info = tarfile.TarInfo(os.path.join(top, member).rstrip("/"))
            info.mtime, info.mode = epoch, mode_of(source)
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            if os.path.isdir(source):
                info.type = tarfile.DIRTYPE
                tar.addfile(info)
            else:
                info.size = os.path.getsize(source)
                with open(source, "rb") as f:
                    tar.addfile(info, f)


def write_zip(tree, top, path, epoch):
    """tree packed as top/... into a .zip; zip's times have no zone, so UTC."""
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip dates nothing before 1980
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for member in [""] + members(tree):
            source = os.path.join(tree, member)
            folder = os.path.isdir(source)
            info = zipfile.ZipInfo(os.path.join(top, member).rstrip("/") + ("/" if folder else ""),
                                   stamp)
            info.create_system = 3  # Unix, so that unzip restores the modes
            info.external_attr = ((0o040000 if folder else 0o100000) | mode_of(source)) << 16
            if folder:
                info.external_attr |= 0x10  # MS-DOS's directory flag
                archive.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(source, "rb") as f:
                    archive.writestr(info, f.read())


def make_deb(build_dir, out, epoch):
    """cpack's .deb of the build: the stripped install plus Debian's copyright file."""
    with tempfile.TemporaryDirectory(prefix="tower-cpack-") as work:
        run(["cpack", "-G", "DEB", "-B", work], cwd=build_dir,
            env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)))
        debs = [name for name in os.listdir(work) if name.endswith(".deb")]
        if len(debs) != 1:
            sys.exit(f"cpack made {debs}; expected one .deb")
        shutil.move(os.path.join(work, debs[0]), os.path.join(out, debs[0]))
    return os.path.join(out, debs[0])


def package_linux(build_dir, out, epoch):
    """The .deb and the tarball of a Linux build; their paths."""
    deb = make_deb(build_dir, out, epoch)
    top = f"tower-{project_version(build_dir)}-linux-{platform.machine()}"
    tarball = os.path.join(out, top + ".tar.gz")
    with tempfile.TemporaryDirectory(prefix="tower-install-") as work:
        install_stripped(build_dir, work)
        write_tarball(work, top, tarball, epoch)
    return [deb, tarball]


def package_windows(build_dir, bits, out, epoch):
    top = f"tower-{project_version(build_dir)}-win{bits}"
    path = os.path.join(out, top + ".zip")
    with tempfile.TemporaryDirectory(prefix="tower-install-") as work:
        install_stripped(build_dir, work)
        write_zip(work, top, path, epoch)
    return [path]


def package_web(build_dir, out):
    folder = os.path.join(out, f"tower-{project_version(build_dir)}-web")
    os.mkdir(folder)
    for name in WEB_FILES:
        shutil.copyfile(os.path.join(build_dir, name), os.path.join(folder, name))
    return [os.path.join(folder, name) for name in WEB_FILES]


def write_sums(out, files):
    """SHA256SUMS beside the files, as sha256sum -c reads it."""
    lines = []
    for path in sorted(files, key=lambda p: os.path.relpath(p, out)):
        with open(path, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        lines.append(f"{digest}  {os.path.relpath(path, out)}\n")
    with open(os.path.join(out, "SHA256SUMS"), "w") as f:
        f.writelines(lines)
    return "".join(lines)


def main(argv):
    targets = argv or list(TARGETS)
    unknown = [t for t in targets if t not in TARGETS]
    if unknown:
        sys.exit(f"usage: scripts/package [{'] ['.join(TARGETS)}]  (unknown: {' '.join(unknown)})")
    lib.ensure_packages(*lib.RELEASE, *(name for target in targets for name in PACKAGES[target]))
    # Installed files and folders take their modes from the umask, and the
    # .deb keeps them.
    os.umask(0o022)
    # Every tool that dates what it writes reads it from here.
    epoch = source_date_epoch()
    os.environ["SOURCE_DATE_EPOCH"] = str(epoch)
    out = os.path.join(ROOT, "build", "release")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)

    started = time.monotonic()
    files = []
    if "linux" in targets:
        files += package_linux(build_preset("linux-program"), out, epoch)
    if "windows" in targets:
        files += package_windows(build_preset("windows-i686"), 32, out, epoch)
        files += package_windows(build_preset("windows-x64"), 64, out, epoch)
    if "web" in targets:
        files += package_web(build_preset("web"), out)
    sums = write_sums(out, files)

    print(f"Release files in {os.path.relpath(out, ROOT)}, dated "
          f"{time.strftime('%Y-%m-%d %H:%M:%S UTC', time.gmtime(epoch))} "
          f"(SOURCE_DATE_EPOCH={epoch}), built in {time.monotonic() - started:.0f} s:")
    for path in files:
        print(f"  {os.path.relpath(path, out)} ({os.path.getsize(path):,} bytes)")
    print("SHA256SUMS:\n" + sums, end="")
    return 0


if __name__ == "__main__":
    lib.main(main, sys.argv[1:])
