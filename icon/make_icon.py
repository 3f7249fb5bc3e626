#!/usr/bin/env python3
"""Make the program's icon from one frame of the tower, drawn by its own
renderer on the offscreen GL the pixel tests use.

Writes, beside this file: tower-48.png, tower-128.png and tower-256.png (the
sizes the Linux package installs) and tower.ico (16, 32, 48 and 256, the one
tower.exe carries). The outputs are committed; run scripts/make-icon again
only when the renderer's picture changes. Running it twice gives the same
bytes.

The frame is drawn at RENDER_SIZE, far above the largest icon, so that
shrinking it is what smooths the triangles' edges: the program draws without
multisampling. ImageMagick shrinks it and icotool packs the .ico.
"""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import lib  # noqa: E402 (the scripts' shared module)

# Phase 0.4, about 800 frames after start: the lower levels still stand
# stacked as a tower while the upper ones fan out into the curl, so one still
# shows both what the tower is and how it moves. Later phases mostly tangle
# into a heap of triangles that reads as no shape at icon sizes.
PHASE = "0.4"
RENDER_SIZE = 4096
# Transparent space kept around the tower, as a share of the icon's side.
MARGIN = 1 / 32
PNG_SIZES = (48, 128, 256)
ICO_SIZES = (16, 32, 48, 256)


def run(*args, **kwargs):
    return subprocess.run(args, check=True, **kwargs)


def build_renderer():
    """The frame renderer, from the linux preset's tree."""
    return os.path.join(lib.build("linux", "tower_icon_frame", quiet=True), "icon",
                        "tower_icon_frame")


def read_pam(path):
    """Width, height and RGBA bytes of a PAM file as tower_icon_frame writes it."""
    with open(path, "rb") as f:
        data = f.read()
    end = data.index(b"ENDHDR\n") + len(b"ENDHDR\n")
    fields = dict(line.split(b" ", 1) for line in data[:end].split(b"\n")[1:-2])
    if fields.get(b"DEPTH") != b"4" or fields.get(b"MAXVAL") != b"255":
        sys.exit(f"{path}: not 8-bit RGBA")
    return int(fields[b"WIDTH"]), int(fields[b"HEIGHT"]), data[end:]


def covered_box(width, height, rgba):
    """The smallest box (left, top, right, bottom; right and bottom
    exclusive) holding every pixel with any alpha."""
    alpha = rgba[3::4]
    left, right, top, bottom = width, 0, None, None
    for y in range(height):
        row = alpha[y * width:(y + 1) * width]
        start = len(row) - len(row.lstrip(b"\0"))
        if start == len(row):
            continue
        top = y if top is None else top
        bottom = y + 1
        left = min(left, start)
        right = max(right, len(row.rstrip(b"\0")))
    if top is None:
        sys.exit("the frame is empty: the renderer drew nothing")
    return left, top, right, bottom


def square_around(box, width, height):
    """A square crop (side, x, y) centred on the box, with the margin."""
    left, top, right, bottom = box
    side = round(max(right - left, bottom - top) / (1 - 2 * MARGIN))
    x = (left + right - side) // 2
    y = (top + bottom - side) // 2
    if x < 0 or y < 0 or x + side > width or y + side > height:
        sys.exit("the tower reaches the edge of the rendered frame; widen the view")
    return side, x, y


def write_png(source, crop, size, path):
    side, x, y = crop
    # No date or time chunks, so the same picture gives the same bytes.
    run("convert", source, "-crop", f"{side}x{side}+{x}+{y}", "+repage",
        "-filter", "Lanczos", "-resize", f"{size}x{size}", "-strip",
        "-define", "png:exclude-chunks=date,time", "-define", "png:compression-level=9",
        f"PNG32:{path}")


def main():
    lib.ensure_packages(*lib.BUILD, *lib.PICTURE)
    renderer = build_renderer()
    with tempfile.TemporaryDirectory() as work:
        frame = os.path.join(work, "frame.pam")
        run(renderer, PHASE, str(RENDER_SIZE), frame)
        width, height, rgba = read_pam(frame)
        crop = square_around(covered_box(width, height, rgba), width, height)
        print(f"phase {PHASE}: the tower spans {crop[0]} of {RENDER_SIZE} pixels")

        pngs = {}
        for size in sorted(set(PNG_SIZES) | set(ICO_SIZES)):
            path = os.path.join(HERE if size in PNG_SIZES else work, f"tower-{size}.png")
            write_png(frame, crop, size, path)
            pngs[size] = path

        # Bitmaps for the small sizes, which every Windows reads; the 256 one
        # stays PNG, as Windows expects at that size, or it alone would
        # weigh a quarter of a megabyte.
        ico = os.path.join(HERE, "tower.ico")
        small = [pngs[s] for s in ICO_SIZES if s < 256]
        run("icotool", "--create", "--output", ico, *small, "--raw", pngs[256])

    for name in [f"tower-{s}.png" for s in PNG_SIZES] + ["tower.ico"]:
        path = os.path.join(HERE, name)
        print(f"{os.path.relpath(path, ROOT)}: {os.path.getsize(path)} bytes")


if __name__ == "__main__":
    lib.main(main)
