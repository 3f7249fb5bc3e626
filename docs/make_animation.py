#!/usr/bin/env python3
"""Make docs/tower.webp, the README's moving picture: the real program on a
private Xvfb, its screen captured at FPS frames a second for SECONDS seconds
from the moment the tower first shows, cropped to where the tower moved,
shrunk, and encoded as an animated WebP that loops. (A GIF of the same frames
is four times the size, and bands the shading or dithers it.)

The program runs unchanged and as fast as this machine runs it, so how far
the tower moves in the clip depends on the machine. docs/tower.png, the still
frame, stays for places that do not animate.
"""

import ctypes
import ctypes.util
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import lib  # noqa: E402 (the scripts' shared module)

# A common desktop size, so the program runs about as fast as it does on one;
# each frame is then shrunk, which also smooths the triangles' edges.
SCREEN = (1024, 768)
SCALE = 0.75
FPS = 10
SECONDS = 3
# Black kept around the region the tower moved through, in screen pixels.
MARGIN = 16
OUTPUT = os.path.join(HERE, "tower.webp")
# Lossy, but smooth shading is what it keeps best; the file stays well under
# 1 MB.
QUALITY = 80
MAX_BYTES = 1_000_000


class XImage(ctypes.Structure):
    """The leading fields of Xlib's XImage, up to the ones read here."""
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int),
                ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
                ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class Screen:
    """Grabs the root window of an X display as packed RGB bytes."""

    ZPIXMAP = 2
    ALL_PLANES = ctypes.c_ulong(-1).value

    def __init__(self, display_name):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x11 = x11
        self.display = x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError(f"cannot open display {display_name}")
        self.root = x11.XDefaultRootWindow(self.display)

    def grab(self, width, height):
        """The screen's pixels as they come: 32-bit, blue first. Turning them
        into RGB waits until the capture is over, so that it keeps time."""
        image = self.x11.XGetImage(self.display, self.root, 0, 0, width, height,
                                   self.ALL_PLANES, self.ZPIXMAP)
        if not image:
            raise RuntimeError("XGetImage failed")
        try:
            im = image.contents
            if im.bits_per_pixel != 32 or im.byte_order != 0 or im.red_mask != 0xff0000:
                raise RuntimeError("expected a 24-bit TrueColor screen in 32-bit LSB pixels")
            return im.bytes_per_line, ctypes.string_at(im.data, im.bytes_per_line * height)
        finally:
            self.x11.XDestroyImage(image)

    def close(self):
        self.x11.XCloseDisplay(self.display)


def to_rgb(grabbed, width, height):
    stride, raw = grabbed
    rgb = bytearray(width * height * 3)
    for y in range(height):
        row = raw[y * stride:y * stride + width * 4]
        at = y * width * 3
        rgb[at:at + width * 3:3] = row[2::4]
        rgb[at + 1:at + width * 3:3] = row[1::4]
        rgb[at + 2:at + width * 3:3] = row[0::4]
    return bytes(rgb)


def run(*args, **kwargs):
    return subprocess.run(args, check=True, **kwargs)


def lit_box(rgb, width, height):
    """The box (left, top, right, bottom; exclusive) of the non-black pixels,
    or None."""
    box = None
    stride = width * 3
    for y in range(height):
        row = rgb[y * stride:(y + 1) * stride]
        stripped = row.lstrip(b"\0")
        if not stripped:
            continue
        left = (len(row) - len(stripped)) // 3
        right = (len(row.rstrip(b"\0")) + 2) // 3
        if box is None:
            box = [left, y, right, y + 1]
        else:
            box = [min(box[0], left), box[1], max(box[2], right), y + 1]
    return box


def capture(program, display):
    """Start the program, wait for the tower, and grab the frames."""
    # On the private Xvfb, not natively on a Wayland desktop that runs this.
    env = dict(os.environ, DISPLAY=display, WAYLAND_DISPLAY="")
    screen = Screen(display)
    grabbed = []
    with lib.running([program], env=env, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL) as tower:
        try:
            deadline = time.monotonic() + 20
            while True:
                first = screen.grab(*SCREEN)
                if lit_box(to_rgb(first, *SCREEN), *SCREEN):
                    break
                if tower.poll() is not None or time.monotonic() > deadline:
                    sys.exit("the tower never showed")
                time.sleep(0.01)
            start = time.monotonic()
            grabbed.append(first)
            latest = 0.0
            for k in range(1, FPS * SECONDS):
                due = start + k / FPS
                if due > time.monotonic():
                    time.sleep(due - time.monotonic())
                latest = max(latest, time.monotonic() - due)
                grabbed.append(screen.grab(*SCREEN))
            print(f"captured {len(grabbed)} frames in {time.monotonic() - start:.2f} s, "
                  f"each at most {latest * 1000:.0f} ms late")
            if latest > 0.5 / FPS:
                sys.exit("capturing fell behind; try again on a quieter machine")
        finally:
            screen.close()
            # SIGTERM ends it as closing the window would.
            tower.terminate()
            lib.wait_for(tower, 10)
    return [to_rgb(g, *SCREEN) for g in grabbed]


def union_box(frames):
    boxes = [b for b in (lit_box(f, *SCREEN) for f in frames) if b]
    left = max(min(b[0] for b in boxes) - MARGIN, 0)
    top = max(min(b[1] for b in boxes) - MARGIN, 0)
    right = min(max(b[2] for b in boxes) + MARGIN, SCREEN[0])
    bottom = min(max(b[3] for b in boxes) + MARGIN, SCREEN[1])
    return left, top, right, bottom


def encode(frames, box, work):
    left, top, right, bottom = box
    width, height = right - left, bottom - top
    # Even sizes: WebP keeps its colour planes at half resolution.
    size = f"{round(width * SCALE / 2) * 2}x{round(height * SCALE / 2) * 2}!"
    paths = []
    for i, rgb in enumerate(frames):
        path = os.path.join(work, f"frame{i:03}.ppm")
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (width, height))
            for y in range(top, bottom):
                f.write(rgb[(y * SCREEN[0] + left) * 3:(y * SCREEN[0] + right) * 3])
        png = path[:-4] + ".png"
        run("convert", path, "-filter", "Triangle", "-resize", size, png)
        paths.append(png)
    run("img2webp", "-loop", "0", "-lossy", "-q", str(QUALITY), "-m", "6",
        "-d", str(1000 // FPS), *paths, "-o", OUTPUT, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL)
    return size.rstrip("!")


def main():
    lib.ensure_packages(*lib.BUILD, *lib.PICTURE)
    program = os.path.join(lib.build("linux-program", "tower", quiet=True), "tower")
    with tempfile.TemporaryDirectory() as work:
        with lib.xvfb(f"{SCREEN[0]}x{SCREEN[1]}x24") as display:
            frames = capture(program, display)
        box = union_box(frames)
        shown = encode(frames, box, work)
    size = os.path.getsize(OUTPUT)
    print(f"{os.path.relpath(OUTPUT, ROOT)}: {len(frames)} frames of {shown} "
          f"at {FPS} a second, {size} bytes")
    if size > MAX_BYTES:
        sys.exit(f"{size} bytes is over the {MAX_BYTES} budget")


if __name__ == "__main__":
    lib.main(main)
