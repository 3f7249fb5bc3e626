"""tower.exe's checks, one a run: wine_checks.py CHECK. scripts/test-windows runs each with a
time limit and says PASS or FAIL; a check that fails says why on stderr and exits with 1.

static        the image as built for TOWER_ARCH (x86 or x64), TOWER_EXE, read with
              TOWER_OBJDUMP and TOWER_STRIP; no Wine.
escape, close, 16bit_screen, refused_mode
              TOWER_EXE under Wine on a private Xvfb, in the prefix test-windows made
              (WINEPREFIX, WINELOADER, WINEDLLPATH), the way TOWER_WINE_MODE names, judged by
              TOWER_SCREEN_CHECK."""
import contextlib
import ctypes
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import lib  # noqa: E402 (the scripts' shared module)

WINDOW, BOX = "OpenGL base code", "Display Error"


def fail(words):
    raise lib.Failure(words)


def check_static():
    """A GUI program of its machine type that imports only DLLs every Windows has, carries a
    manifest naming its own architecture, DPI-aware and claiming no Windows 8 or later, has
    the tower as its first icon, and stays small once stripped."""
    exe, arch = os.environ["TOWER_EXE"], os.environ["TOWER_ARCH"]
    kinds = {"x86": ("pei-i386", "10b", "PE32", "x86"), "x64": ("pei-x86-64", "20b", "PE32+",
                                                               "amd64")}
    if arch not in kinds:
        fail(f"unknown TOWER_ARCH '{arch}'")
    image_format, magic, kind, manifest_arch = kinds[arch]
    status, headers = lib.said([os.environ["TOWER_OBJDUMP"], "-p", exe])
    if status != 0:
        fail(f"objdump cannot read {exe}")
    for pattern, problem in ((f"file format {image_format}$", f"not a {image_format} image"),
                             (f"^Magic.*{magic}", f"not a {kind} image"),
                             (r"^Subsystem.*\(Windows GUI\)", "not a GUI-subsystem executable")):
        if not re.search(pattern, headers, re.M):
            fail(problem)
    dlls = re.findall(r"^\s*DLL Name: (.*)$", headers, re.M)
    if not dlls:
        fail("no imports found")
    for dll in dlls:
        if not re.fullmatch(r"(KERNEL32|USER32|GDI32|OPENGL32|GLU32|msvcrt)\.dll", dll, re.I):
            fail(f"imports {dll}, which is not a system DLL")
    for dll in ("KERNEL32", "USER32", "GDI32", "OPENGL32", "GLU32"):
        if f"{dll}.dll".lower() not in (d.lower() for d in dlls):
            fail(f"does not import {dll}.dll")

    # The manifest is stored verbatim, as UTF-8, in the resource section. Wine ignores its
    # architecture; Windows refuses to start a program whose manifest names another one.
    with open(exe, "rb") as f:
        image = f.read()
    arches = sorted({a.decode() for a in re.findall(rb'processorArchitecture="[^"]*"', image)})
    if not arches:
        fail("no processorArchitecture in the embedded manifest")
    if arches != [f'processorArchitecture="{manifest_arch}"']:
        fail(f"the manifest names {' '.join(arches)}, the image is {manifest_arch}")
    if not re.search(rb"<dpiAware[^>]*>true</dpiAware>", image):
        fail("no DPI-aware manifest embedded")
    # Windows 8, 8.1 and 10/11: declaring any of them loses the 16-bit modes.
    for guid in ("4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                 "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
        if guid.encode() in image.lower():
            fail(f"the manifest claims Windows 8 or later ({guid})")

    # Explorer shows the first icon group. wrestool rebuilds it as an .ico file, padded with
    # zeros at the end; up to there it must be ours, byte for byte.
    listed = subprocess.run(["wrestool", "-l", "--type=14", exe], capture_output=True, text=True)
    group = re.search(r"--name=\S*", listed.stdout)
    if not group:
        fail("no icon resource")
    extracted = subprocess.run(["wrestool", "-x", "--type=14", group[0], exe], capture_output=True)
    if extracted.returncode != 0:
        fail(f"wrestool cannot extract the icon group ({group[0]})")
    with open(os.path.join(lib.ROOT, "icon", "tower.ico"), "rb") as f:
        icon = f.read()
    if extracted.stdout[:len(icon)] != icon:
        fail(f"the first icon group ({group[0]}) is not icon/tower.ico")

    # The code, stripped, is what a runtime dragged in by accident would swell; resources are
    # left out of the budget.
    with tempfile.NamedTemporaryFile() as stripped:
        subprocess.run([os.environ["TOWER_STRIP"], "-o", stripped.name, exe], check=True)
        size = os.path.getsize(stripped.name)
        sections = lib.said([os.environ["TOWER_OBJDUMP"], "-h", stripped.name])[1]
    rsrc = re.search(r"^\s*\d+\s+\.rsrc\s+([0-9a-f]+)", sections, re.M)
    code = size - int(rsrc[1], 16) if rsrc else size
    print(f"  stripped: {size} bytes, {code} without resources")
    if code > 32768:
        fail(f"stripped, the code is {code} bytes; the budget is 32 KiB")


class Tower:
    """tower.exe under Wine on a private X server."""

    def __init__(self, display, log):
        # Quiet, but for the line in which Wine says it starts a program through WoW64.
        self.env = dict(os.environ, DISPLAY=display, WINEDEBUG="-all,err+environ")
        self.log = log
        self.program = subprocess.Popen(
            ["timeout", "-k", "5", "60", os.environ["WINELOADER"], os.environ["TOWER_EXE"]],
            env=self.env, stdout=log, stderr=subprocess.STDOUT)

    def find(self, title):
        """The X id of the first top-level window titled exactly so, or None."""
        found = subprocess.run(["xdotool", "search", "--name", f"^{title}$"], env=self.env,
                               capture_output=True, text=True).stdout.split()
        return found[0] if found else None

    def window_or_box(self, limit=30):
        """Wait for the program's window or its Display Error box: (title, id), or None."""
        for _ in range(limit * 5):
            for title in (BOX, WINDOW):
                if (found := self.find(title)):
                    return title, found
            if self.program.poll() is not None:
                return None
            time.sleep(0.2)
        return None

    def dismiss_box(self, box):
        """As a user does: focus it and press Return. --sync waits for the focus, so bound it."""
        subprocess.run(["timeout", "5", "xdotool", "windowfocus", "--sync", box], env=self.env,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["xdotool", "key", "Return"], env=self.env)

    def window(self):
        """The tower's window; a Display Error box in its place fails the check, once
        dismissed so that nothing is left waiting."""
        title, found = self.window_or_box() or fail("no window appeared within 30 s")
        if title == BOX:
            self.dismiss_box(found)
            fail("the switch to 16-bit colour was refused (Display Error box)")
        return found

    def expect_covers_screen(self, window):
        """The window is viewable and covers the whole root window. It exists from
        CreateWindowExA on, but WM_CREATE shows it only after the GL set-up."""
        for _ in range(50):
            status, info = lib.said(["xwininfo", "-id", window], env=self.env)
            if status != 0:
                fail(f"window {window} vanished")
            if "Map State: IsViewable" in info:
                break
            time.sleep(0.2)
        root = lib.said(["xwininfo", "-root"], env=self.env)[1]

        def field(text, name):
            return re.search(rf"^ *{name}: *(.*)$", text, re.M)[1]
        names = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height", "Map State")
        x, y, w, h, state = (field(info, name) for name in names)
        rw, rh = field(root, "Width"), field(root, "Height")
        if state != "IsViewable":
            fail(f"window still not viewable after 10 s (map state {state})")
        if (x, y, w, h) != ("0", "0", rw, rh):
            fail(f"window is {w}x{h} at ({x},{y}), the screen {rw}x{rh}")

    def expect_tower_drawn(self, depth, limit=10):
        """The screen shows the tower at that depth within limit seconds (the first frames
        may still be on their way)."""
        for _ in range(limit * 2):
            status, verdict = lib.said([os.environ["TOWER_SCREEN_CHECK"], "--expect-depth",
                                        str(depth)], env=self.env)
            if status == 0:
                return
            time.sleep(0.5)
        fail(f"the screen does not show the tower: {lib.last_lines(verdict, 5)}")

    def expect_end(self, expected, limit, still, after, escape=False):
        """The program ends within limit seconds (pressing Escape first) with that exit code.
        Under wow64, Wine must have said that it ran tower.exe through WoW64; the line is
        shown."""
        code = (lib.end_with_escape(self.program, self.env, limit) if escape else
                lib.wait_for(self.program, limit))
        if code is None:
            fail(f"still running {limit} s after {still}")
        if os.environ.get("TOWER_WINE_MODE") == "wow64":
            self.log.seek(0)
            line = re.search(r'starting .*tower\.exe" in experimental wow64 mode',
                             self.log.read().decode(errors="replace"))
            if not line:
                fail("Wine did not say that it ran tower.exe through WoW64")
            print(f"  wine: {line[0]}")
        if code != expected:
            fail(f"exit code {code} after {after}, expected {expected}")


@contextlib.contextmanager
def tower_exe(screen, *options):
    """tower.exe started on a private Xvfb; at the end the program, the prefix's other Wine
    processes and the server are stopped. A failure shows what tower.exe said."""
    with tempfile.TemporaryFile() as log, lib.xvfb(screen, *options) as display:
        tower = Tower(display, log)
        try:
            yield tower
        except lib.Failure as failure:
            log.seek(0)
            said = log.read().decode(errors="replace").splitlines()[-20:]
            lines = [str(failure)]
            if said:
                lines += ["--- tower.exe output:", *(f"| {line}" for line in said)]
            raise lib.Failure("\n  ".join(lines)) from None
        finally:
            tower.program.terminate()
            lib.wine_stop()
            tower.program.wait()


def check_escape(screen="1024x768x24", depth=24):
    """On an ordinary 24-bit desktop tower.exe switches to 16-bit colour without a "Display
    Error" box, covers the screen, draws the tower, and ends with exit code 0 when Escape is
    pressed. On a desktop that is already 16-bit (16bit_screen) the switch is a formality,
    with the same outcome."""
    with tower_exe(screen) as tower:
        window = tower.window()
        tower.expect_covers_screen(window)
        tower.expect_tower_drawn(depth)
        if tower.find(BOX):
            fail("a Display Error box is showing")
        tower.expect_end(0, 10, "Escape", "Escape", escape=True)


class ClientMessage(ctypes.Structure):
    """Xlib's XClientMessageEvent, padded to the size of an XEvent."""
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def close_window(display, window):
    """Ask a window to close the way a window manager's close button does: a WM_PROTOCOLS
    ClientMessage carrying WM_DELETE_WINDOW. Destroying the X window instead (xdotool
    windowclose) never reaches a Wine program."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(ClientMessage)]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        return False
    event = ClientMessage(type=33, window=int(window), format=32,  # 33: ClientMessage
                          message_type=x11.XInternAtom(connection, b"WM_PROTOCOLS", 0))
    event.data[0] = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
    sent = x11.XSendEvent(connection, int(window), 0, 0, ctypes.byref(event))
    # A window already gone shows here, as Xlib's BadWindow, which ends this check.
    x11.XSync(connection, 0)
    x11.XCloseDisplay(connection)
    return sent != 0


def check_close():
    """Closing the window, as a window manager's close button asks for it, ends tower.exe with
    exit code 0."""
    with tower_exe("1024x768x24") as tower:
        window = tower.window()
        # Close it only once it is drawing, so the message goes through the frame loop.
        tower.expect_tower_drawn(24)
        if not close_window(tower.env["DISPLAY"], window):
            fail("could not send WM_DELETE_WINDOW")
        tower.expect_end(0, 10, "the window was closed", "closing the window")


def check_refused_mode():
    """Where the display cannot change depth (an X server without RandR, so Wine offers only
    the desktop's own mode), tower.exe shows its "Display Error" box before any window, and
    once the user dismisses it the program ends by itself with exit code 1, as every failed
    start does. This also proves the other checks would see such a box."""
    with tower_exe("800x600x24", "-extension", "RANDR") as tower:
        title, found = tower.window_or_box() or fail(
            "neither box nor window appeared within 30 s")
        if title != BOX:
            fail("no Display Error box: the 16-bit switch was accepted without RandR")
        # The box is modal and comes before CreateWindowExA.
        if tower.find(WINDOW):
            fail("the window exists while the box is up")
        tower.dismiss_box(found)
        tower.expect_end(1, 15, "the box was dismissed", "the refused switch")


CHECKS = {"static": check_static, "escape": check_escape, "close": check_close,
          "16bit_screen": lambda: check_escape("800x600x16", 16),
          "refused_mode": check_refused_mode}



def main(name):
    try:
        CHECKS[name]()
    except lib.Failure as failure:
        raise lib.Failure(f"  {failure}") from None


if __name__ == "__main__":
    lib.main(main, sys.argv[1])
