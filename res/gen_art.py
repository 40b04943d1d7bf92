#!/usr/bin/env python3
"""Draws the program's artwork: the program icon and the five tray clouds.

    python3 res/gen_art.py            writes the icons and previews into res/
    python3 res/gen_art.py --check    exits 1 if res/ differs from a fresh drawing
    python3 res/gen_art.py --out DIR  writes into DIR instead (same layout)

Standard library only. The output is the same bytes on every run: the shapes
are sampled on a fixed grid with plain float arithmetic (no pow, no
randomness), and PNG/ICO are written field by field.

Each image is a cloud with a ring at its centre. The shapes are described on
a 16-unit grid and drawn at every size from that description, with the
outline and ring widths tuned per size so that 16 px stays crisp and 256 px
does not look heavy.
"""

import argparse
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# (top of the fill gradient, bottom of it, outline), as RGB.
PALETTES = {
    "blue": ((0x72, 0xB8, 0xFF), (0x2C, 0x7A, 0xDE), (0x17, 0x45, 0x8F)),
    "red": ((0xFF, 0x8E, 0x84), (0xDC, 0x3A, 0x34), (0x85, 0x1B, 0x18)),
    "green": ((0x86, 0xDE, 0x8E), (0x2C, 0xA5, 0x47), (0x17, 0x63, 0x29)),
    "orange": ((0xFF, 0xC4, 0x6E), (0xEE, 0x86, 0x18), (0x94, 0x4C, 0x05)),
    "violet": ((0xC7, 0xA2, 0xFF), (0x87, 0x52, 0xE3), (0x4B, 0x27, 0x8C)),
}
# The tray image list's order.
CLOUD_ORDER = ("blue", "red", "green", "orange", "violet")
RING = (0xFF, 0xFF, 0xFF)

# The cloud on the 16-unit grid: three puffs over a rounded base.
PUFFS = ((5.0, 8.1, 3.3), (8.7, 6.1, 4.3), (11.8, 8.5, 2.9))  # centre x, y, radius
BASE = (0.8, 7.6, 15.2, 14.4, 2.9)  # left, top, right, bottom, corner radius
RING_CENTRE = (8.0, 10.0)

# Per size, in pixels: outline width, ring outer radius and ring width, and
# the supersampling grid (samples per pixel side).
STYLE = {
    # At 16 px a thinner ring than the scaled one: a thicker one closes its
    # hole to a dot (tried side by side in the previews).
    16: dict(outline=1.0, ring_outer=3.5, ring_width=1.5, samples=8),
    32: dict(outline=1.5, ring_outer=6.4, ring_width=2.5, samples=8),
    48: dict(outline=2.0, ring_outer=9.6, ring_width=3.5, samples=6),
    256: dict(outline=7.0, ring_outer=51.0, ring_width=17.0, samples=4),
}
ICON_SIZES = (256, 48, 32, 16)


def cloud_distance(x, y):
    """Signed distance to the cloud's edge on the 16-unit grid (negative inside).

    The minimum of the parts' distances: exact outside each part and good
    enough inside for an inset outline of a few units.
    """
    best = None
    for cx, cy, r in PUFFS:
        d = math.hypot(x - cx, y - cy) - r
        best = d if best is None or d < best else best
    left, top, right, bottom, radius = BASE
    hx = (right - left) / 2.0
    hy = (bottom - top) / 2.0
    qx = abs(x - (left + right) / 2.0) - (hx - radius)
    qy = abs(y - (top + bottom) / 2.0) - (hy - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    d = outside + inside - radius
    return d if d < best else best


def blend(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def render(size, palette):
    """RGBA rows (top first) of one image: lists of (r, g, b, a) bytes."""
    style = STYLE[size]
    top_colour, bottom_colour, outline_colour = palette
    unit = size / 16.0
    outline = style["outline"] / unit  # in grid units
    ring_outer = style["ring_outer"] / unit
    ring_inner = ring_outer - style["ring_width"] / unit
    rcx, rcy = RING_CENTRE
    # The gradient spans the cloud's height.
    fill_top = min(cy - r for _, cy, r in PUFFS)
    fill_bottom = BASE[3]
    n = style["samples"]
    step = 1.0 / n
    weight = 1.0 / (n * n)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc_r = acc_g = acc_b = acc_a = 0.0
            for sy in range(n):
                y = (py + (sy + 0.5) * step) / unit
                t = (y - fill_top) / (fill_bottom - fill_top)
                t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
                fill = blend(top_colour, bottom_colour, t)
                for sx in range(n):
                    x = (px + (sx + 0.5) * step) / unit
                    d = cloud_distance(x, y)
                    if d > 0.0:
                        continue
                    rd = math.hypot(x - rcx, y - rcy)
                    if ring_inner <= rd <= ring_outer:
                        colour = RING
                    elif d > -outline:
                        colour = outline_colour
                    else:
                        colour = fill
                    acc_r += colour[0]
                    acc_g += colour[1]
                    acc_b += colour[2]
                    acc_a += 1.0
            if acc_a == 0.0:
                row.append((0, 0, 0, 0))
                continue
            # Straight (not premultiplied) colour of the covered samples.
            row.append((
                int(acc_r / acc_a + 0.5),
                int(acc_g / acc_a + 0.5),
                int(acc_b / acc_a + 0.5),
                int(acc_a * weight * 255.0 + 0.5),
            ))
        rows.append(row)
    return rows


# --- PNG -------------------------------------------------------------------

def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _filtered(raw, prev, bpp):
    """The row under each PNG filter; the one with the least sum of
    magnitudes is kept (the usual heuristic, and a deterministic one)."""
    n = len(raw)
    candidates = []
    for kind in range(5):
        out = bytearray(n)
        for i in range(n):
            a = raw[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 0:
                p = 0
            elif kind == 1:
                p = a
            elif kind == 2:
                p = b
            elif kind == 3:
                p = (a + b) // 2
            else:
                p = _paeth(a, b, c)
            out[i] = (raw[i] - p) & 0xFF
        score = sum(v if v < 128 else 256 - v for v in out)
        candidates.append((score, kind, out))
    score, kind, out = min(candidates, key=lambda entry: (entry[0], entry[1]))
    return bytes([kind]) + bytes(out)


def png_bytes(rows):
    height = len(rows)
    width = len(rows[0])
    data = bytearray()
    prev = bytes(width * 4)
    for row in rows:
        raw = bytes(v for pixel in row for v in pixel)
        data += _filtered(raw, prev, 4)
        prev = raw
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", ihdr) +
            _chunk(b"IDAT", zlib.compress(bytes(data), 9)) + _chunk(b"IEND", b""))


# --- ICO -------------------------------------------------------------------

def dib_bytes(rows):
    """A 32 bpp icon image: BITMAPINFOHEADER, BGRA rows bottom-up, then the
    1 bpp AND mask (set where fully transparent), rows padded to 4 bytes."""
    height = len(rows)
    width = len(rows[0])
    mask_stride = ((width + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def ico_bytes(images):
    """images: (size, image bytes) in directory order."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    blobs = b""
    for size, blob in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return out + entries + blobs


# --- The files -------------------------------------------------------------

def artwork():
    """Every output file: {path relative to res/: bytes}."""
    files = {}
    rendered = {}
    for size in ICON_SIZES:
        rendered[size] = render(size, PALETTES["blue"])
    images = []
    for size in ICON_SIZES:
        # Vista and later read a PNG image inside an icon; at 256 px it keeps
        # the exe small (a raw 256 px DIB alone is 256 KiB).
        blob = png_bytes(rendered[size]) if size == 256 else dib_bytes(rendered[size])
        images.append((size, blob))
        files["preview/qlxdrive_%d.png" % size] = png_bytes(rendered[size])
    files["qlxdrive.ico"] = ico_bytes(images)
    for name in CLOUD_ORDER:
        rows = rendered[16] if name == "blue" else render(16, PALETTES[name])
        files["cloud_%s.ico" % name] = ico_bytes([(16, dib_bytes(rows))])
        files["preview/cloud_%s.png" % name] = png_bytes(rows)
    return files


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=HERE, help="directory to write into (default: res/)")
    parser.add_argument("--check", action="store_true",
                        help="compare with the files in --out instead of writing them")
    args = parser.parse_args(argv)
    files = artwork()
    if args.check:
        problems = []
        for path, data in sorted(files.items()):
            full = os.path.join(args.out, path)
            try:
                with open(full, "rb") as f:
                    committed = f.read()
            except OSError as error:
                problems.append("%s: cannot read (%s)" % (path, error.strerror))
                continue
            if committed != data:
                problems.append("%s: differs from a fresh drawing (%d bytes committed, %d drawn)"
                                % (path, len(committed), len(data)))
        # A preview left over from an older drawing would mislead.
        preview_dir = os.path.join(args.out, "preview")
        if os.path.isdir(preview_dir):
            for name in sorted(os.listdir(preview_dir)):
                if "preview/" + name not in files:
                    problems.append("preview/%s: not drawn by this script" % name)
        for problem in problems:
            print(problem, file=sys.stderr)
        print("%d files checked, %d problems" % (len(files), len(problems)))
        return 1 if problems else 0
    for path, data in sorted(files.items()):
        full = os.path.join(args.out, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
        print("wrote %s (%d bytes)" % (full, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
