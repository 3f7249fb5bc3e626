"""What the scripts share: the Debian packages each one needs, installing those that are
missing, building through a preset, a private Xvfb, running the program and ending it with
Escape as a user would, and the way Wine runs tower.exe on this machine.

    python3 scripts/lib.py install BUILD TEST    installs the lists named (scripts/test does)
    python3 scripts/lib.py puppeteer             installs puppeteer-core for tests/web

Standard library only: python3 is all a script may assume (scripts/python.sh brings it)."""
import contextlib
import fcntl
import glob
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import types

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# How many jobs a build runs at once.
JOBS = os.environ.get("TOWER_JOBS", "2")


class Failure(Exception):
    """A step that failed: its words for stderr (none where a tool has spoken already)."""


def main(function, *args):
    """Run a script's main(): what it returns is the exit code; a Failure says its words and
    gives 1. SIGTERM, like Ctrl-C, unwinds every with-block first, so nothing started
    outlives the script."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    sys.stdout.reconfigure(line_buffering=True)  # our lines and the tools', in order
    try:
        sys.exit(function(*args))
    except Failure as failure:
        if str(failure):
            print(failure, file=sys.stderr)
        sys.exit(1)
    except KeyboardInterrupt:
        sys.exit(130)


# --- Packages

# What building and running the program on Linux needs, and no more.
BUILD = ["cmake", "make", "g++", "pkg-config", "libgl-dev", "libglu1-mesa-dev", "libgl1-mesa-dri",
         "libglx-mesa0", "libx11-dev", "libxrandr-dev", "libxi-dev", "libwayland-dev",
         "wayland-protocols", "libxkbcommon-dev", "libegl-dev", "libegl-mesa0"]
# What building the web page (preset web) and serving it need beyond cmake and make, and what
# showing it without a display adds (with puppeteer()).
WEB = ["emscripten", "node-acorn", "nodejs"]
BROWSER = ["chromium"]
# What the linux preset's tests add, which the screen checker of the other checks is one of.
TEST_TREE = ["libgtest-dev", "libpng-dev"]
# What the tests and benchmarks add to building.
TEST = [*TEST_TREE, "libbenchmark-dev", "libglfw3-dev", "libsdl2-dev", "xvfb", "xauth", "xdotool",
        "x11-utils", "x11-xkb-utils", "apitrace", "valgrind", "openbox", "weston", "xwayland",
        "sway", "wtype", "grim", "x11-xserver-utils", "g++-mingw-w64-i686-win32", *WEB, *BROWSER,
        "firefox-esr"]
# What packing the release files needs beyond building (git dates them by the last commit),
# what the .deb adds (cpack reads the program's libraries with file and dpkg-shlibdeps), and
# what checking the Linux packages adds.
RELEASE = ["git"]
DEB = ["file", "dpkg-dev"]
PACKAGE = [*RELEASE, *DEB, *TEST_TREE, "lintian", "desktop-file-utils", "xvfb", "xauth", "xdotool"]
# What cross-compiling both Windows executables needs beyond cmake and make.
WINDOWS = ["g++-mingw-w64-i686-win32", "binutils-mingw-w64-i686", "g++-mingw-w64-x86-64-win32",
           "binutils-mingw-w64-x86-64"]
# What making the icon (on the pixel tests' offscreen GL) and the README's animation need.
PICTURE = ["imagemagick", "icoutils", "xvfb", "xauth", "xdotool", "webp"]


def as_root(argv):
    """argv as root: itself where we are root, else through sudo."""
    return argv if os.geteuid() == 0 else ["sudo", *argv]


def ensure_packages(*packages):
    """Install the Debian packages (name or name:arch) that are not installed yet. Only an
    install that is needed pays for apt-get update."""
    missing = [name for name in dict.fromkeys(packages) if "ok installed" not in subprocess.run(
        ["dpkg-query", "-W", "-f=${Status}", name], capture_output=True, text=True).stdout]
    if not missing:
        return
    print("Installing: " + " ".join(missing), flush=True)
    # Wait for another apt or dpkg run to finish rather than fail at its lock.
    apt = ["apt-get", "-o", "DPkg::Lock::Timeout=600"]
    for step in (apt + ["update", "-qq"], ["env", "DEBIAN_FRONTEND=noninteractive", *apt, "install",
                                           "-y", "-qq", "--no-install-recommends", *missing]):
        if subprocess.run(as_root(step)).returncode != 0:
            raise Failure("")


def puppeteer():
    """puppeteer-core, as pinned in tests/web, into tests/web/node_modules and nowhere else; it
    drives the browsers installed above and downloads none. npm is Debian's unless a Node.js
    from elsewhere brought its own (which conflicts with Debian's npm package)."""
    if shutil.which("npm") is None:
        ensure_packages("npm")
    if subprocess.run(["npm", "ci", "--ignore-scripts", "--no-audit", "--no-fund",
                       "--loglevel=error"], cwd=os.path.join(ROOT, "tests", "web")).returncode:
        raise Failure("")


# --- Building

def build(preset, *targets, quiet=False, log=None):
    """Configure a preset and build its targets (everything without any) with JOBS jobs; the
    build folder. Quiet, the tools say nothing unless a step fails; with a log file, their
    output goes there."""
    for step in (["cmake", "--preset", preset],
                 ["cmake", "--build", "--preset", preset, "-j", JOBS,
                  *(["--target", *targets] if targets else [])]):
        result = subprocess.run(step, cwd=ROOT, text=True, stdout=subprocess.PIPE if quiet else log,
                                stderr=subprocess.STDOUT if quiet else None)
        if result.returncode != 0:
            raise Failure(f"{' '.join(step)} failed ({result.returncode})" +
                          (f":\n{result.stdout}" if quiet else ""))
    return os.path.join(ROOT, "build", preset)


# --- A private X server, and the program on it

@contextlib.contextmanager
def xvfb(screen, *options, limit=600):
    """The display (":N") of a private Xvfb with one screen (WxHxD) and Xvfb's further options,
    gone when the block ends. -displayfd lets the server pick a free display, so it never
    collides with anyone else's, and says when it accepts clients; limit (seconds) is a
    backstop should this process be killed outright."""
    reader, writer = os.pipe()
    with tempfile.TemporaryFile() as log:
        server = subprocess.Popen(
            ["timeout", "-k", "5", str(limit), "Xvfb", "-displayfd", str(writer), "-nolisten",
             "tcp", "-noreset", "-screen", "0", screen, *options],
            pass_fds=(writer,), stdout=log, stderr=log)
        os.close(writer)
        number, deadline = b"", time.monotonic() + 10
        while not number.endswith(b"\n"):
            ready = select.select([reader], [], [], max(0, deadline - time.monotonic()))[0]
            chunk = os.read(reader, 16) if ready else b""
            if not chunk:
                break
            number += chunk
        os.close(reader)
        if not number.strip():
            server.terminate()
            server.wait()
            log.seek(0)
            said = log.read().decode(errors="replace").splitlines()[-3:]
            raise Failure("Xvfb did not start: " + "\n".join(said))
    try:
        yield ":" + number.decode().strip()
    finally:
        server.terminate()
        server.wait()


@contextlib.contextmanager
def running(argv, **options):
    """argv started (subprocess.Popen's options), and killed at the block's end if it is
    still running then."""
    program = subprocess.Popen(argv, **options)
    try:
        yield program
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


def exit_code(program):
    """A program's exit code as a shell gives it: 128 and the signal for one a signal ended."""
    return program.returncode if program.returncode >= 0 else 128 - program.returncode


def press_escape(env=None):
    """Press and release Escape through XTEST, as a user at the keyboard would."""
    for action in ("keydown", "keyup"):
        subprocess.run(["xdotool", action, "Escape"], env=env, timeout=10, check=False)
        time.sleep(0.1)


def wait_for(program, limit):
    """Wait up to limit seconds for the program to end: its exit code, or None while it still
    runs."""
    try:
        program.wait(limit)
    except subprocess.TimeoutExpired:
        return None
    return exit_code(program)


def end_with_escape(program, env=None, limit=10):
    """Press Escape and wait up to limit seconds for the program to end: its exit code, or
    None while it still runs."""
    press_escape(env)
    return wait_for(program, limit)


@contextlib.contextmanager
def output_to(path):
    """Within the block, this process's stdout and stderr, and every tool's it starts, go to
    the file at path."""
    sys.stdout.flush()
    sys.stderr.flush()
    saved = os.dup(1), os.dup(2)
    with open(path, "w") as log:
        os.dup2(log.fileno(), 1)
        os.dup2(log.fileno(), 2)
    try:
        yield
    finally:
        sys.stdout.flush()
        sys.stderr.flush()
        for fd, copy in zip((1, 2), saved):
            os.dup2(copy, fd)
            os.close(copy)


# --- Wine

WINE32, WINE64 = "/usr/lib/wine/wine", "/usr/lib/wine/wine64"


def said(argv, **options):
    """Run argv: its status and what it printed, stdout and stderr together; a program the
    kernel cannot execute gives 126 and the kernel's words."""
    try:
        result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True, errors="replace", **options)
    except OSError as error:
        return 126, f"{argv[0]}: {error.strerror}"
    return result.returncode, result.stdout.rstrip("\n")


def last_lines(text, count):
    return "\n".join(text.splitlines()[-count:])


def try_32bit_program():
    """Try to run a 32-bit x86 program: a 91-byte static ELF whose only code is exit(0). None
    where this machine executes 32-bit programs; otherwise what the kernel said ("Exec format
    error" where it has no 32-bit support at all). Trying is the only sure way: neither the
    CPU nor the distribution tells."""
    # ELF, 32-bit, little-endian, version 1.
    ident = b"\x7fELF\x01\x01\x01" + bytes(9)
    # An i386 executable entered at 0x08048054, one program header at 52.
    header = struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, 0x08048054, 52, 0, 0, 52, 32, 1, 0, 0, 0)
    # Load all 91 bytes at 0x08048000, readable and executable.
    load = struct.pack("<8I", 1, 0, 0x08048000, 0x08048000, 91, 91, 5, 0x1000)
    # xor eax,eax; inc eax (exit); xor ebx,ebx (status 0); int 0x80
    code = bytes([0x31, 0xC0, 0x40, 0x31, 0xDB, 0xCD, 0x80])
    probe = os.path.join(ROOT, "build", "exit0-i386")
    os.makedirs(os.path.dirname(probe), exist_ok=True)
    with open(probe, "wb") as f:
        f.write(ident + header + load + code)
    os.chmod(probe, 0o755)
    status, words = said([probe])
    return None if status == 0 else words


def wine_choose():
    """Choose how Wine runs tower.exe here, and install what that needs: a record of mode
    (the way), arch (the build: x86 or x64), what (the build and the Wine, in words), loader,
    dllpath (None but for wow64) and why. The 32-bit build is the product, so it is what runs
    wherever it can, in order:
      i686   under 32-bit Wine, where this machine runs 32-bit programs;
      wow64  under 64-bit Wine, which runs it in a 64-bit process through WoW64;
      x64    the x64 build, only where WoW64 cannot run 32-bit code either: wine_prefix tries
             WoW64 in the prefix it makes, and comes here.
    TOWER_WINE_ARCH=i686, wow64 or x64 asks for one anywhere; a way asked for that cannot run
    fails. Any other trouble fails: a host limitation changes the way, never the verdict."""
    asked = os.environ.get("TOWER_WINE_ARCH", "")
    wine = types.SimpleNamespace(mode=asked, dllpath=None, why="")
    if asked in ("i686", "wow64", "x64"):
        wine.why = f"TOWER_WINE_ARCH={asked} asks for it"
    elif asked:
        raise Failure(f"TOWER_WINE_ARCH is '{asked}'; it can be i686, wow64 or x64")
    if asked in ("", "i686"):
        refused = try_32bit_program()
        if refused is None:
            # Wine's 32-bit loader, and Mesa's GL and RandR beneath winex11, are i386 packages.
            foreign = subprocess.run(["dpkg", "--print-foreign-architectures"],
                                     capture_output=True, text=True).stdout.split()
            if "i386" not in foreign and subprocess.run(
                    as_root(["dpkg", "--add-architecture", "i386"])).returncode != 0:
                raise Failure("")
            ensure_packages("wine", "wine32:i386", "libgl1:i386", "libgl1-mesa-dri:i386",
                            "libxrandr2:i386")
            wine.loader = WINE32
            status, words = said([WINE32, "--version"])
            if status == 0:
                wine.mode, wine.why = "i686", wine.why or "this machine runs 32-bit programs"
            elif "Exec format error" in words and not asked:
                wine.why = "Wine's 32-bit loader cannot run here (Exec format error)"
            else:
                raise Failure(f"Wine's 32-bit loader fails: {words}")
        elif asked:
            raise Failure(
                f"TOWER_WINE_ARCH=i686, but this machine cannot run 32-bit programs: {refused}")
        elif "Exec format error" in refused:
            wine.why = "this machine cannot run 32-bit programs (Exec format error)"
        else:
            raise Failure(f"cannot tell whether this machine runs 32-bit programs: {refused}")
    if wine.mode != "i686":
        ensure_packages("wine", "wine64", "libgl1", "libgl1-mesa-dri", "libxrandr2")
        status, words = said([WINE64, "--version"])
        if status != 0:
            raise Failure(f"Wine's 64-bit loader fails: {words}")
    if wine.mode == "i686":
        wine.arch, wine.what = "x86", "the 32-bit build under 32-bit Wine"
    elif wine.mode == "x64":
        wine_x64(wine)
    else:
        wine.dllpath = wine_wow64_dlls()
        wine.loader = os.path.join(wine.dllpath, "lib", "wine", "wine64")
        wine.mode, wine.arch = "wow64", "x86"
        wine.what = "the 32-bit build under 64-bit Wine, through WoW64"
    return wine


def wine_x64(wine):
    """Make wine_choose's record the x64 build's."""
    wine.mode, wine.arch, wine.what = "x64", "x64", "the x64 build under 64-bit Wine"
    wine.loader, wine.dllpath = WINE64, None


def wine_wow64_dlls():
    """Make, once per Wine version, the folder through which 64-bit Wine runs 32-bit programs
    (WoW64): WINEDLLPATH, with the loader in it. Debian ships the 32-bit Windows DLLs in
    libwine:i386, which holds no Linux program: it is fetched through a private apt list and
    cache, so this machine's apt state and architectures stay as they are, and only its
    i386-windows folder is unpacked. The .deb is kept beside the folder, so a folder lost
    later is made again without the network.
    Beside the DLLs: x86_64-unix, where their Unix halves are looked for (opengl32 fails
    without it), and a copy of the 64-bit loader that is also named wine, with the data folder
    where it expects it. Wine starts a 32-bit program with the loader called wine in its own
    loader's folder first; here that is the 64-bit one, never a 32-bit Wine this machine may
    also have."""
    status, version = said(["dpkg-query", "-W", "-f=${Version}", "libwine:amd64"])
    if status != 0:
        raise Failure(version)
    cache = os.path.join(ROOT, "build", "wine-wow64")
    folder = os.path.join(cache, re.sub(r"[^A-Za-z0-9.+-]", "_", version))
    os.makedirs(cache, exist_ok=True)
    with open(os.path.join(cache, "lock"), "w") as lock:
        # Two runs in one tree make the folder once.
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.isdir(folder):
            deb = wine_fetch_libwine(cache, version)
            unpack_wow64_folder(cache, deb, folder)
    return folder


def wine_fetch_libwine(cache, version):
    """The libwine:i386 .deb of this version in the cache, fetched there if it is not."""
    def find():
        for deb in glob.glob(os.path.join(cache, "libwine_*_i386.deb")):
            if said(["dpkg-deb", "-f", deb, "Version"]) == (0, version):
                return deb
        return None
    deb = find()
    if deb is None:
        print(f"Fetching libwine:i386 {version} for WoW64 (about 95 MB)", flush=True)
        apt = ["apt-get", "-qq", "-o", "APT::Architectures::=amd64", "-o",
               "APT::Architectures::=i386", "-o", f"Dir::State::Lists={cache}/apt/lists", "-o",
               f"Dir::Cache={cache}/apt/cache", "-o", "Acquire::Languages=none", "-o",
               "APT::Sandbox::User=root"]
        os.makedirs(f"{cache}/apt/lists/partial", exist_ok=True)
        os.makedirs(f"{cache}/apt/cache/archives/partial", exist_ok=True)
        if subprocess.run(apt + ["update"]).returncode != 0 or subprocess.run(
                apt + ["download", f"libwine:i386={version}"], cwd=cache).returncode != 0 or \
                (deb := find()) is None:
            raise Failure(f"cannot fetch libwine:i386 {version}")
    return deb


def unpack_wow64_folder(cache, deb, folder):
    # Other versions, the apt lists and a folder left half made only take room.
    for name in set(os.listdir(cache)) - {"lock", os.path.basename(deb)}:
        path = os.path.join(cache, name)
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.remove(path)
    part = folder + ".part"
    try:
        os.makedirs(part)
        fsys = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", deb], stdout=subprocess.PIPE)
        untar = subprocess.run(["tar", "-x", "-C", part, "--strip-components=5",
                                "./usr/lib/i386-linux-gnu/wine/i386-windows"], stdin=fsys.stdout)
        fsys.stdout.close()
        if fsys.wait() != 0 or untar.returncode != 0 or \
                not os.path.isfile(os.path.join(part, "i386-windows", "ntdll.dll")):
            raise OSError
        os.symlink("/usr/lib/x86_64-linux-gnu/wine/x86_64-unix", os.path.join(part, "x86_64-unix"))
        os.makedirs(os.path.join(part, "lib", "wine"))
        os.makedirs(os.path.join(part, "share"))
        shutil.copy(WINE64, os.path.join(part, "lib", "wine", "wine64"))
        os.symlink("wine64", os.path.join(part, "lib", "wine", "wine"))
        os.symlink("/usr/share/wine", os.path.join(part, "share", "wine"))
        os.rename(part, folder)
    except OSError:
        raise Failure(f"cannot unpack {deb}") from None


def wine_wow64_probe():
    """In the prefix just made: None where 64-bit Wine runs 32-bit code through WoW64;
    otherwise what happened, and 1 where this machine refuses that 32-bit code, 2 for
    anything else: a broken Wine (a 64-bit cmd before it tells), or a 32-bit cmd that Wine
    ran some other way. A 32-bit cmd must end with the status it is told to, and Wine must
    say that it ran it through WoW64."""
    env = dict(os.environ, WINEDEBUG="-all,err+environ", DISPLAY="")
    loader = ["timeout", "-k", "10", "60", os.environ["WINELOADER"]]
    status, out = said(loader + ["cmd", "/c", "exit", "3"], env=env)
    if status != 3:
        wine_stop(env)
        return f"64-bit Wine fails (cmd ended with {status}): {last_lines(out, 2)}", 2
    status, out = said(loader + [r"C:\windows\syswow64\cmd.exe", "/c", "exit", "3"], env=env)
    wine_stop(env, wait=True)
    if status != 3:
        return f"its 32-bit cmd ended with {status}: {last_lines(out, 2)}", 1
    if 'cmd.exe" in experimental wow64 mode' not in out:
        return f"Wine ran its 32-bit cmd, but did not say that it was through WoW64: {out}", 2
    return None


def wine_stop(env=None, wait=False):
    """End the prefix's Wine: with wait, let it finish first, and kill it only if it will not."""
    if wait and subprocess.run(["timeout", "20", "wineserver", "-w"], env=env).returncode == 0:
        return
    subprocess.run(["timeout", "20", "wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def wine_prefix(wine, prefix):
    """Make a fresh Wine prefix at prefix for what wine_choose chose, so no earlier run's state
    leaks in, and put in this process's environment what every later Wine call needs. For
    wow64, WoW64 is tried in it first; where it cannot run 32-bit code and no way was asked
    for, the record becomes the x64 build's, its why says why, and the prefix is made again
    for it. Without a window manager, Wine's managed windows stall two seconds on every
    destruction; unmanaged ones do not."""
    os.environ.update(WINEPREFIX=prefix, WINELOADER=wine.loader, WINEDEBUG="-all",
                      WINEARCH="win32" if wine.mode == "i686" else "win64")
    if wine.dllpath:
        os.environ["WINEDLLPATH"] = wine.dllpath
    else:
        os.environ.pop("WINEDLLPATH", None)
    shutil.rmtree(prefix, ignore_errors=True)
    headless = {name: value for name, value in os.environ.items() if name != "DISPLAY"}
    steps = (["timeout", "-k", "10", "120", wine.loader, "wineboot", "-i"],
             ["timeout", "-k", "10", "60", wine.loader, "reg", "add",
              r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"],
             ["timeout", "-k", "10", "60", "wineserver", "-w"])
    if any(subprocess.run(step, env=headless).returncode != 0 for step in steps):
        wine_stop()
        raise Failure("")
    refused = wine_wow64_probe() if wine.mode == "wow64" else None
    if refused is None:
        return
    words, kind = refused
    if kind == 1 and not os.environ.get("TOWER_WINE_ARCH"):
        wine.why += f", and 64-bit Wine cannot run 32-bit code through WoW64 either: {words}"
        wine_x64(wine)
        wine_prefix(wine, prefix)
    else:
        raise Failure(words if kind == 2 else f"WoW64 cannot run here: {words}")


if __name__ == "__main__":
    LISTS = {"BUILD", "WEB", "BROWSER", "TEST", "RELEASE", "DEB", "PACKAGE", "WINDOWS", "PICTURE"}
    if sys.argv[1:] == ["puppeteer"]:
        main(puppeteer)
    if sys.argv[1:2] != ["install"] or not set(sys.argv[2:]) <= LISTS:
        sys.exit(__doc__)
    main(ensure_packages, *(name for lst in sys.argv[2:] for name in globals()[lst]))
