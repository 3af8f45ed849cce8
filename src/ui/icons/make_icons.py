#!/usr/bin/env python3
"""Draws the window icon and the two button pictures in 16 colours, for 16, 24, 32 and
48 pixels, as PNG files for the Qt window and .ico files for the Windows program (which
loads the size the screen's dots per inch asks for, so no picture is blown up blurred).

The window icon is drawn anew for each size, its outline one pixel wide at every size;
the button pictures are 16 x 16 pixel drawings, grown by whole pixels. Run it after
changing a picture; the files it writes are committed. Standard library only.
"""
import math
import os
import struct
import zlib

# The classic 16-colour palette; the slot of magenta is the transparent colour.
PALETTE = {
    ".": (255, 0, 255),  # transparent
    "k": (0, 0, 0),
    "m": (128, 0, 0),
    "G": (0, 128, 0),
    "o": (128, 128, 0),
    "n": (0, 0, 128),
    "p": (128, 0, 128),
    "t": (0, 128, 128),
    "s": (192, 192, 192),
    "g": (128, 128, 128),
    "r": (255, 0, 0),
    "l": (0, 255, 0),
    "y": (255, 255, 0),
    "b": (0, 0, 255),
    "c": (0, 255, 255),
    "w": (255, 255, 255),
}
KEYS = list(PALETTE)

OPEN = [
    "................",
    "......nnnn......",
    "....nn....nn....",
    "...n........n.n.",
    "..n..........nn.",
    ".kkkk.......nnn.",
    "kooook..........",
    "koooookkkkkkk...",
    "kooooooooooook..",
    "koooookkkkkkkkkk",
    "koookyyyyyyyyyk.",
    "kookyyyyyyyyyk..",
    "kokyyyyyyyyyk...",
    "kkyyyyyyyyyk....",
    "kkkkkkkkkkk.....",
    "................",
]

SAVE = [
    "................",
    ".kkkkkkkkkkkkkk.",
    ".knwwwwwwwwwwnk.",
    ".knwggggggggwnk.",
    ".knwwwwwwwwwwnk.",
    ".knwggggggggwnk.",
    ".knwwwwwwwwwwnk.",
    ".knnnnnnnnnnnnk.",
    ".knnnnnnnnnnnnk.",
    ".knnssssssssnnk.",
    ".knnsskksssssnk.",
    ".knnsskksssssnk.",
    ".knnsskksssssnk.",
    ".knnssssssssnnk.",
    ".kkkkkkkkkkkkkk.",
    "................",
]


SIZES = (16, 24, 32, 48)


def grown(rows, size):
    """A 16 x 16 drawing at size pixels, each pixel repeated (nearest pixel)."""
    return ["".join(row[x * 16 // size] for x in range(size)) for row in
            (rows[y * 16 // size] for y in range(size))]


def hammer_and_wrench(size=16):
    """A hammer from bottom right to top left crossed by a wrench from bottom left to top
    right, sampled at size pixels in the coordinates of a 16-pixel square."""
    r2 = math.sqrt(2)

    def hammer(px, py):
        along, across = (px + py) / r2, (px - py) / r2  # along the handle, across it
        if abs(along - 6.2) <= 1.5 and abs(across) <= 3.3:
            return "g"
        if abs(across) <= 0.75 and 6.0 <= along <= 20.0:
            return "o"
        return None

    def wrench(px, py):
        along, across = (px - py) / r2, (px + py - 16) / r2
        if abs(across) <= 1.05 and -9.4 <= along <= 6.0:
            return "s"
        dx, dy = px - 11.6, py - 4.4
        a, b = (dx - dy) / r2, (dx + dy) / r2
        if math.hypot(dx, dy) <= 3.6 and not (a > -0.6 and abs(b) <= 1.25):
            return "s"
        return None

    unit = 16 / size
    grid = [["."] * size for _ in range(size)]
    for part in (hammer, wrench):
        fill = {(x, y): part((x + 0.5) * unit, (y + 0.5) * unit)
                for x in range(size) for y in range(size)}
        for (x, y), c in fill.items():
            if c:
                grid[y][x] = c
            elif any(fill.get((x + i, y + j)) for i, j in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                grid[y][x] = "k"
    return ["".join(row) for row in grid]


def png(rows):
    """An indexed 4-bit PNG with the palette above and the transparent slot marked."""
    size = len(rows)
    raw = bytearray()
    for row in rows:
        line = [KEYS.index(c) for c in row] + [0]
        raw += b"\0" + bytes((line[i] << 4) | line[i + 1] for i in range(0, size, 2))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    plte = b"".join(bytes(PALETTE[k]) for k in KEYS)
    trns = bytes(0 if k == "." else 255 for k in KEYS)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
            + chunk(b"PLTE", plte) + chunk(b"tRNS", trns)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico(images):
    """A Windows icon file holding the given square pictures as 16-colour bitmaps."""
    entries, blobs = [], []
    for pixels in images:
        size = len(pixels)
        header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE.values())
        xor, mask = bytearray(), bytearray()
        for line in reversed(pixels):  # bottom-up
            # A transparent pixel is black under a set mask bit, so the screen shows through.
            keys = [KEYS.index("k" if c == "." else c) for c in line]
            xor += bytes((keys[i] << 4) | keys[i + 1] for i in range(0, size, 2))
            xor += bytes(-(size // 2) % 4)
            bits = "".join("1" if c == "." else "0" for c in line)
            row = int(bits, 2).to_bytes(size // 8, "big")
            mask += row + bytes(-len(row) % 4)
        blobs.append(header + palette + bytes(xor) + bytes(mask))
        entries.append((size % 256, 16))
    offset = 6 + 16 * len(blobs)
    out = struct.pack("<HHH", 0, 1, len(blobs))
    for (size, colours), blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    drawings = {
        "open": lambda size: grown(OPEN, size),
        "save": lambda size: grown(SAVE, size),
        "quorvel": hammer_and_wrench,
    }
    for name, draw in drawings.items():
        pictures = {size: draw(size) for size in SIZES}
        assert all(len(p) == s and all(len(r) == s for r in p) for s, p in pictures.items()), name
        # name.png is the 16-pixel picture; name-24.png and so on the larger ones.
        for size, rows in pictures.items():
            suffix = "" if size == 16 else "-%d" % size
            with open(os.path.join(here, name + suffix + ".png"), "wb") as f:
                f.write(png(rows))
        with open(os.path.join(here, name + ".ico"), "wb") as f:
            f.write(ico(pictures.values()))


if __name__ == "__main__":
    main()
