#!/usr/bin/env python3
"""The committed icons and previews, decoded by ImageMagick rather than by
our own code, hold the pictures gen_art.py draws, and those pictures are
what the tray needs: a cloud with a ring at its centre, soft edges, clear
corners.

usage: check_icons.py RES_DIR
"""

import importlib.util
import os
import struct
import subprocess
import sys

FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)
    return condition


def load_generator(res_dir):
    found = importlib.util.spec_from_file_location("gen_art", os.path.join(res_dir, "gen_art.py"))
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def decode(path, index, size):
    """RGBA rows of one image of a file, as ImageMagick reads it."""
    raw = subprocess.run(["convert", "%s[%d]" % (path, index), "-depth", "8", "rgba:-"],
                         check=True, stdout=subprocess.PIPE).stdout
    if len(raw) != size * size * 4:
        raise ValueError("%s[%d]: %d bytes decoded, not %d" % (path, index, len(raw), size * size * 4))
    return [[tuple(raw[(y * size + x) * 4:(y * size + x) * 4 + 4]) for x in range(size)] for y in range(size)]


def mask_matches(path, image, size, rows):
    """The 1 bpp AND mask after a 32 bpp DIB (bottom row first) is set
    exactly where the decoded picture is fully transparent: older consumers
    draw with the mask alone."""
    stride = ((size + 31) // 32) * 4
    start = 40 + size * size * 4
    if not check(len(image) == start + stride * size, "%s: %d px image is %d bytes" % (path, size, len(image))):
        return
    for y in range(size):
        line = image[start + (size - 1 - y) * stride:]
        for x in range(size):
            masked = bool(line[x // 8] & (0x80 >> (x % 8)))
            if masked != (rows[y][x][3] == 0):
                check(False, "%s: %d px mask at %d,%d is %d, alpha %d" % (path, size, x, y, masked, rows[y][x][3]))
                return


def directory(path):
    """(size, bits per pixel, image bytes) per ICO entry."""
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    check(reserved == 0 and kind == 1, "%s: not an icon file" % path)
    entries = []
    for i in range(count):
        width, height, _, _, planes, bpp, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        check(width == height, "%s entry %d: not square" % (path, i))
        check(offset + length <= len(data), "%s entry %d: runs past the end" % (path, i))
        entries.append((width or 256, bpp, data[offset:offset + length]))
    return entries


def same_picture(decoded, drawn, what):
    """Alpha everywhere, colour where anything shows."""
    for y, (row_a, row_b) in enumerate(zip(decoded, drawn)):
        for x, (a, b) in enumerate(zip(row_a, row_b)):
            if a[3] != b[3] or (a[3] and a[:3] != b[:3]):
                return check(False, "%s: pixel %d,%d decodes as %s, drawn as %s" % (what, x, y, a, b))
    return True


def looks_right(rows, size, what, ring_centre, ring_outer, ring_width):
    """A cloud with a white ring whose hole shows the cloud, soft edges and
    transparent corners."""
    alphas = [p[3] for row in rows for p in row]
    check(all(rows[y][x][3] == 0 for x, y in ((0, 0), (size - 1, 0), (0, size - 1), (size - 1, size - 1))),
          "%s: corners are not transparent" % what)
    partial = sum(1 for a in alphas if 0 < a < 255)
    check(partial >= size // 2, "%s: only %d soft edge pixels" % (what, partial))
    check(sum(1 for a in alphas if a == 255) >= size * size // 4, "%s: too little opaque" % what)
    cx, cy = ring_centre
    radius = ring_outer - ring_width / 2.0
    # Around the ring, at its middle line: white and opaque.
    for dx, dy in ((radius, 0), (-radius, 0), (0, radius), (0, -radius)):
        x, y = int(cx + dx), int(cy + dy)
        r, g, b, a = rows[y][x]
        check(a == 255 and min(r, g, b) >= 200, "%s: ring pixel %d,%d is %s, not white" % (what, x, y, (r, g, b, a)))
    # The hole: the cloud's own colour, opaque.
    r, g, b, a = rows[int(cy)][int(cx)]
    check(a == 255 and min(r, g, b) < 160, "%s: the ring's hole %d,%d is %s" % (what, int(cx), int(cy), (r, g, b, a)))


def main(res_dir):
    gen = load_generator(res_dir)
    drawn = {size: gen.render(size, gen.PALETTES["blue"]) for size in gen.ICON_SIZES}

    icon = os.path.join(res_dir, "qlxdrive.ico")
    entries = directory(icon)
    check([e[0] for e in entries] == [256, 48, 32, 16], "qlxdrive.ico sizes: %s" % [e[0] for e in entries])
    for index, (size, bpp, image) in enumerate(entries):
        head = image[:8]
        what = "qlxdrive.ico %d px" % size
        check(bpp == 32, "%s: %d bits per pixel" % (what, bpp))
        if size == 256:
            check(head == b"\x89PNG\r\n\x1a\n", "%s: not PNG-compressed" % what)
        else:
            check(head[:4] == struct.pack("<I", 40), "%s: no BITMAPINFOHEADER" % what)
        if size not in drawn:
            continue
        rows = decode(icon, index, size)
        same_picture(rows, drawn[size], what)
        if size != 256:
            mask_matches(icon, image, size, rows)
        unit = size / 16.0
        style = gen.STYLE[size]
        centre = (gen.RING_CENTRE[0] * unit, gen.RING_CENTRE[1] * unit)
        looks_right(rows, size, what, centre, style["ring_outer"], style["ring_width"])
        preview = os.path.join(res_dir, "preview", "qlxdrive_%d.png" % size)
        same_picture(decode(preview, 0, size), drawn[size], "preview of " + what)

    style = gen.STYLE[16]
    for name in gen.CLOUD_ORDER:
        path = os.path.join(res_dir, "cloud_%s.ico" % name)
        entries = directory(path)
        check([(e[0], e[1]) for e in entries] == [(16, 32)], "cloud_%s.ico: %s" % (name, entries))
        rows = decode(path, 0, 16)
        same_picture(rows, gen.render(16, gen.PALETTES[name]), "cloud_%s.ico" % name)
        mask_matches(path, entries[0][2], 16, rows)
        looks_right(rows, 16, "cloud_%s.ico" % name, gen.RING_CENTRE, style["ring_outer"], style["ring_width"])

    for failure in FAILURES:
        print("FAIL:", failure, file=sys.stderr)
    print("%d problems" % len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1]))
